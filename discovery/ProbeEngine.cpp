#include "discovery/ProbeEngine.h"

// The life of one address asked about (a unit; targets of the same address,
// interface and expected hardware address share one):
//
//   Planned ─── no address, no route, no way to ask it ─────────────▶ Unknown
//      │ its turn (the pace), and room in the neighbour table
//      ▼
//   Asked ──── echo reply, entry confirmed after the probe, TCP answer ──▶ Up
//      │ its window over (a second; the kernel's check of a stale entry
//      │ takes longer), nothing answered:
//      ├── a host behind a gateway that echo did not reach: Asked by TCP
//      ├── more time (--wait): Resting, asked again a second after its
//      │   last probe ──▶ Asked
//      └── otherwise ──▶ Down (Unknown when nothing could have answered)
//
// Up, Down and Unknown are final. Every change of state goes through Enter.
// Each unit has at most one timer pending (its generation tells a stale one
// from it), and timers wait in a queue ordered by their time, so that a
// wake-up of the loop costs the timers due, not a walk of every unit.

#include <arpa/inet.h>
#include <linux/neighbour.h>

#include <algorithm>
#include <cerrno>

#include "base/Error.h"
#include "base/MacText.h"
#include "discovery/EchoMessage.h"
#include "discovery/ProbeRun.h"

