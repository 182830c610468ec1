#pragma once
// Is a host up? Many hosts probed at once on a few non-blocking sockets and
// one poll loop, the way an ordinary user can:
//   1. an ICMP echo, on a datagram socket where ping_group_range allows it,
//      else on a raw socket where the process may open one;
//   2. otherwise, for a host on an attached link, one UDP datagram to the
//      discard port, which makes the kernel resolve the host's neighbour
//      entry: an entry that turns reachable means up;
//   3. otherwise, for a host behind a gateway, a TCP connection attempt to a
//      few common ports: accepted or refused, either means up.
// Every on-link host's neighbour entry is watched whatever way it was asked,
// and read once more by one dump of the table at the end of each round.
// Hosts on a link are probed in batches that keep the kernel's neighbour
// table below its limit. Each address gets at most one probe a second.
// A way that the system refuses is reported with its reason: a host that no
// way can reach is "unknown", saying why and what would allow one.
#include <signal.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/NeighbourTable.h"
#include "net/ProbePlatform.h"
#include "net/Routes.h"

enum class EProbeState { Unknown, Up, Down };
enum class EProbeHow { None, Echo, Neighbour, Tcp };
const char* ProbeStateName(EProbeState state);  // "unknown", "up", "down"
const char* ProbeHowName(EProbeHow how);        // "", "echo", "neighbour", "tcp"

// The TCP ports asked behind a gateway.
const uint16_t kProbeTcpPorts[] = {22, 80, 443, 445, 3389};

struct CProbeTarget {
    uint32_t dwAddr = 0;    // network order; 0: no address stored
    unsigned nIfIndex = 0;  // the interface it is on; 0: the kernel's route decides
};

struct CProbeResult {
    EProbeState state = EProbeState::Unknown;
    EProbeHow how = EProbeHow::None;  // what showed it up, or how it was asked
    std::string strReason;            // for Unknown: why it could not be asked
    double dRttMs = -1;               // round-trip time, -1 when none was measured
    int64_t nUpAtMs = -1;             // when it answered, counted from the start
    // Its neighbour entry's hardware address text (twelve upper-case hex
    // digits for Ethernet) as the last look at the table found it; empty when
    // there was none.
    std::string strMac;
};

struct CProbeOptions {
    int nAnswerMs = 1000;  // how long a probe waits for its answer
    // 0: one probe per host. Otherwise the hosts that are not up are asked
    // again once a second until this many ms have passed since the start.
    int nUntilMs = 0;
    // Only hosts on an attached link, by their neighbour entries (a scan):
    // the others are Unknown, and no TCP is tried.
    bool bOnLinkOnly = false;
    // One probe, for a host's hardware address: an echo, else a datagram
    // to the discard port, never TCP; done as soon as the echo reply came or
    // the host's neighbour entry is settled (holds an address, or failed).
    bool bUntilSettled = false;
    // The most entries the neighbour table may hold while probing; 0: the
    // kernel's hard limit (gc_thresh3). A lower one (gc_thresh2) keeps the
    // kernel from collecting entries early.
    unsigned nNeighbourLimit = 0;
    // New addresses asked per second at most, spread evenly over each round
    // (a scan's pace on the link); 0: each round's batch at once.
    unsigned nPerSecond = 0;
    // Called as soon as a host is known to be up, with its index.
    std::function<void(size_t, const CProbeResult&)> onUp;
    // Called about once a second while probing goes on, with the ms since the start.
    std::function<void(int64_t)> onTick;
    // Set (by a signal handler) to stop at once; the hosts not up then are Down.
    const volatile sig_atomic_t* pStop = nullptr;
};

class CProbeEngine {
public:
    CProbeEngine(IProbePlatform& platform, IRouteTable& routes, INeighbourTable& neighbours)
        : m_platform(platform)
        , m_routes(routes)
        , m_neighbours(neighbours)
    { }

    // Probes the targets; results in the targets' order. Targets with the
    // same address (and interface) are asked once and share their result.
    std::vector<CProbeResult> Probe(const std::vector<CProbeTarget>& targets,
                                    const CProbeOptions& options);

private:
    IProbePlatform& m_platform;
    IRouteTable& m_routes;
    INeighbourTable& m_neighbours;
};

// How many new on-link hosts may be asked now: the table's limit (less a
// margin for other traffic) less the entries in it that the kernel could not
// collect yet. rows: the table as read now.
size_t NeighbourBudget(const std::vector<CNeighbourRow>& rows, unsigned nLimit);
