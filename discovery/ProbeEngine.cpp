#include "discovery/ProbeEngine.h"

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "base/Error.h"
#include "discovery/EchoMessage.h"

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

class CRun {
public:
    CRun(IProbePlatform& platform, IRouteTable& routes, INeighbourTable& neighbours,
         const CProbeOptions& options)
        : m_platform(platform)
        , m_routes(routes)
        , m_neighbours(neighbours)
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
    int64_t WakeAt(int64_t nNowUs, int64_t nNextRoundUs) const;
    void Group(const std::vector<CProbeTarget>& targets, std::vector<CProbeResult>& results);
    void ChooseWays();
    int OpenEcho();
    void Classify(CUnit& unit);
    void Tick(int64_t nNowUs, bool bRoundDue, bool bPaceDue);
    void ReadTable();
    void Admit(int64_t nNowUs);
    void Send(CUnit& unit, int64_t nNowUs);
    void SendOn(CPool& pool, const std::vector<uint8_t>& data, uint16_t nPort, const CUnit& unit);
    void StartTcp(CUnit& unit, int64_t nNowUs);
    void Wait(int64_t nUntilUs);
    void ReadEcho(int hSocket, int64_t nNowUs);
    void ReadWatch(int64_t nNowUs);
    void SeeRow(const CNeighbourRow& row, int64_t nNowUs, bool bNotified);
    void MarkUp(CUnit& unit, EProbeHow how, int64_t nNowUs, double dRttMs);
    double Rtt(const CUnit& unit, int64_t nNowUs) const
    {
        return unit.nSentUs >= 0 ? static_cast<double>(nNowUs - unit.nSentUs) / 1000.0 : -1;
    }
    void Decide(CUnit& unit, EProbeState state);
    void Unknown(CUnit& unit, std::string strReason);
    void CloseTcp(CUnit& unit);
    bool Stopped() const { return m_options.pStop && *m_options.pStop; }

    IProbePlatform& m_platform;
    IRouteTable& m_routes;
    INeighbourTable& m_neighbours;
    const CProbeOptions& m_options;
    std::vector<CUnit> m_units;
    std::multimap<uint32_t, size_t> m_byAddr;  // address -> unit
    CPool m_echo{EProbeSocket::EchoDgram, {}};
    CPool m_udp{EProbeSocket::Udp, {}};
    std::string m_strNoEcho;  // why no echo socket could be had
    int m_hWatch = -1;
    size_t m_nTcpOpen = 0;
    size_t m_nUndecided = 0;
    unsigned m_nTableLimit = 0;         // the most entries the neighbour table may hold
    std::vector<CNeighbourRow> m_rows;  // the table as last read
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
    Group(targets, results);
    ChooseWays();
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
        const int64_t nWakeUs = WakeAt(nNowUs, nNextRoundUs);
        Wait(m_options.nUntilMs > 0 ? std::min(nWakeUs, nEndUs) : nWakeUs);
    }
    for (CUnit& unit : m_units)
        if (!unit.bDecided)
            Decide(unit, EProbeState::Down);
    return results;
}

// The next round, or the first probe's wait that ends before it.
int64_t CRun::WakeAt(int64_t nNowUs, int64_t nNextRoundUs) const
{
    int64_t nWakeUs = m_bPaceHeld ? std::min(nNextRoundUs, m_nNextAdmitUs) : nNextRoundUs;
    for (const CUnit& unit : m_units) {
        // A wait that is over already (asked again only in the next round) wakes nothing.
        const int64_t nAnswerOverUs = unit.nSentUs + m_options.nAnswerMs * int64_t{1000};
        if (!unit.bDecided && unit.bAdmitted && nAnswerOverUs > nNowUs)
            nWakeUs = std::min(nWakeUs, nAnswerOverUs);
        if (!unit.bDecided && unit.nNeighbourUpUs >= 0)
            nWakeUs = std::min(nWakeUs, unit.nNeighbourUpUs + kEchoGraceUs);
    }
    return nWakeUs;
}

void CRun::Group(const std::vector<CProbeTarget>& targets, std::vector<CProbeResult>& results)
{
    std::map<std::pair<uint32_t, unsigned>, size_t> units;  // (address, interface) -> unit
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
        const auto [it, bNew] =
            units.emplace(std::pair(target.dwAddr, target.nIfIndex), m_units.size());
        if (bNew) {
            m_units.push_back({});
            m_units.back().dwAddr = target.dwAddr;
            m_units.back().nIfIndex = target.nIfIndex;
        }
        m_units[it->second].targets.push_back(i);
    }
}

