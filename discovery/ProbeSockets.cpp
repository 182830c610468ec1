#include "discovery/ProbeSockets.h"

#include <cerrno>

#include "base/Error.h"
#include "discovery/EchoMessage.h"
#include "discovery/ProbeEngine.h"

namespace {

const size_t kMaxPoolSockets = 16;

bool Retryable(int nError)
{
    return nError == EAGAIN || nError == EWOULDBLOCK || nError == ENOBUFS;
}

// Why a way of asking is refused, with what would allow it, as ping says it.
std::string Refusal(EProbeSocket kind, int nError)
{
    std::string strText = ErrorText(nError);
    if (kind == EProbeSocket::EchoDgram && (nError == EACCES || nError == EPERM))
        strText += ": the group is outside the sysctl net.ipv4.ping_group_range";
    else if (kind == EProbeSocket::EchoRaw && (nError == EACCES || nError == EPERM))
        strText += ": a raw socket needs the capability CAP_NET_RAW";
    return strText;
}

}  // namespace

CProbeSockets::~CProbeSockets()
{
    for (const std::vector<int>* pPool : {&m_echo, &m_discard})
        for (const int hSocket : *pPool)
            m_platform.Close(hSocket);
    for (const auto& [hSocket, nUnit] : m_tcp)
        m_platform.Close(hSocket);
    if (m_hWatch >= 0)
        m_platform.Close(m_hWatch);
}

bool CProbeSockets::OpenEcho(std::string& strWhy)
{
    for (const EProbeSocket kind : {EProbeSocket::EchoDgram, EProbeSocket::EchoRaw}) {
        int hSocket = -1;
        const int nError = m_platform.Open(kind, hSocket);
        if (nError == 0) {
            m_echoKind = kind;
            m_echo.push_back(hSocket);
            return true;
        }
        strWhy += (strWhy.empty() ? "" : "; ") + Refusal(kind, nError);
    }
    strWhy = "no ICMP socket (" + strWhy + ")";
    return false;
}

bool CProbeSockets::OpenDiscard(std::string& strWhy)
{
    int hSocket = -1;
    if (const int nError = m_platform.Open(EProbeSocket::Udp, hSocket)) {
        strWhy = "no UDP socket (" + ErrorText(nError) + ")";
        return false;
    }
    m_discard.push_back(hSocket);
    return true;
}

bool CProbeSockets::OpenWatch()
{
    if (m_platform.OpenNeighbourWatch(m_hWatch) != 0)
        m_hWatch = -1;
    return m_hWatch >= 0;
}

int CProbeSockets::Send(std::vector<int>& pool, EProbeSocket kind, const std::vector<uint8_t>& data,
                        uint32_t dwAddr, uint16_t nPort, unsigned nIfIndex)
{
    int nError = m_platform.SendTo(pool.back(), data, dwAddr, nPort, nIfIndex);
    // Datagrams to neighbours not resolved yet stay charged to their socket.
    if (Retryable(nError) && pool.size() < kMaxPoolSockets) {
        int hSocket = -1;
        if (m_platform.Open(kind, hSocket) == 0) {
            pool.push_back(hSocket);
            nError = m_platform.SendTo(hSocket, data, dwAddr, nPort, nIfIndex);
        }
    }
    return nError;
}

void CProbeSockets::SendEcho(uint32_t dwAddr, unsigned nIfIndex,
                             const std::vector<uint8_t>& message)
{
    Send(m_echo, m_echoKind, message, dwAddr, 0, nIfIndex);
}

void CProbeSockets::SendDiscard(uint32_t dwAddr, unsigned nIfIndex)
{
    static const std::vector<uint8_t> s_data(kEchoDataSize, kEchoDataByte);
    Send(m_discard, EProbeSocket::Udp, s_data, dwAddr, kDiscardPort, nIfIndex);
}

int CProbeSockets::StartTcp(size_t nUnit, uint32_t dwAddr, bool& bAnswered)
{
    bAnswered = false;
    for (const uint16_t nPort : kProbeTcpPorts) {
        int hSocket = -1;
        if (const int nError = m_platform.Open(EProbeSocket::Tcp, hSocket))
            return nError;
        const int nResult = m_platform.Connect(hSocket, dwAddr, nPort);
        if (nResult == EINPROGRESS) {
            m_tcp[hSocket] = nUnit;
            continue;
        }
        m_platform.Close(hSocket);
        if (nResult == 0 || nResult == ECONNREFUSED) {
            bAnswered = true;
            StopTcp(nUnit);
            return 0;
        }
    }
    return 0;
}

void CProbeSockets::StopTcp(size_t nUnit)
{
    for (auto it = m_tcp.begin(); it != m_tcp.end();) {
        if (it->second != nUnit) {
            ++it;
            continue;
        }
        m_platform.Close(it->first);
        it = m_tcp.erase(it);
    }
}

bool CProbeSockets::Wait(int64_t nUntilUs, IProbeEvents& events)
{
    std::vector<pollfd> fds;
    for (const int hSocket : m_echo)
        fds.push_back({hSocket, POLLIN, 0});
    if (m_hWatch >= 0)
        fds.push_back({m_hWatch, POLLIN, 0});
    for (const auto& [hSocket, nUnit] : m_tcp)
        fds.push_back({hSocket, POLLOUT, 0});
    const int64_t nLeftUs = nUntilUs - m_platform.NowUs();
    const int nTimeoutMs = nLeftUs <= 0 ? 0 : static_cast<int>((nLeftUs + 999) / 1000);
    if (m_platform.Poll(fds, nTimeoutMs) != 0)
        return false;
    const int64_t nNowUs = m_platform.NowUs();
    for (const pollfd& fd : fds) {
        if (!fd.revents)
            continue;
        if (fd.fd == m_hWatch) {
            ReadWatch(events, nNowUs);
        } else if (const auto it = m_tcp.find(fd.fd); it != m_tcp.end()) {
            const size_t nUnit = it->second;
            const int nError = m_platform.PendingError(fd.fd);
            m_platform.Close(fd.fd);
            m_tcp.erase(it);
            events.OnTcpOutcome(nUnit, nError == 0 || nError == ECONNREFUSED, nNowUs);
        } else {
            ReadEcho(fd.fd, events, nNowUs);
        }
    }
    return true;
}

void CProbeSockets::ReadEcho(int hSocket, IProbeEvents& events, int64_t nNowUs)
{
    uint8_t buffer[1500];
    size_t nGot = 0;
    uint32_t dwFrom = 0;
    while (m_platform.Receive(hSocket, buffer, sizeof buffer, nGot, dwFrom) == 0)
        events.OnEchoReply(dwFrom, buffer, nGot, nNowUs);
}

void CProbeSockets::ReadWatch(IProbeEvents& events, int64_t nNowUs)
{
    std::vector<CNeighbourRow> rows;
    const int nError = m_platform.ReadNeighbourWatch(m_hWatch, rows);
    for (const CNeighbourRow& row : rows)
        events.OnNeighbourNotice(row, nNowUs);
    if (nError == ENOBUFS) {
        events.OnNoticesLost(nNowUs);
    } else if (nError != 0) {
        m_platform.Close(m_hWatch);
        m_hWatch = -1;
    }
}
