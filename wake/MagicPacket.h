#pragma once
// The Wake-on-LAN magic packet: six bytes 0xFF, then the six address bytes
// sixteen times, 102 bytes in all.
#include <array>
#include <cstdint>
#include <string>

#include "base/MacText.h"

constexpr size_t kMagicPacketSize = 6 + 16 * kMacBytes;
using CMagicPacket = std::array<uint8_t, kMagicPacketSize>;

CMagicPacket BuildMagicPacket(const CMacAddress& address);

// What a datagram holds, for the listener: strMac gets the hardware address
// it wakes (the six bytes after the first six; empty when it is too short
// for one); the result is "well formed" or says what is wrong.
std::string CheckMagicPacket(const uint8_t* pData, size_t nLength, std::string& strMac);