// The first echo socket the system allows; its errno when none.
int CRun::OpenEcho()
{
    std::string strWhy;
    for (const EProbeSocket kind : {EProbeSocket::EchoDgram, EProbeSocket::EchoRaw}) {
        int hSocket = -1;
        const int nError = m_platform.Open(kind, hSocket);
        if (nError == 0) {
            m_echo = {kind, {hSocket}};
            return 0;
        }
        strWhy += (strWhy.empty() ? "" : "; ") + Refusal(kind, nError);
    }
    m_strNoEcho = "no ICMP socket (" + strWhy + ")";
    return EPERM;
}

// The ladder: an echo where the system allows one, else what the host's
// place in the network allows.
void CRun::ChooseWays()
{
    if (!m_units.empty() && !m_options.bOnLinkOnly)
        OpenEcho();
    bool bAnyOnLink = false;
    for (size_t u = 0; u < m_units.size(); ++u) {
        Classify(m_units[u]);
        bAnyOnLink = bAnyOnLink || (m_units[u].bOnLink && !m_units[u].bDecided);
        m_byAddr.emplace(m_units[u].dwAddr, u);
    }
    if (bAnyOnLink && m_platform.OpenNeighbourWatch(m_hWatch) != 0)
        m_hWatch = -1;
    std::string strNoUdp;
    const bool bUdpWanted = m_echo.sockets.empty() && (bAnyOnLink || m_options.bUntilSettled);
    if (int hSocket = -1; bUdpWanted) {
        if (const int nError = m_platform.Open(EProbeSocket::Udp, hSocket))
            strNoUdp = "no UDP socket (" + ErrorText(nError) + ")";
        else
            m_udp.sockets.push_back(hSocket);
    }
    CNeighbourLoad load;
    m_neighbours.GetLoad(load);
    m_nTableLimit = m_options.nNeighbourLimit ? m_options.nNeighbourLimit : load.nThresh3;
    for (CUnit& unit : m_units) {
        if (unit.bDecided)
            continue;
        unit.bEcho = !m_echo.sockets.empty();
        unit.bUdp =
            !unit.bEcho && !m_udp.sockets.empty() && (unit.bOnLink || m_options.bUntilSettled);
        unit.bTcp = !unit.bOnLink && !unit.bEcho && !m_options.bUntilSettled;
        unit.result.how = unit.bEcho ? EProbeHow::Echo
            : unit.bOnLink           ? EProbeHow::Neighbour
            : unit.bTcp              ? EProbeHow::Tcp
                                     : EProbeHow::None;
        if (!unit.bEcho && !unit.bUdp && !unit.bTcp)
            Unknown(unit,
                    "no way to probe it: " + m_strNoEcho +
                        (strNoUdp.empty() ? "" : " and " + strNoUdp));
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
        if (m_routes.LookUpRoute(unit.dwAddr, route) != 0 ||
            (route.nType != RTN_UNICAST && route.nType != RTN_LOCAL &&
             route.nType != RTN_BROADCAST))
            return Unknown(unit, "no route to it");
        if (route.nType == RTN_BROADCAST)
            return Unknown(unit, "not the address of one host");
        unit.bOnLink = route.OnLink();
        unit.nLinkIndex = route.dwOutIndex;
    }
    if (m_options.bOnLinkOnly && !unit.bOnLink)
        Unknown(unit, "not on an attached link");
}

