#pragma once
// The Wake-on-LAN magic packet and the one datagram that carries it.
#include <array>
#include <cstdint>
#include <string>

#include "wake/MacText.h"

class ISocketLayer;

constexpr uint16_t kWakePort = 4000;
constexpr size_t kMagicPacketSize = 6 + 16 * kMacBytes;

using CMagicPacket = std::array<uint8_t, kMagicPacketSize>;

// Six bytes 0xFF, then the six address bytes sixteen times.
CMagicPacket BuildMagicPacket(const std::array<uint8_t, kMacBytes>& address);

// What became of one send.
struct CSendResult {
    bool bSent = false;
    std::string strStep;  // the socket call that failed: "socket", "bind", ...
    int nError = 0;       // the system's error number for it

    std::string Reason() const;  // e.g. "bind to UDP port 4000: Address already in use"
};

// Sends the packet once from local UDP port 4000 (all addresses) to
// 255.255.255.255:4000 with broadcast permission. The socket is closed on
// every path.
CSendResult SendMagicPacket(ISocketLayer& sockets, const CMagicPacket& packet);
