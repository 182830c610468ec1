#pragma once
// Small text helpers shared by every layer: counts in words, blanks, the
// characters of UTF-8 text, names as people see them.
#include <cstddef>
#include <string>
#include <string_view>

// "1 host", "2 hosts".
std::string CountOf(size_t n, const char* pszOne, const char* pszMany);

// The text without the white space (space, tab, line feed, vertical tab,
// form feed, carriage return) at either end.
std::string TrimBlanks(std::string_view text);

// Characters, not bytes, of a UTF-8 text: what a person counts on screen.
size_t CharacterCount(std::string_view text);

// JSON text as nlohmann's dump writes it, with DEL, the C1 controls and
// the bidirectional controls (which it leaves raw) written as \uXXXX too:
// a terminal that shows the line neither obeys nor reorders them.
std::string JsonControlsEscaped(std::string_view json);

// A name as the window shows it, in UTF-8: UTF-8 as it is, any other text
// read as Latin-1 (a leading byte order mark is dropped).
std::string ShownUtf8(std::string_view text);

// The text as one word of a POSIX shell's command line, in single quotes:
// the shell gives back exactly these bytes, whatever they are (a quote is
// written '\'').
std::string ShellQuoted(std::string_view text);