void CRun::Tick(int64_t nNowUs, bool bRoundDue, bool bPaceDue)
{
    bool bExpired = false;
    bool bOnLinkWaiting = false;
    const int64_t nAnswerUs = m_options.nAnswerMs * int64_t{1000};
    for (const CUnit& unit : m_units) {
        if (unit.bDecided)
            continue;
        bOnLinkWaiting = bOnLinkWaiting || unit.bOnLink;
        bExpired = bExpired || (unit.bAdmitted && nNowUs >= unit.nSentUs + nAnswerUs);
    }
    // One read of the table per round: what the notifications missed, and
    // room for the next batch.
    if (bOnLinkWaiting && (bExpired || bRoundDue))
        ReadTable();
    for (CUnit& unit : m_units) {
        const bool bOver = nNowUs >= unit.nSentUs + nAnswerUs;
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

void CRun::ReadTable()
{
    std::vector<CNeighbourRow> rows;
    if (m_neighbours.GetTable(rows) != 0)
        return;
    m_rows = std::move(rows);
    m_nAdmittedSinceRead = 0;
    const int64_t nNowUs = m_platform.NowUs();
    for (const CNeighbourRow& row : m_rows)
        SeeRow(row, nNowUs, false);
}

void CRun::Admit(int64_t nNowUs)
{
    size_t nRoom = NeighbourBudget(m_rows, m_nTableLimit);
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
        if (unit.bUdp && !m_options.bUntilSettled &&
            (unit.wEntryState & (NUD_STALE | NUD_DELAY | NUD_PROBE)) &&
            m_nTcpOpen + nPorts <= nSocketBudget)
            unit.bTcp = true;
        if (nSlotUs)  // no burst to catch up after a pause
            m_nNextAdmitUs = std::max(m_nNextAdmitUs, nNowUs) + nSlotUs;
        unit.bAdmitted = true;
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
    // A datagram that no reply can answer and no entry can settle: nothing
    // is left to wait for.
    if (m_options.bUntilSettled && !unit.bEcho && !unit.bOnLink)
        Decide(unit, EProbeState::Down);
}

void CRun::SendOn(CPool& pool, const std::vector<uint8_t>& data, uint16_t nPort, const CUnit& unit)
{
    int nError = m_platform.SendTo(pool.sockets.back(), data, unit.dwAddr, nPort, unit.nIfIndex);
    if (Retryable(nError) && pool.sockets.size() < kMaxPoolSockets) {
        int hSocket = -1;
        if (m_platform.Open(pool.kind, hSocket) == 0) {
            pool.sockets.push_back(hSocket);
            m_platform.SendTo(hSocket, data, unit.dwAddr, nPort, unit.nIfIndex);
        }
    }
}

void CRun::StartTcp(CUnit& unit, int64_t nNowUs)
{
    CloseTcp(unit);
    for (const uint16_t nPort : kProbeTcpPorts) {
        int hSocket = -1;
        if (const int nError = m_platform.Open(EProbeSocket::Tcp, hSocket)) {
            if (unit.tcp.empty() && !unit.bOnLink)
                Unknown(unit,
                        "no way to probe it: " + m_strNoEcho + " and no TCP socket (" +
                            ErrorText(nError) + ")");
            return;
        }
        const int nResult = m_platform.Connect(hSocket, unit.dwAddr, nPort);
        if (nResult == EINPROGRESS) {
            unit.tcp.push_back(hSocket);
            ++m_nTcpOpen;
            continue;
        }
        m_platform.Close(hSocket);
        if (nResult == 0 || nResult == ECONNREFUSED)
            return MarkUp(unit, EProbeHow::Tcp, nNowUs, Rtt(unit, nNowUs));
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
    if (m_platform.Poll(fds, nTimeoutMs) != 0)
        return;  // a signal came
    const int64_t nNowUs = m_platform.NowUs();
    for (size_t i = 0; i < nEchoFds; ++i)
        if (fds[i].revents)
            ReadEcho(fds[i].fd, nNowUs);
    if (m_hWatch >= 0 && fds[nEchoFds].revents)
        ReadWatch(nNowUs);
    for (size_t i = nFixed; i < fds.size(); ++i) {
        CUnit& unit = m_units[owners[i - nFixed]];
        if (!fds[i].revents || unit.bDecided)
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
    size_t nGot = 0;
    uint32_t dwFrom = 0;
    while (m_platform.Receive(hSocket, buffer, sizeof buffer, nGot, dwFrom) == 0) {
        const auto range = m_byAddr.equal_range(dwFrom);
        for (auto it = range.first; it != range.second; ++it) {
            CUnit& unit = m_units[it->second];
            if (unit.bAdmitted && !unit.bDecided && unit.bEcho &&
                IsEchoReplyFor(buffer, nGot, bRaw, m_nIdentifier, unit.nSeq))
                MarkUp(unit, EProbeHow::Echo, nNowUs, Rtt(unit, nNowUs));
        }
    }
}

void CRun::ReadWatch(int64_t nNowUs)
{
    std::vector<CNeighbourRow> rows;
    const int nError = m_platform.ReadNeighbourWatch(m_hWatch, rows);
    for (const CNeighbourRow& row : rows)
        SeeRow(row, nNowUs, true);
    if (nError == ENOBUFS) {
        ReadTable();  // some notifications were lost
    } else if (nError != 0) {
        m_platform.Close(m_hWatch);
        m_hWatch = -1;
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
        if (row.dwPhysAddrLen > 0 && !(row.wState & (NUD_FAILED | NUD_INCOMPLETE)))
            unit.result.strMac = NeighbourMacText(row);
        if (unit.bDecided)
            continue;
        const bool bUp = IsNeighbourUp(row);
        if (m_options.bUntilSettled && IsNeighbourSettled(row) && (unit.bAdmitted || !bNotified)) {
            if (!unit.bAdmitted)  // known already: asked all the same, as the host is
                unit.bAdmitted = true, Send(unit, nNowUs);
            unit.result.how = EProbeHow::Neighbour;
            Decide(unit, unit.result.strMac.empty() ? EProbeState::Down : EProbeState::Up);
        } else if (bUp && (unit.bAdmitted || !bNotified)) {
            if (!unit.bAdmitted) {
                // Reachable already: it answered a moment ago. It is asked
                // all the same, as every host is.
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

void CRun::Unknown(CUnit& unit, std::string strReason)
{
    unit.result.strReason = std::move(strReason);
    unit.result.how = EProbeHow::None;
    Decide(unit, EProbeState::Unknown);
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
    CRun run(m_platform, m_routes, m_neighbours, options);
    return run.Run(targets);
}
