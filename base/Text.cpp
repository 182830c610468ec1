#include "base/Text.h"

#include <algorithm>

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
