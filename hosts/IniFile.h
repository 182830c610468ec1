#pragma once
// A reader for INI text that behaves like the platform's profile functions,
// which the address book relies on (a file they wrote must read the same):
// - section and key names match without regard to ASCII letter case;
// - the first matching section and the first matching key in it win;
// - blank lines and lines beginning with ";" are ignored;
// - white space around a key and around a value is dropped, and a value
//   wholly enclosed in a pair of double or single quotes loses them;
// - CR LF, LF and lone CR line ends and a leading UTF-8 byte-order mark are
//   accepted;
// - a value holds at most kIniValueMax characters (longer ones are cut);
// - a missing section or key reads as the empty text.
//
// The text is parsed once, into a hash table per section, so reading n keys
// costs O(total size) for the parse plus O(1) per key, and the memory held is
// about the size of the file again. (The platform rereads the file for every
// key, which makes loading n entries quadratic.)
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

constexpr size_t kIniValueMax = 4095;

class CIniFile {
public:
    CIniFile() = default;

    static CIniFile Parse(std::string_view text);

    // The value of key strKey in section strSection, or the empty text.
    std::string GetProfileString(std::string_view strSection, std::string_view strKey) const;

    // What the text holds besides the keys of strSection that bRead says a
    // reader took (by folded key): every other key, also one that repeats an
    // earlier one or stands outside any section, each section without keys,
    // and the comment lines. nCount counts them; listing names them ("[s] k",
    // "[s]", "2 comment lines"), keys in order, numbers first.
    struct CLeftovers {
        size_t nCount = 0;
        std::vector<std::string> listing;
    };
    CLeftovers Leftovers(std::string_view strSection,
                         const std::function<bool(std::string_view)>& bRead) const;

private:
    using CKeys = std::unordered_map<std::string, std::string>;  // folded key -> value
    struct CSection {
        std::string strFoldedName;
        CKeys keys;
        std::vector<std::string> repeated;  // folded keys that came again
    };

    const CSection* FindSection(std::string_view strSection) const;

    std::vector<CSection> m_sections;
    std::vector<std::string> m_ignored;  // keys outside any section, or in a repeated one
    size_t m_nComments = 0;
};

// A value wholly enclosed in a pair of the same quotes (double or single),
// which a reader strips: a writer puts such a value in one more pair.
bool IsWhollyQuoted(std::string_view value);

// ASCII letters to lower case; other bytes unchanged.
std::string FoldAscii(std::string_view text);

// The characters dropped around keys and values.
bool IsIniSpace(char c);
std::string_view TrimIniSpace(std::string_view text);
