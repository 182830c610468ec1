#pragma once
// The run of one probe, shared by the files of the engine (not for other
// callers): its units, their timers and the run itself.
#include <deque>
#include <map>
#include <queue>
#include <string>
#include <vector>

#include "discovery/ProbeEngine.h"
#include "discovery/ProbeSockets.h"

namespace probe {

constexpr int64_t kRoundUs = 1000000;  // one probe per address per second at most
// How late the pace may fall behind and still catch up.
constexpr int64_t kPaceSlackUs = 10000;
// A host's neighbour entry usually turns reachable just before its echo
// reply comes; the reply, with its round-trip time, is waited for this long.
constexpr int64_t kEchoGraceUs = 100000;
// How long the kernel takes to check an entry gone stale: it waits 5 s for
// traffic to confirm it, then asks the host three times, a second apart.
constexpr int64_t kRecheckUs = 9000000;

enum class EUnit { Planned, Asked, Resting, Up, Down, Unknown };

struct CUnit {
    uint32_t dwAddr = 0;
    unsigned nIfIndex = 0;    // as the targets gave it
    unsigned nLinkIndex = 0;  // the interface its neighbour entry is on; 0: any
    std::string strMac;       // the hardware address it should answer with; empty: any
    std::vector<size_t> targets;
    EUnit state = EUnit::Planned;
    bool bOnLink = false, bEcho = false, bDiscard = false, bTcp = false;
    bool bTcpStage = false;                            // asked by TCP now
    bool bHasEntry = false;                            // it has a neighbour entry
    uint16_t wEntryState = 0;                          // as last seen
    bool bReachableBefore = false;                     // its entry was reachable when it was asked
    int64_t nSentUs = -1;                              // its last probe
    std::vector<std::pair<uint16_t, int64_t>> echoes;  // sequence number, when sent
    int64_t nEvidenceUs = -1;  // its entry confirmed; the echo reply may follow
    double dEvidenceRttMs = -1;
    uint32_t nGeneration = 0;
    CProbeResult result;
};

struct CTimer {
    int64_t nAtUs;
    size_t nUnit;
    uint32_t nGeneration;
    bool operator>(const CTimer& other) const { return nAtUs > other.nAtUs; }
};

inline bool IsFinal(EUnit state)
{
    return state == EUnit::Up || state == EUnit::Down || state == EUnit::Unknown;
}

class CRun : public IProbeEvents {
public:
    CRun(IProbePlatform& platform, IRouteTable& routes, INeighbourTable& neighbours,
         const CProbeOptions& options)
        : m_platform(platform)
        , m_routes(routes)
        , m_neighbours(neighbours)
        , m_options(options)
        , m_sockets(platform)
    { }

    std::vector<CProbeResult> Run(const std::vector<CProbeTarget>& targets);

    void OnEchoReply(uint32_t dwFrom, const uint8_t* pData, size_t nLength,
                     int64_t nNowUs) override;
    void OnNeighbourNotice(const CNeighbourRow& row, int64_t nNowUs) override
    {
        SeeRow(row, nNowUs, true);
    }
    void OnNoticesLost(int64_t) override { m_bReadNow = true; }
    void OnTcpOutcome(size_t nUnit, bool bAnswered, int64_t nNowUs) override;

private:
    void Group(const std::vector<CProbeTarget>& targets);
    void ChooseWays();
    void Classify(CUnit& unit);
    void Round(int64_t nNowUs);
    void ReadTable(int64_t nNowUs);
    size_t Room() const;
    void Admit(int64_t nNowUs);
    void Ask(CUnit& unit, int64_t nNowUs);
    void StartTcp(CUnit& unit, int64_t nNowUs);
    void FireTimers(int64_t nNowUs);
    void WindowOver(CUnit& unit, int64_t nNowUs);
    void SeeRow(const CNeighbourRow& row, int64_t nNowUs, bool bNotified);
    void Evidence(CUnit& unit, const CNeighbourRow& row, int64_t nConfirmedUs, int64_t nNowUs);
    void MarkUp(CUnit& unit, EProbeHow how, int64_t nNowUs, double dRttMs, int nProbe);
    void Enter(CUnit& unit, EUnit state);
    void Decide(CUnit& unit, EUnit state, std::string strReason = {});
    void Schedule(CUnit& unit, int64_t nAtUs);
    size_t IndexOf(const CUnit& unit) const { return static_cast<size_t>(&unit - m_units.data()); }
    int64_t StartedUs() const { return m_nStartUs; }
    bool Stopped() const { return m_options.pStop && *m_options.pStop; }
    void Tick(int64_t nNowUs);

    IProbePlatform& m_platform;
    IRouteTable& m_routes;
    INeighbourTable& m_neighbours;
    const CProbeOptions& m_options;
    CProbeSockets m_sockets;
    std::vector<CUnit> m_units;
    std::multimap<uint32_t, size_t> m_byAddr;  // address -> unit
    std::deque<size_t> m_planned;              // units waiting for their turn, in order
    std::deque<size_t> m_tcpWaiting;           // units waiting for room among the TCP attempts
    std::priority_queue<CTimer, std::vector<CTimer>, std::greater<CTimer>> m_timers;
    std::vector<CProbeResult>* m_pResults = nullptr;
    std::string m_strNoWay;  // why the system allows no way of asking
    CNeighbourLoad m_load;   // the machine's table as last read
    unsigned m_nTableLimit = 0;
    size_t m_nNewSinceRead = 0;  // new neighbour entries made since the load was read
    size_t m_nOwnFailed = 0;     // failed entries of this namespace's table
    size_t m_nLive = 0;          // units not decided
    size_t m_nOnLinkAsked = 0;   // on-link units in flight
    size_t m_nUp = 0;
    bool m_bReadNow = false;  // notifications were lost
    bool m_bFirstProbesTold = false;
    bool m_bNoteTold = false;
    int64_t m_nStartUs = 0;
    int64_t m_nNextRoundUs = 0;
    int64_t m_nNextSlotUs = 0;  // with nPerSecond: when the next new host may be asked
    int64_t m_nNextTickUs = 0;
    uint16_t m_nIdentifier = static_cast<uint16_t>(::getpid());
    uint16_t m_nSeq = 0;
};

}  // namespace probe
