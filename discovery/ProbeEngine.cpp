#include "discovery/ProbeEngine.h"

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "discovery/EchoRequest.h"
#include "discovery/MacScan.h"

namespace {

const int kRoundMs = 1000;       // one probe per address per second at most
const size_t kTableMargin = 16;  // neighbour entries left for other traffic
const size_t kMaxPoolSockets = 16;
// A host's neighbour entry usually turns reachable just before its echo
// reply comes; the reply, with its round-trip time, is waited for this long.
const int64_t kEchoGraceUs = 100000;

// One address to ask (several targets may share it).
struct CUnit {
    uint32_t dwAddr = 0;
    unsigned nIfIndex = 0;    // as the targets gave it
    unsigned nLinkIndex = 0;  // the interface its neighbour entry is on; 0: any
    std::vector<size_t> targets;
    bool bOnLink = false, bEcho = false, bUdp = false, bTcp = false;
    bool bAdmitted = false, bDecided = false, bHasEntry = false;
    uint16_t wEntryState = 0;  // its neighbour entry's state as last seen
    int64_t nSentUs = -1;
    int64_t nNeighbourUpUs = -1;  // when its entry was seen reachable, echo units
    double dNeighbourRttMs = -1;
    uint16_t nSeq = 0;
    std::vector<int> tcp;  // connection attempts in flight
    CProbeResult result;
};

// Sockets of one kind, another opened when the ones there have no room left
// (datagrams to unresolved neighbours stay charged to their socket).
struct CPool {
    EProbeSocket kind;
    std::vector<int> sockets;
};

bool Retryable(int nError)
{
    return nError == EAGAIN || nError == EWOULDBLOCK || nError == ENOBUFS;
}

class CRun {
public:
    CRun(IProbePlatform& platform, IRouteTable& routes, INeighbourTable& neighbours,
         CProbeWays& ways, const CProbeOptions& options)
        : m_platform(platform)
        , m_routes(routes)
        , m_neighbours(neighbours)
        , m_ways(ways)
        , m_options(options)
    { }
    ~CRun()
    {
        for (CUnit& unit : m_units)
            CloseTcp(unit);
        for (CPool* pPool : {&m_echo, &m_udp})
            for (const int hSocket : pPool->sockets)
                m_platform.Close(hSocket);
        if (m_hWatch >= 0)
            m_platform.Close(m_hWatch);
    }

    std::vector<CProbeResult> Run(const std::vector<CProbeTarget>& targets);

private:
    int64_t ElapsedMs() const { return (m_platform.NowUs() - m_nStartUs) / 1000; }
    void Plan(const std::vector<CProbeTarget>& targets, std::vector<CProbeResult>& results);
    void Classify(CUnit& unit);
    void Tick(int64_t nNowUs, bool bRoundDue, bool bPaceDue);
    bool ReadTable();
    void Admit(int64_t nNowUs);
    void Send(CUnit& unit, int64_t nNowUs);
    bool SendOn(CPool& pool, const std::vector<uint8_t>& data, uint16_t nPort, const CUnit& unit);
    void StartTcp(CUnit& unit, int64_t nNowUs);
    void Wait(int64_t nUntilUs);
    void ReadEcho(int hSocket, int64_t nNowUs);
    void SeeRow(const CNeighbourRow& row, int64_t nNowUs, bool bNotified);
    void MarkUp(CUnit& unit, EProbeHow how, int64_t nNowUs, double dRttMs);
    double Rtt(const CUnit& unit, int64_t nNowUs) const
    {
        return unit.nSentUs >= 0 ? static_cast<double>(nNowUs - unit.nSentUs) / 1000.0 : -1;
    }
    void Decide(CUnit& unit, EProbeState state);
    void CloseTcp(CUnit& unit);
    bool Stopped() const { return m_options.pStop && *m_options.pStop; }

