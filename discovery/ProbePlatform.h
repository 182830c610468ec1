#pragma once
// What the probe engine asks of the system: non-blocking sockets, one poll,
// a clock, and notifications of the neighbour table's changes. Behind an
// interface so that the unit tests run the engine on a simulated network.
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "discovery/NeighbourTable.h"

class CNetlinkSocket;

enum class EProbeSocket {
    EchoDgram,  // ICMP datagram socket (ping_group_range)
    EchoRaw,    // raw ICMP socket (CAP_NET_RAW), echo replies only
    Udp,        // datagrams to the discard port
    Tcp,        // one connection attempt
};

// The kernel's limits on the neighbour table.
struct CNeighbourLimits {
    unsigned nGcThresh2 = 512;   // above it, entries not used for 5 s may be collected
    unsigned nGcThresh3 = 1024;  // the hard limit ("neighbour table overflow")
};

class IProbePlatform {
public:
    virtual ~IProbePlatform() = default;

    // A non-blocking, close-on-exec IPv4 socket; -1 when the system refuses it.
    virtual int Open(EProbeSocket kind) = 0;
    // Starts a connection; 0 when it completed at once, else the errno
    // (EINPROGRESS while it goes on).
    virtual int Connect(int hSocket, uint32_t dwAddr, uint16_t nPort) = 0;
    // Sends one datagram to dwAddr (network order) and port, out of interface
    // nIfIndex when it is not 0; 0 on success, else the errno.
    virtual int SendTo(int hSocket, const std::vector<uint8_t>& data, uint32_t dwAddr,
                       uint16_t nPort, unsigned nIfIndex) = 0;
    // One waiting datagram and its source; -1 when nothing is waiting.
    virtual long Receive(int hSocket, uint8_t* pBuffer, size_t nSize, uint32_t& dwFrom) = 0;
    // The outcome of a connection attempt that poll reported (SO_ERROR).
    virtual int PendingError(int hSocket) = 0;
    virtual void Close(int hSocket) = 0;
    // poll(2); returns when something is ready, the time is over or a
    // signal arrived.
    virtual int Poll(std::vector<pollfd>& fds, int nTimeoutMs) = 0;
    // A monotonic clock, in microseconds.
    virtual int64_t NowUs() = 0;

    // A handle to poll for changes of the neighbour table, or -1.
    virtual int OpenNeighbourWatch() = 0;
    // The changed rows waiting on it: 1 read (maybe none), -1 some were lost
    // (the table must be read whole), -2 the watch is broken.
    virtual int ReadNeighbourWatch(int hWatch, std::vector<CNeighbourRow>& rows) = 0;
    virtual CNeighbourLimits NeighbourLimits() = 0;
    // How many descriptors the engine may hold open at once.
    virtual unsigned SocketBudget() = 0;
};

// The real system.
class CPosixProbePlatform : public IProbePlatform {
public:
    ~CPosixProbePlatform() override;
    int Open(EProbeSocket kind) override;
    int Connect(int hSocket, uint32_t dwAddr, uint16_t nPort) override;
    int SendTo(int hSocket, const std::vector<uint8_t>& data, uint32_t dwAddr, uint16_t nPort,
               unsigned nIfIndex) override;
    long Receive(int hSocket, uint8_t* pBuffer, size_t nSize, uint32_t& dwFrom) override;
    int PendingError(int hSocket) override;
    void Close(int hSocket) override;
    int Poll(std::vector<pollfd>& fds, int nTimeoutMs) override;
    int64_t NowUs() override;
    int OpenNeighbourWatch() override;
    int ReadNeighbourWatch(int hWatch, std::vector<CNeighbourRow>& rows) override;
    CNeighbourLimits NeighbourLimits() override;
    unsigned SocketBudget() override;

private:
    std::map<int, std::unique_ptr<CNetlinkSocket>> m_watches;  // by handle
    std::vector<uint8_t> m_buffer;
};

// A number read from a small file of the kernel's (/proc/sys/...), or
// nDefault when it is missing, unreadable or holds no number.
unsigned ReadKernelNumber(const char* pszPath, unsigned nDefault);
