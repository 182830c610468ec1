#pragma once
// What the probe engine asks of the system: non-blocking sockets, one poll,
// a clock, and notifications of the neighbour table's changes. Behind an
// interface so that the unit tests run the engine on a simulated network.
// Every call that can fail returns 0 or the errno.
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "net/NeighbourTable.h"

class CNetlinkSocket;

enum class EProbeSocket {
    EchoDgram,  // ICMP datagram socket (ping_group_range)
    EchoRaw,    // raw ICMP socket (CAP_NET_RAW), echo replies only
    Udp,        // datagrams to the discard port
    Tcp,        // one connection attempt
};

class IProbePlatform {
public:
    virtual ~IProbePlatform() = default;

    // A non-blocking, close-on-exec IPv4 socket.
    virtual int Open(EProbeSocket kind, int& hSocket) = 0;
    // Starts a connection: 0 when it completed at once, EINPROGRESS while it
    // goes on, or the errno.
    virtual int Connect(int hSocket, uint32_t dwAddr, uint16_t nPort) = 0;
    // One datagram to dwAddr (network order) and port, out of interface
    // nIfIndex when it is not 0.
    virtual int SendTo(int hSocket, const std::vector<uint8_t>& data, uint32_t dwAddr,
                       uint16_t nPort, unsigned nIfIndex) = 0;
    // One waiting datagram, its length and its source; EAGAIN when none waits.
    virtual int Receive(int hSocket, uint8_t* pBuffer, size_t nSize, size_t& nGot,
                        uint32_t& dwFrom) = 0;
    // The outcome of a connection attempt that poll reported (SO_ERROR).
    virtual int PendingError(int hSocket) = 0;
    virtual void Close(int hSocket) = 0;
    // poll(2): returns when something is ready (revents set), the time is
    // over (none set), or with EINTR when a signal arrived.
    virtual int Poll(std::vector<pollfd>& fds, int nTimeoutMs) = 0;
    // A monotonic clock, in microseconds.
    virtual int64_t NowUs() = 0;

    // A handle to poll for changes of the neighbour table.
    virtual int OpenNeighbourWatch(int& hWatch) = 0;
    // The changed rows waiting on it: 0; ENOBUFS when some were lost (the
    // table must be read whole); another errno when the watch is broken.
    virtual int ReadNeighbourWatch(int hWatch, std::vector<CNeighbourRow>& rows) = 0;
};

// The real system.
class CPosixProbePlatform : public IProbePlatform {
public:
    ~CPosixProbePlatform() override;
    int Open(EProbeSocket kind, int& hSocket) override;
    int Connect(int hSocket, uint32_t dwAddr, uint16_t nPort) override;
    int SendTo(int hSocket, const std::vector<uint8_t>& data, uint32_t dwAddr, uint16_t nPort,
               unsigned nIfIndex) override;
    int Receive(int hSocket, uint8_t* pBuffer, size_t nSize, size_t& nGot,
                uint32_t& dwFrom) override;
    int PendingError(int hSocket) override;
    void Close(int hSocket) override;
    int Poll(std::vector<pollfd>& fds, int nTimeoutMs) override;
    int64_t NowUs() override;
    int OpenNeighbourWatch(int& hWatch) override;
    int ReadNeighbourWatch(int hWatch, std::vector<CNeighbourRow>& rows) override;

private:
    std::map<int, std::unique_ptr<CNetlinkSocket>> m_watches;  // by handle
};
