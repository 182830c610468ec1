#include "wake/MacText.h"

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

std::array<uint8_t, kMacBytes> MacTextToBytes(const std::string& strMac)
{
    std::array<uint8_t, kMacBytes> bytes{};
    for (size_t j = 0; j < kMacBytes; ++j)
        bytes[j] = static_cast<uint8_t>(HexPairToByte(strMac.substr(2 * j, 2)) & 0xFF);
    return bytes;
}