    IProbePlatform& m_platform;
    IRouteTable& m_routes;
    INeighbourTable& m_neighbours;
    CProbeWays& m_ways;
    const CProbeOptions& m_options;
    std::vector<CUnit> m_units;
    std::multimap<uint32_t, size_t> m_byAddr;  // address -> unit
    CPool m_echo{EProbeSocket::EchoDgram, {}};
    CPool m_udp{EProbeSocket::Udp, {}};
    int m_hWatch = -1;
    size_t m_nTcpOpen = 0;
    size_t m_nUndecided = 0;
    std::vector<CNeighbourRow> m_rows;  // the table as last read
    bool m_bRowsRead = false;
    int64_t m_nStartUs = 0;
    size_t m_nAdmittedSinceRead = 0;  // new on-link hosts asked since the table was read
    int64_t m_nNextAdmitUs = 0;       // with nPerSecond: when the next new host may be asked
    bool m_bPaceHeld = false;         // with nPerSecond: hosts wait for their turn
    uint16_t m_nIdentifier = static_cast<uint16_t>(::getpid());
    uint16_t m_nSeq = 0;
    std::vector<CProbeResult>* m_pResults = nullptr;
};

std::vector<CProbeResult> CRun::Run(const std::vector<CProbeTarget>& targets)
{
    std::vector<CProbeResult> results(targets.size());
    m_pResults = &results;
    m_nStartUs = m_platform.NowUs();
    Plan(targets, results);
    const int nRoundMs = std::max(kRoundMs, m_options.nAnswerMs);
    int64_t nNextRoundUs = m_nStartUs;
    const int64_t nEndUs = m_nStartUs + m_options.nUntilMs * int64_t{1000};
    while (m_nUndecided > 0 && !Stopped()) {
        const int64_t nNowUs = m_platform.NowUs();
        if (m_options.nUntilMs > 0 && nNowUs >= nEndUs)
            break;
        const bool bRoundDue = nNowUs >= nNextRoundUs;
        Tick(nNowUs, bRoundDue, m_bPaceHeld && nNowUs >= m_nNextAdmitUs);
        if (bRoundDue) {
            // Counted from this round's sends: no address is asked twice
            // within a second.
            nNextRoundUs = nNowUs + nRoundMs * int64_t{1000};
            if (m_options.onTick && nNowUs > m_nStartUs)
                m_options.onTick(ElapsedMs());
        }
        if (m_nUndecided == 0)
            break;
        // Wake at the next round or when the first probe's wait is over.
        int64_t nWakeUs = m_bPaceHeld ? std::min(nNextRoundUs, m_nNextAdmitUs) : nNextRoundUs;
        for (const CUnit& unit : m_units) {
            // A wait that is over already (asked again only in the next round) wakes nothing.
            const int64_t nAnswerOverUs = unit.nSentUs + m_options.nAnswerMs * int64_t{1000};
            if (!unit.bDecided && unit.bAdmitted && nAnswerOverUs > nNowUs)
                nWakeUs = std::min(nWakeUs, nAnswerOverUs);
            if (!unit.bDecided && unit.nNeighbourUpUs >= 0)
                nWakeUs = std::min(nWakeUs, unit.nNeighbourUpUs + kEchoGraceUs);
        }
        if (m_options.nUntilMs > 0)
            nWakeUs = std::min(nWakeUs, nEndUs);
        Wait(nWakeUs);
    }
    for (CUnit& unit : m_units)
        if (!unit.bDecided)
            Decide(unit, EProbeState::Down);
    return results;
}

void CRun::Plan(const std::vector<CProbeTarget>& targets, std::vector<CProbeResult>& results)
{
    for (size_t i = 0; i < targets.size(); ++i) {
        const CProbeTarget& target = targets[i];
        const uint8_t nFirst = static_cast<uint8_t>(ntohl(target.dwAddr) >> 24);
        if (target.dwAddr == 0) {
            results[i].strReason = "no address stored";
            continue;
        }
        if (target.dwAddr == INADDR_BROADCAST || nFirst >= 224 || nFirst == 0) {
            results[i].strReason = "not the address of one host";
            continue;
        }
        auto it = std::find_if(m_units.begin(), m_units.end(), [&](const CUnit& unit) {
            return unit.dwAddr == target.dwAddr && unit.nIfIndex == target.nIfIndex;
        });
        if (it == m_units.end()) {
            m_units.push_back({});
            it = m_units.end() - 1;
            it->dwAddr = target.dwAddr;
            it->nIfIndex = target.nIfIndex;
        }
        it->targets.push_back(i);
    }

    // The ladder: an echo where the system allows one, else what the
    // host's place in the network allows.
    for (const EProbeSocket kind : {EProbeSocket::EchoDgram, EProbeSocket::EchoRaw}) {
        if (m_units.empty() || m_options.bOnLinkOnly)
            break;
        const int hSocket = m_platform.Open(kind);
        if (hSocket >= 0) {
            m_echo = {kind, {hSocket}};
            (kind == EProbeSocket::EchoDgram ? m_ways.bEchoDgram : m_ways.bEchoRaw) = true;
            break;
        }
    }
    bool bAnyOnLink = false;
    for (size_t u = 0; u < m_units.size(); ++u) {
        CUnit& unit = m_units[u];
        Classify(unit);
        bAnyOnLink = bAnyOnLink || (unit.bOnLink && !unit.bDecided);
        m_byAddr.emplace(unit.dwAddr, u);
    }
    if (bAnyOnLink) {
        m_hWatch = m_platform.OpenNeighbourWatch();
        if (m_echo.sockets.empty()) {
            const int hSocket = m_platform.Open(EProbeSocket::Udp);
            m_ways.bUdp = hSocket >= 0;
            if (hSocket >= 0)
                m_udp.sockets.push_back(hSocket);
        }
    }
    for (CUnit& unit : m_units) {
        if (unit.bDecided)
            continue;
        unit.bEcho = !m_echo.sockets.empty();
        unit.bUdp = unit.bOnLink && !unit.bEcho && m_ways.bUdp;
        unit.bTcp = !unit.bOnLink && !unit.bEcho;
        unit.result.how = unit.bEcho ? EProbeHow::Echo
            : unit.bOnLink           ? EProbeHow::Neighbour
                                     : EProbeHow::Tcp;
        if (!unit.bEcho && !unit.bUdp && !unit.bTcp) {
            unit.result.strReason = "no way to probe it";
            unit.result.how = EProbeHow::None;
            Decide(unit, EProbeState::Unknown);
        }
    }
}

void CRun::Classify(CUnit& unit)
{
    ++m_nUndecided;
    if (unit.nIfIndex != 0) {
        unit.bOnLink = true;
        unit.nLinkIndex = unit.nIfIndex;
    } else {
        CRouteInfo route;
        if (!m_routes.LookUpRoute(unit.dwAddr, route) ||
            (route.nType != RTN_UNICAST && route.nType != RTN_LOCAL &&
             route.nType != RTN_BROADCAST)) {
            unit.result.strReason = "no route to it";
            Decide(unit, EProbeState::Unknown);
            return;
        }
        if (route.nType == RTN_BROADCAST) {
            unit.result.strReason = "not the address of one host";
            Decide(unit, EProbeState::Unknown);
            return;
        }
        unit.bOnLink = route.OnLink();
        unit.nLinkIndex = route.dwOutIndex;
    }
    unit.result.bOnLink = unit.bOnLink;
    if (m_options.bOnLinkOnly && !unit.bOnLink) {
        unit.result.strReason = "not on an attached link";
        Decide(unit, EProbeState::Unknown);
    }
}

void CRun::Tick(int64_t nNowUs, bool bRoundDue, bool bPaceDue)
{
    bool bExpired = false;
    bool bOnLinkWaiting = false;
    for (const CUnit& unit : m_units) {
        if (unit.bDecided)
            continue;
        bOnLinkWaiting = bOnLinkWaiting || unit.bOnLink;
        bExpired = bExpired ||
            (unit.bAdmitted && nNowUs >= unit.nSentUs + m_options.nAnswerMs * int64_t{1000});
    }
    // One read of the table per round: what the notifications missed, and
    // room for the next batch.
    if (bOnLinkWaiting && (bExpired || bRoundDue))
        ReadTable();
    for (CUnit& unit : m_units) {
        const bool bOver = nNowUs >= unit.nSentUs + m_options.nAnswerMs * int64_t{1000};
        if (!unit.bDecided && unit.nNeighbourUpUs >= 0 &&
            (bOver || nNowUs >= unit.nNeighbourUpUs + kEchoGraceUs))
            MarkUp(unit, EProbeHow::Neighbour, nNowUs, unit.dNeighbourRttMs);
        if (unit.bDecided || !unit.bAdmitted || !bOver)
            continue;
        CloseTcp(unit);
        if (m_options.nUntilMs <= 0)
            Decide(unit, EProbeState::Down);
    }
    const bool bTimeLeft =
        m_options.nUntilMs <= 0 || nNowUs < m_nStartUs + m_options.nUntilMs * int64_t{1000};
    if ((bRoundDue || bPaceDue) && bTimeLeft)
        Admit(nNowUs);
}

bool CRun::ReadTable()
{
    std::vector<CNeighbourRow> rows;
    if (!m_neighbours.GetTable(rows))
        return false;
    m_rows = std::move(rows);
    m_bRowsRead = true;
    m_nAdmittedSinceRead = 0;
    const int64_t nNowUs = m_platform.NowUs();
    for (const CNeighbourRow& row : m_rows)
        SeeRow(row, nNowUs, false);
    return true;
}

void CRun::Admit(int64_t nNowUs)
{
    const CNeighbourLimits limits = m_platform.NeighbourLimits();
    size_t nRoom = NeighbourBudget(
        m_rows, m_options.nNeighbourLimit ? m_options.nNeighbourLimit : limits.nGcThresh3);
    nRoom = nRoom > m_nAdmittedSinceRead ? nRoom - m_nAdmittedSinceRead : 0;
    const int64_t nSlotUs = m_options.nPerSecond ? 1000000 / m_options.nPerSecond : 0;
    m_bPaceHeld = false;
    const size_t nSocketBudget = m_platform.SocketBudget();
    const size_t nPorts = std::size(kProbeTcpPorts);
    for (CUnit& unit : m_units) {
        if (unit.bDecided)
            continue;
        if (unit.bAdmitted) {
            if (m_options.nUntilMs > 0 && nNowUs >= unit.nSentUs + kRoundMs * int64_t{1000})
                Send(unit, nNowUs);  // asked again, a second after the last time
            continue;
        }
        if (nSlotUs && nNowUs < m_nNextAdmitUs) {
            m_bPaceHeld = true;  // its turn comes within the round
            continue;
        }
        if (unit.bOnLink && !unit.bHasEntry) {
            if (nRoom == 0)
                continue;  // the next batch
            --nRoom;
            ++m_nAdmittedSinceRead;
        }
        if (unit.bTcp && m_nTcpOpen + nPorts > nSocketBudget)
            continue;
        // An entry that holds an address but is not confirmed would make the
        // kernel wait seconds before it asks the host again; a connection
        // attempt gets an answer at once.
        if (unit.bUdp && (unit.wEntryState & (NUD_STALE | NUD_DELAY | NUD_PROBE)) &&
            m_nTcpOpen + nPorts <= nSocketBudget)
            unit.bTcp = true;
        if (nSlotUs)  // no burst to catch up after a pause
            m_nNextAdmitUs = std::max(m_nNextAdmitUs, nNowUs) + nSlotUs;
        unit.bAdmitted = true;
        unit.result.bKnownBefore = !unit.result.strMac.empty();
        Send(unit, nNowUs);
    }
}

void CRun::Send(CUnit& unit, int64_t nNowUs)
{
    unit.nSentUs = nNowUs;
    if (unit.bEcho) {
        unit.nSeq = ++m_nSeq;
        SendOn(m_echo, BuildEchoRequest(m_nIdentifier, unit.nSeq), 0, unit);
    }
    if (unit.bUdp)
        SendOn(m_udp, std::vector<uint8_t>(kEchoDataSize, kEchoDataByte), kDiscardPort, unit);
    if (unit.bTcp)
        StartTcp(unit, nNowUs);
}

bool CRun::SendOn(CPool& pool, const std::vector<uint8_t>& data, uint16_t nPort, const CUnit& unit)
{
    int nError = m_platform.SendTo(pool.sockets.back(), data, unit.dwAddr, nPort, unit.nIfIndex);
    if (Retryable(nError) && pool.sockets.size() < kMaxPoolSockets) {
        const int hSocket = m_platform.Open(pool.kind);
        if (hSocket >= 0) {
            pool.sockets.push_back(hSocket);
            nError = m_platform.SendTo(hSocket, data, unit.dwAddr, nPort, unit.nIfIndex);
        }
    }
    return nError == 0;
}

void CRun::StartTcp(CUnit& unit, int64_t nNowUs)
{
    CloseTcp(unit);
    for (const uint16_t nPort : kProbeTcpPorts) {
        const int hSocket = m_platform.Open(EProbeSocket::Tcp);
        if (hSocket < 0)
            break;
        m_ways.bTcp = true;
        const int nResult = m_platform.Connect(hSocket, unit.dwAddr, nPort);
        if (nResult == EINPROGRESS) {
            unit.tcp.push_back(hSocket);
            ++m_nTcpOpen;
            continue;
        }
        m_platform.Close(hSocket);
        if (nResult == 0 || nResult == ECONNREFUSED) {
            MarkUp(unit, EProbeHow::Tcp, nNowUs, Rtt(unit, nNowUs));
            return;
        }
    }
}

void CRun::Wait(int64_t nUntilUs)
{
    std::vector<pollfd> fds;
    std::vector<size_t> owners;  // for each connection attempt, its unit
    for (const int hSocket : m_echo.sockets)
        fds.push_back({hSocket, POLLIN, 0});
    const size_t nEchoFds = fds.size();
    if (m_hWatch >= 0)
        fds.push_back({m_hWatch, POLLIN, 0});
    const size_t nFixed = fds.size();
    for (size_t u = 0; u < m_units.size(); ++u)
        for (const int hSocket : m_units[u].tcp) {
            fds.push_back({hSocket, POLLOUT, 0});
            owners.push_back(u);
        }
    const int64_t nLeftUs = nUntilUs - m_platform.NowUs();
    const int nTimeoutMs = nLeftUs <= 0 ? 0 : static_cast<int>((nLeftUs + 999) / 1000);
    if (m_platform.Poll(fds, nTimeoutMs) <= 0)
        return;  // the time is over, or a signal came
    const int64_t nNowUs = m_platform.NowUs();
    for (size_t i = 0; i < nEchoFds; ++i)
        if (fds[i].revents)
            ReadEcho(fds[i].fd, nNowUs);
    if (m_hWatch >= 0 && fds[nEchoFds].revents) {
        std::vector<CNeighbourRow> rows;
        const int nRead = m_platform.ReadNeighbourWatch(m_hWatch, rows);
        for (const CNeighbourRow& row : rows)
            SeeRow(row, nNowUs, true);
        if (nRead == -1) {
            ReadTable();
        } else if (nRead == -2) {
            m_platform.Close(m_hWatch);
            m_hWatch = -1;
        }
    }
    for (size_t i = nFixed; i < fds.size(); ++i) {
        if (!fds[i].revents)
            continue;
        CUnit& unit = m_units[owners[i - nFixed]];
        if (unit.bDecided)
            continue;
        const int nError = m_platform.PendingError(fds[i].fd);
        if (nError == 0 || nError == ECONNREFUSED) {
            MarkUp(unit, EProbeHow::Tcp, nNowUs, Rtt(unit, nNowUs));
            continue;
        }
        unit.tcp.erase(std::find(unit.tcp.begin(), unit.tcp.end(), fds[i].fd));
        m_platform.Close(fds[i].fd);
        --m_nTcpOpen;
    }
}

void CRun::ReadEcho(int hSocket, int64_t nNowUs)
{
    const bool bRaw = m_echo.kind == EProbeSocket::EchoRaw;
    uint8_t buffer[1500];
    for (;;) {
        uint32_t dwFrom = 0;
        const long nGot = m_platform.Receive(hSocket, buffer, sizeof buffer, dwFrom);
        if (nGot < 0)
            return;
        const auto range = m_byAddr.equal_range(dwFrom);
        for (auto it = range.first; it != range.second; ++it) {
            CUnit& unit = m_units[it->second];
            if (unit.bAdmitted && !unit.bDecided && unit.bEcho &&
                IsEchoReplyFor(buffer, static_cast<size_t>(nGot), bRaw, bRaw, m_nIdentifier,
                               unit.nSeq))
                MarkUp(unit, EProbeHow::Echo, nNowUs, Rtt(unit, nNowUs));
        }
    }
}

void CRun::SeeRow(const CNeighbourRow& row, int64_t nNowUs, bool bNotified)
{
    const auto range = m_byAddr.equal_range(row.dwAddr);
    for (auto it = range.first; it != range.second; ++it) {
        CUnit& unit = m_units[it->second];
        if (!unit.bOnLink || (unit.nLinkIndex != 0 && row.dwIndex != unit.nLinkIndex))
            continue;
        unit.bHasEntry = true;
        unit.wEntryState = row.wState;
        std::string strMac;
        if (row.dwPhysAddrLen > 0 && !(row.wState & (NUD_FAILED | NUD_INCOMPLETE)) &&
            ScanNeighbourTable({row}, row.dwAddr, strMac))
            unit.result.strMac = strMac;
        if (!unit.bDecided && IsNeighbourUp(row) && (unit.bAdmitted || !bNotified)) {
            if (!unit.bAdmitted) {
                // Reachable already: it answered a moment ago. It is asked
                // all the same, as every host is.
                unit.result.bKnownBefore = true;
                unit.bAdmitted = true;
                Send(unit, nNowUs);
            }
            if (!unit.bEcho)
                MarkUp(unit, EProbeHow::Neighbour, nNowUs, bNotified ? Rtt(unit, nNowUs) : -1);
            else if (unit.nNeighbourUpUs < 0)
                unit.nNeighbourUpUs = nNowUs,
                unit.dNeighbourRttMs = bNotified ? Rtt(unit, nNowUs) : -1;
        }
    }
}

void CRun::MarkUp(CUnit& unit, EProbeHow how, int64_t nNowUs, double dRttMs)
{
    unit.result.how = how;
    unit.result.dRttMs = dRttMs;
    unit.result.nUpAtMs = (nNowUs - m_nStartUs) / 1000;
    Decide(unit, EProbeState::Up);
    if (m_options.onUp)
        for (const size_t i : unit.targets)
            m_options.onUp(i, (*m_pResults)[i]);
}

void CRun::Decide(CUnit& unit, EProbeState state)
{
    if (unit.bDecided)
        return;
    unit.bDecided = true;
    --m_nUndecided;
    CloseTcp(unit);
    unit.result.state = state;
    for (const size_t i : unit.targets)
        (*m_pResults)[i] = unit.result;
}

void CRun::CloseTcp(CUnit& unit)
{
    for (const int hSocket : unit.tcp)
        m_platform.Close(hSocket);
    m_nTcpOpen -= unit.tcp.size();
    unit.tcp.clear();
}

}  // namespace

