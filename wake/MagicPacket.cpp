#include "wake/MagicPacket.h"

#include <algorithm>
#include <cstring>

CMagicPacket BuildMagicPacket(const CMacAddress& address)
{
    CMagicPacket packet;
    std::fill_n(packet.begin(), 6, uint8_t{0xFF});
    for (size_t k = 0; k < 16; ++k)
        std::copy(address.begin(), address.end(), packet.begin() + 6 + k * kMacBytes);
    return packet;
}

std::string CheckMagicPacket(const uint8_t* pData, size_t nLength, std::string& strMac)
{
    strMac = nLength >= 6 + kMacBytes ? MacBytesText(pData + 6, kMacBytes) : std::string();
    if (nLength != kMagicPacketSize)
        return "not well formed: " + std::to_string(nLength) + " bytes, not " +
            std::to_string(kMagicPacketSize);
    for (size_t i = 0; i < 6; ++i)
        if (pData[i] != 0xFF)
            return "not well formed: the first six bytes are not all 0xFF";
    for (size_t k = 1; k < 16; ++k)
        if (std::memcmp(pData + 6, pData + 6 + k * kMacBytes, kMacBytes) != 0)
            return "not well formed: copy " + std::to_string(k + 1) +
                " of the address differs from the first";
    return "well formed";
}
