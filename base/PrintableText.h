#pragma once
// Text as it can be shown safely. Names, paths and entries come from files
// and arguments; written out raw, an escape sequence among them could move
// the cursor or retitle a terminal, and a NUL byte would cut the message
// short. Control characters (C0, DEL, C1) and bytes that are not UTF-8
// become visible escapes (\x1b); so do the bidirectional controls (\u202E),
// which would show "a<RLO>exe.txt" as "atxt.exe" and reorder the rest of a
// message. Everything else, UTF-8 beyond ASCII included, stays as it is.
// Header-only: the window module uses it too.
#include <cstddef>
#include <string>
#include <string_view>

// The length of the well-formed UTF-8 sequence starting at text[i] that
// encodes a non-ASCII character, or 0 when none starts there.
inline size_t Utf8SequenceLength(std::string_view text, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        hi = c == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char b = static_cast<unsigned char>(text[i + k]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF))
            return 0;
    }
    return n;
}

// The code point of the well-formed sequence of n bytes at text[i].
inline char32_t Utf8CodePoint(std::string_view text, size_t i, size_t n)
{
    char32_t cp = static_cast<unsigned char>(text[i]) & (0x7F >> n);
    for (size_t k = 1; k < n; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    return cp;
}

// The characters that steer the direction of the text around them: the
// marks, embeddings, overrides and isolates (Unicode's Bidi_Control).
inline bool IsBidiControl(char32_t cp)
{
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
        (cp >= 0x2066 && cp <= 0x2069);
}

inline std::string PrintableText(std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string strOut;
    strOut.reserve(text.size());
    const auto escape = [&strOut](char c) {
        const auto b = static_cast<unsigned char>(c);
        strOut += "\\x";
        strOut += kHex[b >> 4];
        strOut += kHex[b & 0x0F];
    };
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                escape(text[i]);
            else
                strOut += text[i];
            ++i;
            continue;
        }
        const size_t n = Utf8SequenceLength(text, i);
        if (n == 0) {
            escape(text[i++]);
        } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            escape(text[i]);  // a C1 control, U+0080 to U+009F
            escape(text[i + 1]);
            i += 2;
        } else if (const char32_t cp = Utf8CodePoint(text, i, n); IsBidiControl(cp)) {
            strOut += "\\u";
            for (int nShift = 12; nShift >= 0; nShift -= 4)
                strOut += "0123456789ABCDEF"[(cp >> nShift) & 0x0F];
            i += n;
        } else {
            strOut.append(text.substr(i, n));
            i += n;
        }
    }
    return strOut;
}
