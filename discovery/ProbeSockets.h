#pragma once
// The sockets of one probe run: the echo (or discard) datagram pool, the TCP
// connection attempts, the neighbour table's notifications, and one poll
// over them all that hands what arrived to the run.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "net/NeighbourTable.h"
#include "net/ProbePlatform.h"

// What a wait found.
class IProbeEvents {
public:
    virtual ~IProbeEvents() = default;
    virtual void OnEchoReply(uint32_t dwFrom, const uint8_t* pData, size_t nLength,
                             int64_t nNowUs) = 0;
    // A row as a notification brought it; bLost: some were dropped, the
    // table must be read whole.
    virtual void OnNeighbourNotice(const CNeighbourRow& row, int64_t nNowUs) = 0;
    virtual void OnNoticesLost(int64_t nNowUs) = 0;
    // A connection attempt of the unit ended: bAnswered when the host
    // accepted or refused it.
    virtual void OnTcpOutcome(size_t nUnit, bool bAnswered, int64_t nNowUs) = 0;
};

class CProbeSockets {
public:
    explicit CProbeSockets(IProbePlatform& platform)
        : m_platform(platform)
    { }
    ~CProbeSockets();
    CProbeSockets(const CProbeSockets&) = delete;
    CProbeSockets& operator=(const CProbeSockets&) = delete;

    // The first echo socket the system allows (datagram, then raw); false
    // with the reasons, and what would allow one, when there is none.
    bool OpenEcho(std::string& strWhy);
    // A socket for datagrams to the discard port; false with the reason.
    bool OpenDiscard(std::string& strWhy);
    // Notifications of the neighbour table's changes; false when there are none.
    bool OpenWatch();
    bool HasEcho() const { return !m_echo.empty(); }
    bool IsRawEcho() const { return m_echoKind == EProbeSocket::EchoRaw; }

    void SendEcho(uint32_t dwAddr, unsigned nIfIndex, const std::vector<uint8_t>& message);
    void SendDiscard(uint32_t dwAddr, unsigned nIfIndex);

    // Starts a connection attempt to each port for the unit: 0 when they are
    // under way (or one was answered at once: bAnswered), else the errno of
    // the socket that could not be had.
    int StartTcp(size_t nUnit, uint32_t dwAddr, bool& bAnswered);
    // Ends the unit's attempts.
    void StopTcp(size_t nUnit);
    size_t TcpOpen() const { return m_tcp.size(); }

    // Polls until nUntilUs or until something arrives, and hands it to
    // events. False when a signal ended the wait.
    bool Wait(int64_t nUntilUs, IProbeEvents& events);

private:
    int Send(std::vector<int>& pool, EProbeSocket kind, const std::vector<uint8_t>& data,
             uint32_t dwAddr, uint16_t nPort, unsigned nIfIndex);
    void ReadEcho(int hSocket, IProbeEvents& events, int64_t nNowUs);
    void ReadWatch(IProbeEvents& events, int64_t nNowUs);

    IProbePlatform& m_platform;
    EProbeSocket m_echoKind = EProbeSocket::EchoDgram;
    std::vector<int> m_echo;     // echo sockets, another opened when one's buffer is full
    std::vector<int> m_discard;  // the same for datagrams to the discard port
    int m_hWatch = -1;
    std::map<int, size_t> m_tcp;  // connection attempt -> its unit
};
