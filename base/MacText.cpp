#include "base/MacText.h"

#include <cstdlib>
#include <cstring>

const char kMacTextExpected[] =
    "expected twelve hexadecimal digits 0-9 and A-F, no separators, for example 001122334455";

bool CutToMacText(std::string& strMac)
{
    const size_t nRun = std::strspn(strMac.c_str(), kMacDigits);
    strMac.resize(nRun);
    return nRun == kMacTextLength;
}

int HexPairToByte(std::string strPair)
{
    if (strPair.size() > 2)
        return 0;
    return static_cast<int>(std::strtol(strPair.c_str(), nullptr, 16));
}

CMacAddress MacTextToBytes(const std::string& strMac)
{
    CMacAddress bytes{};
    for (size_t j = 0; j < kMacBytes; ++j)
        bytes[j] = static_cast<uint8_t>(HexPairToByte(strMac.substr(2 * j, 2)) & 0xFF);
    return bytes;
}

std::string MacBytesText(const uint8_t* pBytes, size_t nBytes)
{
    std::string strText;
    for (size_t i = 0; i < nBytes; ++i) {
        strText += kMacDigits[pBytes[i] >> 4];
        strText += kMacDigits[pBytes[i] & 0xF];
    }
    return strText;
}

bool ParseAnyMac(const std::string& strText, std::string& strMac)
{
    // The digits' group length and separator of the form the text has.
    size_t nGroup = 0;
    char cSeparator = 0;
    switch (strText.size()) {
    case 12: nGroup = 12; break;
    case 17: nGroup = 2, cSeparator = strText[2]; break;
    case 14: nGroup = 4, cSeparator = '.'; break;
    default: return false;
    }
    if (nGroup == 2 && cSeparator != ':' && cSeparator != '-')
        return false;
    std::string strDigits;
    for (size_t i = 0; i < strText.size(); ++i) {
        const char c = strText[i];
        if (nGroup != 12 && i % (nGroup + 1) == nGroup) {
            if (c != cSeparator)
                return false;
            continue;
        }
        const char* pDigit = c ? std::strchr("0123456789ABCDEFabcdef", c) : nullptr;
        if (pDigit == nullptr)
            return false;
        strDigits += c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    strMac = std::move(strDigits);
    return true;
}

std::string MacShownText(const std::string& strText)
{
    std::string strMac;
    if (!ParseAnyMac(strText, strMac))
        return strText;
    std::string strShown;
    for (size_t i = 0; i < strMac.size(); i += 2)
        strShown += (i ? ":" : "") + strMac.substr(i, 2);
    return strShown;
}
