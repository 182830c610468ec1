#include "discovery/EchoMessage.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

const uint8_t kEchoReply = 0;
const uint8_t kEchoRequest = 8;
const size_t kIcmpHeader = 8;

}  // namespace

uint16_t InternetChecksum(const void* pData, size_t nLength)
{
    const auto* pBytes = static_cast<const uint8_t*>(pData);
    uint32_t nSum = 0;
    for (size_t i = 0; i + 1 < nLength; i += 2)
        nSum += static_cast<uint32_t>(pBytes[i] << 8 | pBytes[i + 1]);
    if (nLength % 2)
        nSum += static_cast<uint32_t>(pBytes[nLength - 1] << 8);
    while (nSum >> 16)
        nSum = (nSum & 0xFFFF) + (nSum >> 16);
    return htons(static_cast<uint16_t>(~nSum));
}

std::vector<uint8_t> BuildEchoRequest(uint16_t nIdentifier, uint16_t nSequence)
{
    std::vector<uint8_t> message(kIcmpHeader + kEchoDataSize, kEchoDataByte);
    message[0] = kEchoRequest;
    message[1] = 0;
    message[2] = message[3] = 0;
    message[4] = static_cast<uint8_t>(nIdentifier >> 8);
    message[5] = static_cast<uint8_t>(nIdentifier);
    message[6] = static_cast<uint8_t>(nSequence >> 8);
    message[7] = static_cast<uint8_t>(nSequence);
    const uint16_t nChecksum = InternetChecksum(message.data(), message.size());
    std::memcpy(&message[2], &nChecksum, sizeof nChecksum);
    return message;
}

bool IsEchoReplyFor(const uint8_t* pData, size_t nLength, bool bRaw, uint16_t nIdentifier,
                    uint16_t nSequence)
{
    if (bRaw) {
        if (nLength < 20 || (pData[0] >> 4) != 4)
            return false;
        const size_t nHeader = static_cast<size_t>(pData[0] & 0x0F) * 4;
        if (nHeader < 20 || nHeader > nLength)
            return false;
        pData += nHeader;
        nLength -= nHeader;
    }
    if (nLength < kIcmpHeader || pData[0] != kEchoReply || pData[1] != 0)
        return false;
    const uint16_t nGotId = static_cast<uint16_t>(pData[4] << 8 | pData[5]);
    const uint16_t nGotSeq = static_cast<uint16_t>(pData[6] << 8 | pData[7]);
    return nGotSeq == nSequence && (!bRaw || nGotId == nIdentifier);
}
