#pragma once
// The Wake-on-LAN magic packet and the one datagram that carries it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "wake/LinkChooser.h"
#include "wake/MacText.h"

class ISocketLayer;
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

// One datagram that left.
struct CSentDatagram {
    CDestination dest;
    std::string strLink;  // the interface, when the send named it by its name
};

// What became of one send.
struct CSendResult {
    bool bSent = false;
    CDestination dest;    // where it was to go
    std::string strStep;  // the socket call that failed: "socket", "bind", ...
    int nError = 0;       // the system's error number for it
    std::string strLink;  // the interface the datagram was to leave by, when one was chosen
    std::vector<CLinkFailure> failedLinks;  // sent on every interface: those that failed
    std::vector<CSentDatagram> sent;        // the datagrams that left, in order

    // e.g. "bind to UDP port 4000: Address already in use". A send that went
    // out on some interfaces but not on others names those that failed.
    std::string Reason() const;
};

// Sends the packet from local UDP port 4000 (all addresses) with broadcast
// permission to where pLinks chooses for the host at dwHost (network order,
// 0 when unknown): without a chooser, 255.255.255.255:4000 by the default
// route. With no route for the limited broadcast at all, it goes once out of
// every interface that can broadcast, and counts as sent when one of them
// took it. One socket; it is closed on every path.
CSendResult SendMagicPacket(ISocketLayer& sockets, const CMagicPacket& packet,
                            CLinkChooser* pLinks = nullptr, uint32_t dwHost = 0);

// The line --verbose prints for a datagram: "nas 001122334455 to
// 255.255.255.255 port 4000 by eth0 (default route)"; strName may be empty.
std::string DescribeDatagram(const std::string& strName, const std::string& strMac,
                             const CSentDatagram& datagram, CLinkChooser& links);
