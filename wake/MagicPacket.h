#pragma once
// The Wake-on-LAN magic packet and the one datagram that carries it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "wake/MacText.h"

class ISocketLayer;
class CLinkChooser;

constexpr uint16_t kWakePort = 4000;
constexpr size_t kMagicPacketSize = 6 + 16 * kMacBytes;

using CMagicPacket = std::array<uint8_t, kMagicPacketSize>;

// Six bytes 0xFF, then the six address bytes sixteen times.
CMagicPacket BuildMagicPacket(const std::array<uint8_t, kMacBytes>& address);

// An interface the datagram could not leave by, and the system's error
// number (0: the datagram was cut short).
struct CLinkFailure {
    std::string strLink;
    int nError = 0;
};

// What became of one send.
struct CSendResult {
    bool bSent = false;
    std::string strStep;  // the socket call that failed: "socket", "bind", ...
    int nError = 0;       // the system's error number for it
    std::string strLink;  // the interface the datagram was to leave by, when one was chosen
    std::vector<CLinkFailure> failedLinks;  // sent on every interface: those that failed

    // e.g. "bind to UDP port 4000: Address already in use". A send that went
    // out on some interfaces but not on others names those that failed.
    std::string Reason() const;
};

// Sends the packet from local UDP port 4000 (all addresses) to
// 255.255.255.255:4000 with broadcast permission, by the default route or
// out of the link that pLinks chooses for the host at dwHost (network order,
// 0 when unknown). With no route for the limited broadcast at all, it goes
// once out of every interface that can broadcast, and counts as sent when
// one of them took it. One socket; it is closed on every path.
CSendResult SendMagicPacket(ISocketLayer& sockets, const CMagicPacket& packet, CLinkChooser* pLinks = nullptr,
                            uint32_t dwHost = 0);