const char* ProbeStateName(EProbeState state)
{
    switch (state) {
    case EProbeState::Up: return "up";
    case EProbeState::Down: return "down";
    case EProbeState::Unknown: break;
    }
    return "unknown";
}

const char* ProbeHowName(EProbeHow how)
{
    switch (how) {
    case EProbeHow::Echo: return "echo";
    case EProbeHow::Neighbour: return "neighbour";
    case EProbeHow::Tcp: return "tcp";
    case EProbeHow::None: break;
    }
    return "";
}

bool IsNeighbourUp(const CNeighbourRow& row)
{
    return (row.wState & NUD_REACHABLE) && row.dwPhysAddrLen > 0;
}

size_t NeighbourBudget(const std::vector<CNeighbourRow>& rows, unsigned nLimit)
{
    // Failed entries are the first the kernel collects when it needs room.
    const size_t nHeld =
        static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [](const CNeighbourRow& row) {
            return !(row.wState & NUD_FAILED);
        }));
    return nLimit > nHeld + kTableMargin ? nLimit - nHeld - kTableMargin : 0;
}

std::vector<CProbeResult> CProbeEngine::Probe(const std::vector<CProbeTarget>& targets,
                                              const CProbeOptions& options)
{
    m_ways = {};
    CRun run(m_platform, m_routes, m_neighbours, m_ways, options);
    return run.Run(targets);
}
