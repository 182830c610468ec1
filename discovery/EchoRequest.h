#pragma once
// One ICMP echo request to a host, so that the kernel resolves the host's
// hardware address into the neighbour table.
#include <cstddef>
#include <cstdint>
#include <vector>

class INeighbourTable;

const int kEchoTimeoutMs = 5000;
const size_t kEchoDataSize = 64;
const uint8_t kEchoDataByte = 0xAA;
const uint16_t kDiscardPort = 9;

// How the request went out.
enum class EEchoWay {
    None,   // nothing could be opened
    Dgram,  // unprivileged ICMP datagram socket
    Raw,    // raw ICMP socket
    Udp,    // no ICMP at all: one datagram to the discard port
};
const char* EchoWayName(EEchoWay way);  // "none", "dgram", "raw", "udp"

// Why the wait ended.
enum class EEchoEnd {
    NotSent,           // set up, but sending failed (no route, ...)
    Replied,           // the echo reply arrived
    EntrySettled,      // the target's neighbour entry was resolved or failed
    NothingToWaitFor,  // no reply can come and no entry will be made
    TimedOut,
};

struct CEchoOutcome {
    bool bSetUp = false;  // a socket could be opened
    EEchoWay way = EEchoWay::None;
    EEchoEnd end = EEchoEnd::NotSent;
};

class IEchoRequest {
public:
    virtual ~IEchoRequest() = default;
    // Sends one request to dwTarget (network order) and waits at most
    // nTimeoutMs. It returns as soon as waiting longer could no longer change
    // what the neighbour table will say about the target.
    virtual CEchoOutcome SendEcho(uint32_t dwTarget, int nTimeoutMs) = 0;
};

class CEchoRequest : public IEchoRequest {
public:
    // table: used to look at the target's entry right after sending.
    explicit CEchoRequest(INeighbourTable& table)
        : m_table(table)
    { }
    CEchoOutcome SendEcho(uint32_t dwTarget, int nTimeoutMs) override;

private:
    INeighbourTable& m_table;
    uint16_t m_nSequence = 0;
};

// The Internet checksum (RFC 1071) of a buffer.
uint16_t InternetChecksum(const void* pData, size_t nLength);
// An echo request message: 8-byte ICMP header, then the 64 data bytes, with
// its checksum filled in.
std::vector<uint8_t> BuildEchoRequest(uint16_t nIdentifier, uint16_t nSequence);
// True when the buffer is the echo reply to (nIdentifier, nSequence).
// bWithIpHeader: the buffer starts with the IPv4 header (raw sockets).
// bCheckIdentifier: false for datagram sockets, where the kernel owns the
// identifier and already routes replies to the right socket.
bool IsEchoReplyFor(const uint8_t* pData, size_t nLength, bool bWithIpHeader, bool bCheckIdentifier,
                    uint16_t nIdentifier, uint16_t nSequence);