namespace probe {

std::vector<CProbeResult> CRun::Run(const std::vector<CProbeTarget>& targets)
{
    std::vector<CProbeResult> results(targets.size());
    m_pResults = &results;
    m_nStartUs = m_nNextRoundUs = m_nNextTickUs = m_nNextSlotUs = m_platform.NowUs();
    for (size_t i = 0; i < targets.size(); ++i)
        if (targets[i].dwAddr == 0)
            results[i].strReason = "no address stored";
    Group(targets);
    ChooseWays();
    const int64_t nEndUs = m_nStartUs + m_options.nUntilMs * int64_t{1000};
    while (m_nLive > 0 && !Stopped()) {
        const int64_t nNowUs = m_platform.NowUs();
        if (m_options.nUntilMs > 0 && nNowUs >= nEndUs)
            break;
        FireTimers(nNowUs);
        if (nNowUs >= m_nNextRoundUs || m_bReadNow)
            Round(nNowUs);
        else if (m_options.nPerSecond && !m_planned.empty() && nNowUs >= m_nNextSlotUs)
            Admit(nNowUs);
        Tick(nNowUs);
        if (m_nLive == 0)
            break;
        int64_t nWakeUs = std::min(m_nNextRoundUs, m_nNextTickUs);
        if (!m_timers.empty())
            nWakeUs = std::min(nWakeUs, m_timers.top().nAtUs);
        if (m_options.nPerSecond && !m_planned.empty())
            nWakeUs = std::min(nWakeUs, m_nNextSlotUs);
        if (m_options.nUntilMs > 0)
            nWakeUs = std::min(nWakeUs, nEndUs);
        m_sockets.Wait(nWakeUs, *this);
    }
    // What is left: asked until the end (--wait), or stopped.
    for (CUnit& unit : m_units)
        if (!IsFinal(unit.state))
            Decide(unit, Stopped() ? EUnit::Unknown : EUnit::Down, Stopped() ? "interrupted" : "");
    return results;
}

void CRun::Group(const std::vector<CProbeTarget>& targets)
{
    std::map<std::tuple<uint32_t, unsigned, std::string>, size_t> units;
    for (size_t i = 0; i < targets.size(); ++i) {
        const CProbeTarget& target = targets[i];
        if (target.dwAddr == 0)
            continue;
        std::string strMac;
        ParseAnyMac(target.strMac, strMac);
        const auto key = std::tuple(target.dwAddr, target.nIfIndex, strMac);
        const auto [it, bNew] = units.emplace(key, m_units.size());
        if (bNew) {
            m_units.emplace_back();
            m_units.back().dwAddr = target.dwAddr;
            m_units.back().nIfIndex = target.nIfIndex;
            m_units.back().strMac = strMac;
        }
        m_units[it->second].targets.push_back(i);
    }
    m_nLive = m_units.size();
    for (size_t u = 0; u < m_units.size(); ++u)
        m_byAddr.emplace(m_units[u].dwAddr, u);
}

// The ladder: an echo where the system allows one, else what the host's
// place in the network allows.
void CRun::ChooseWays()
{
    std::string strNoEcho, strNoDiscard;
    const bool bEcho = !m_units.empty() && !m_options.bOnLinkOnly && m_sockets.OpenEcho(strNoEcho);
    size_t nOnLink = 0;
    for (CUnit& unit : m_units) {
        Classify(unit);
        nOnLink += unit.bOnLink && !IsFinal(unit.state);
    }
    const bool bDiscard =
        !bEcho && (nOnLink > 0 || m_options.bUntilSettled) && m_sockets.OpenDiscard(strNoDiscard);
    if (nOnLink > 0)
        m_sockets.OpenWatch();
    m_neighbours.GetLoad(m_load);
    m_nTableLimit = NeighbourLimit(m_load, nOnLink);
    const bool bTcp = !m_options.bOnLinkOnly && !m_options.bUntilSettled;
    m_strNoWay = "no way to probe it: " + strNoEcho;
    for (CUnit& unit : m_units) {
        if (IsFinal(unit.state))
            continue;
        unit.bEcho = bEcho;
        unit.bDiscard = !bEcho && bDiscard && (unit.bOnLink || m_options.bUntilSettled);
        unit.bTcp = bTcp && !unit.bOnLink;
        unit.result.how = bEcho ? EProbeHow::Echo
            : unit.bOnLink      ? EProbeHow::Neighbour
            : unit.bTcp         ? EProbeHow::Tcp
                                : EProbeHow::None;
        if (!unit.bEcho && !unit.bDiscard && !unit.bTcp)
            Decide(unit, EUnit::Unknown,
                   m_strNoWay + (strNoDiscard.empty() ? "" : " and " + strNoDiscard));
        else
            m_planned.push_back(IndexOf(unit));
    }
}

void CRun::Classify(CUnit& unit)
{
    const uint8_t nFirst = static_cast<uint8_t>(ntohl(unit.dwAddr) >> 24);
    if (unit.dwAddr == INADDR_BROADCAST || nFirst >= 224 || nFirst == 0)
        return Decide(unit, EUnit::Unknown, "not the address of one host");
    if (unit.nIfIndex != 0) {
        unit.bOnLink = true;
        unit.nLinkIndex = unit.nIfIndex;
    } else {
        CRouteInfo route;
        if (m_routes.LookUpRoute(unit.dwAddr, route) != 0 ||
            (route.nType != RTN_UNICAST && route.nType != RTN_LOCAL &&
             route.nType != RTN_BROADCAST))
            return Decide(unit, EUnit::Unknown, "no route to it");
        if (route.nType == RTN_BROADCAST)
            return Decide(unit, EUnit::Unknown, "not the address of one host");
        unit.bOnLink = route.OnLink();
        unit.nLinkIndex = route.dwOutIndex;
    }
    if (m_options.bOnLinkOnly && !unit.bOnLink)
        Decide(unit, EUnit::Unknown, "not on an attached link");
}

// Once a second: the neighbour table read again (what the notifications
// missed, and the room), and the next hosts admitted.
void CRun::Round(int64_t nNowUs)
{
    m_bReadNow = false;
    m_nNextRoundUs = nNowUs + kRoundUs;
    if (m_nOnLinkAsked > 0 || std::any_of(m_planned.begin(), m_planned.end(), [this](size_t u) {
            return m_units[u].bOnLink;
        }))
        ReadTable(nNowUs);
    Admit(nNowUs);
}

void CRun::ReadTable(int64_t nNowUs)
{
    std::vector<CNeighbourRow> rows;
    if (m_neighbours.GetTable(rows) == 0) {
        m_nOwnFailed = 0;
        for (const CNeighbourRow& row : rows) {
            m_nOwnFailed += (row.wState & NUD_FAILED) != 0;
            SeeRow(row, nNowUs, false);
        }
    }
    if (m_neighbours.GetLoad(m_load) == 0)
        m_nNewSinceRead = 0;
}

size_t CRun::Room() const
{
    // Failed entries of its own are the first the kernel collects when it
    // needs room; a run that fits below gc_thresh2 never gets that far.
    const size_t nHeld =
        m_load.nEntries - std::min<size_t>(m_load.nEntries, m_nOwnFailed) + m_nNewSinceRead;
    return m_nTableLimit > nHeld ? m_nTableLimit - nHeld : 0;
}

void CRun::Admit(int64_t nNowUs)
{
    const int64_t nSlotUs = m_options.nPerSecond ? 1000000 / m_options.nPerSecond : 0;
    while (!m_planned.empty()) {
        if (nSlotUs && nNowUs < m_nNextSlotUs)
            break;  // its turn comes within the round
        CUnit& unit = m_units[m_planned.front()];
        if (unit.state != EUnit::Planned) {  // asked already, its entry being known
            m_planned.pop_front();
            continue;
        }
        if (unit.bOnLink && !unit.bHasEntry) {
            // A new entry in the machine's table: only while it has room, but
            // one probe is always in flight, however full the table is.
            if (Room() == 0 && m_nOnLinkAsked > 0) {
                if (!m_bNoteTold && m_options.onNote)
                    m_options.onNote("the kernel's neighbour table is nearly full (" +
                                     std::to_string(m_load.nEntries) + " of " +
                                     std::to_string(m_load.nThresh3) +
                                     " entries, every network namespace together): asking few "
                                     "hosts at a time; the sysctl "
                                     "net.ipv4.neigh.default.gc_thresh3 raises the limit");
                m_bNoteTold = true;
                break;
            }
            ++m_nNewSinceRead;
        }
        m_planned.pop_front();
        if (nSlotUs)  // a late wake-up is caught up, a pause is not (no burst)
            m_nNextSlotUs =
                (nNowUs - m_nNextSlotUs <= kPaceSlackUs ? m_nNextSlotUs : nNowUs) + nSlotUs;
        Ask(unit, nNowUs);
    }
    if (m_planned.empty() && !m_bFirstProbesTold) {
        m_bFirstProbesTold = true;
        if (m_options.onFirstProbes)
            m_options.onFirstProbes();
    }
}

void CRun::Ask(CUnit& unit, int64_t nNowUs)
{
    unit.nSentUs = nNowUs;
    unit.bTcpStage = false;
    unit.bReachableBefore = unit.bHasEntry && (unit.wEntryState & NUD_REACHABLE);
    ++unit.result.nProbe;
    if (unit.bEcho) {
        unit.echoes.emplace_back(++m_nSeq, nNowUs);
        m_sockets.SendEcho(unit.dwAddr, unit.nIfIndex, BuildEchoRequest(m_nIdentifier, m_nSeq));
    } else if (unit.bDiscard) {
        m_sockets.SendDiscard(unit.dwAddr, unit.nIfIndex);
    }
    Enter(unit, EUnit::Asked);
    if (unit.bTcp && !unit.bEcho)
        return StartTcp(unit, nNowUs);  // its window starts with its attempts
    // An entry gone stale is checked again by the kernel, which takes longer.
    const bool bRecheck = unit.bOnLink && (unit.wEntryState & (NUD_STALE | NUD_DELAY | NUD_PROBE));
    Schedule(unit,
             nNowUs +
                 std::max<int64_t>(m_options.nAnswerMs * int64_t{1000},
                                   bRecheck && !m_options.bUntilSettled ? kRecheckUs : 0));
    // A datagram that no reply can answer and no entry can settle: nothing
    // is left to wait for.
    if (m_options.bUntilSettled && !unit.bEcho && !unit.bOnLink)
        Decide(unit, EUnit::Down);
}

void CRun::StartTcp(CUnit& unit, int64_t nNowUs)
{
    if (m_sockets.TcpOpen() + std::size(kProbeTcpPorts) > kMaxTcpOpen) {
        m_tcpWaiting.push_back(IndexOf(unit));  // its turn comes when others end
        return;
    }
    unit.bTcpStage = true;
    unit.nSentUs = nNowUs;
    unit.result.how = EProbeHow::Tcp;
    bool bAnswered = false;
    if (const int nError = m_sockets.StartTcp(IndexOf(unit), unit.dwAddr, bAnswered))
        return Decide(unit, EUnit::Unknown,
                      m_strNoWay + " and no TCP socket (" + ErrorText(nError) + ")");
    if (bAnswered)
        MarkUp(unit, EProbeHow::Tcp, nNowUs, 0, unit.result.nProbe);
    else
        Schedule(unit, nNowUs + m_options.nAnswerMs * int64_t{1000});
}

void CRun::Schedule(CUnit& unit, int64_t nAtUs)
{
    m_timers.push({nAtUs, IndexOf(unit), ++unit.nGeneration});
}

void CRun::FireTimers(int64_t nNowUs)
{
    while (!m_timers.empty() && m_timers.top().nAtUs <= nNowUs) {
        const CTimer timer = m_timers.top();
        m_timers.pop();
        CUnit& unit = m_units[timer.nUnit];
        if (timer.nGeneration != unit.nGeneration || IsFinal(unit.state))
            continue;  // a timer the unit has left behind
        if (unit.state == EUnit::Resting)
            Ask(unit, nNowUs);
        else if (unit.nEvidenceUs >= 0)
            MarkUp(unit, EProbeHow::Neighbour, unit.nEvidenceUs, unit.dEvidenceRttMs,
                   unit.result.nProbe);  // its echo reply did not follow
        else
            WindowOver(unit, nNowUs);
    }
    // Connection attempts that ended make room for those waiting.
    while (!m_tcpWaiting.empty() &&
           m_sockets.TcpOpen() + std::size(kProbeTcpPorts) <= kMaxTcpOpen) {
        CUnit& unit = m_units[m_tcpWaiting.front()];
        m_tcpWaiting.pop_front();
        if (unit.state == EUnit::Asked)
            StartTcp(unit, nNowUs);
    }
}

// Nothing answered in the probe's window.
void CRun::WindowOver(CUnit& unit, int64_t nNowUs)
{
    m_sockets.StopTcp(IndexOf(unit));
    // A host behind a gateway that echo did not reach: TCP, where allowed.
    if (unit.bTcp && unit.bEcho && !unit.bTcpStage)
        return StartTcp(unit, nNowUs);
    if (m_options.nUntilMs > 0) {
        Enter(unit, EUnit::Resting);
        return Schedule(unit, std::max(nNowUs, unit.nSentUs + kRoundUs));
    }
    // Without an echo, an entry confirmed before the probe is not asked
    // again until it goes stale: nothing could have answered.
    if (unit.bReachableBefore && !unit.bEcho && !m_options.bOnLinkOnly)
        return Decide(unit, EUnit::Unknown,
                      "its neighbour entry was confirmed before this probe, and without an ICMP "
                      "socket nothing asks the host again until the entry goes stale (" +
                          m_strNoWay.substr(m_strNoWay.find(':') + 2) + ")");
    Decide(unit, EUnit::Down);
}

void CRun::Enter(CUnit& unit, EUnit state)
{
    const bool bWasAsked = unit.state == EUnit::Asked && unit.bOnLink;
    const bool bIsAsked = state == EUnit::Asked && unit.bOnLink;
    m_nOnLinkAsked = m_nOnLinkAsked + bIsAsked - bWasAsked;
    if (IsFinal(state) && !IsFinal(unit.state)) {
        --m_nLive;
        m_nUp += state == EUnit::Up;
        m_sockets.StopTcp(IndexOf(unit));
    }
    if (state == EUnit::Resting)
        unit.nEvidenceUs = -1;
    unit.state = state;
}

void CRun::Decide(CUnit& unit, EUnit state, std::string strReason)
{
    if (IsFinal(unit.state))
        return;
    Enter(unit, state);
    unit.result.state = state == EUnit::Up ? EProbeState::Up
        : state == EUnit::Down             ? EProbeState::Down
                                           : EProbeState::Unknown;
    if (state == EUnit::Unknown)
        unit.result.how = EProbeHow::None;
    if (!strReason.empty())
        unit.result.strReason = std::move(strReason);
    else if (state == EUnit::Down && unit.result.bOtherMac)
        unit.result.strReason = "its address is held by " + unit.result.strMac;
    for (const size_t i : unit.targets)
        (*m_pResults)[i] = unit.result;
    if (m_options.onDecided)
        for (const size_t i : unit.targets)
            m_options.onDecided(i, unit.result);
}

void CRun::Tick(int64_t nNowUs)
{
    if (nNowUs < m_nNextTickUs)
        return;
    m_nNextTickUs = nNowUs + kRoundUs;
    if (m_options.onTick && nNowUs > m_nStartUs)
        m_options.onTick(
            {m_units.size() - m_nLive, m_units.size(), m_nUp, (nNowUs - m_nStartUs) / 1000});
}

}  // namespace probe

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

unsigned NeighbourLimit(const CNeighbourLoad& load, size_t nOnLink)
{
    const unsigned nMargin = std::max(16u, load.nThresh2 / 32);
    const bool bFits = uint64_t{load.nEntries} + nOnLink + nMargin <= load.nThresh2;
    const unsigned nLimit = bFits ? load.nThresh2 : load.nThresh3;
    return nLimit > nMargin ? nLimit - nMargin : 1;
}

std::vector<CProbeResult> CProbeEngine::Probe(const std::vector<CProbeTarget>& targets,
                                              const CProbeOptions& options)
{
    probe::CRun run(m_platform, m_routes, m_neighbours, options);
    return run.Run(targets);
}
