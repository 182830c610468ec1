#include "base/Text.h"

#include <algorithm>
#include <cstdio>

#include "base/PrintableText.h"

std::string CountOf(size_t n, const char* pszOne, const char* pszMany)
{
    return std::to_string(n) + " " + (n == 1 ? pszOne : pszMany);
}

std::string TrimBlanks(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\n\v\f\r";
    const size_t nFirst = text.find_first_not_of(kBlanks);
    if (nFirst == std::string_view::npos)
        return {};
    return std::string(text.substr(nFirst, text.find_last_not_of(kBlanks) - nFirst + 1));
}

size_t CharacterCount(std::string_view text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string ShownUtf8(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    bool bUtf8 = true;
    for (size_t i = 0; i < text.size() && bUtf8;) {
        const size_t n =
            static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8SequenceLength(text, i);
        bUtf8 = n != 0;
        i += n;
    }
    if (bUtf8)
        return std::string(text);
    std::string strOut;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            strOut += c;
        } else {
            strOut += static_cast<char>(0xC0 | b >> 6);
            strOut += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return strOut;
}

std::string JsonControlsEscaped(std::string_view json)
{
    std::string strOut;
    strOut.reserve(json.size());
    for (size_t i = 0; i < json.size();) {
        const auto c = static_cast<unsigned char>(json[i]);
        const size_t n = c < 0x80 ? 1 : Utf8SequenceLength(json, i);
        const char32_t cp = n > 1 ? Utf8CodePoint(json, i, n) : c;
        if (cp == 0x7F || (cp >= 0x80 && cp <= 0x9F) || IsBidiControl(cp)) {
            char szEscape[8];
            std::snprintf(szEscape, sizeof szEscape, "\\u%04x", static_cast<unsigned>(cp));
            strOut += szEscape;
        } else {
            strOut.append(json.substr(i, n ? n : 1));
        }
        i += n ? n : 1;
    }
    return strOut;
}

std::string ShellQuoted(std::string_view text)
{
    std::string strQuoted = "'";
    for (const char c : text)
        strQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strQuoted + "'";
}
