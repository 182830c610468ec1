#pragma once
// Is a host up? Many hosts probed at once on a few non-blocking sockets and
// one poll loop, the way an ordinary user can:
//   1. an ICMP echo, on a datagram socket where ping_group_range allows it,
//      else on a raw socket where the process may open one;
//   2. otherwise, for a host on an attached link, one UDP datagram to the
//      discard port, which makes the kernel ask the host for its hardware
//      address (or, for an entry gone stale, check it again);
//   3. for a host behind a gateway that nothing else reached, a TCP
//      connection attempt to a few common ports: accepted or refused, either
//      means up.
// A host is up only on evidence that came after this run's probe of it: its
// echo reply, its neighbour entry confirmed after the probe left, a TCP
// answer. An entry that was reachable before says nothing of now, and an
// entry that holds another hardware address than the one expected is
// another machine. The kernel's neighbour table is shared by every network
// namespace of the machine: new entries are made only while it has room
// (below gc_thresh2 when the run fits there, never above gc_thresh3), and at
// least one probe is always in flight, so that every run ends.
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

// The TCP ports asked behind a gateway, and how many attempts may be open
// at once, all hosts together.
const uint16_t kProbeTcpPorts[] = {22, 80, 443, 445, 3389};
const unsigned kMaxTcpOpen = 64;

struct CProbeTarget {
    uint32_t dwAddr = 0;    // network order; 0: no address stored
    unsigned nIfIndex = 0;  // the interface it is on; 0: the kernel's route decides
    std::string strMac;     // the hardware address text it should answer with; empty: any
};

struct CProbeResult {
    EProbeState state = EProbeState::Unknown;
    EProbeHow how = EProbeHow::None;  // what showed it up, or how it was asked
    // Unknown: why it could not be asked; Down: why it is not up, when that
    // is more than silence (another machine's hardware address holds its
    // address).
    std::string strReason;
    double dRttMs = -1;    // round-trip time of the probe it answered, -1 when none
    int64_t nUpAtMs = -1;  // when it answered, counted from the start
    int nProbe = -1;       // which of its probes it answered, counted from 0
    // Its neighbour entry's hardware address text (twelve upper-case hex
    // digits for Ethernet) as last seen; empty when there was none.
    std::string strMac;
    bool bOtherMac = false;  // strMac is not the one expected: another machine holds its address
};

// How far a run has come, for a progress line.
struct CProbeProgress {
    size_t nDone = 0;  // hosts decided
    size_t nAll = 0;   // hosts asked about
    size_t nUp = 0;    // hosts found up
    int64_t nElapsedMs = 0;
};

struct CProbeOptions {
    int nAnswerMs = 1000;  // how long a probe waits for its answer
    // 0: each host is asked until it is decided once. Otherwise the hosts that
    // are not up are asked again once a second until this many ms have passed
    // since the start.
    int nUntilMs = 0;
    // Only hosts on an attached link, by their neighbour entries (a scan): the
    // others are Unknown, no TCP is tried, and an entry reachable already
    // counts (the host answered a moment ago, which is all a scan asks).
    bool bOnLinkOnly = false;
    // One probe, for a host's hardware address: an echo, else a datagram to
    // the discard port, never TCP; done as soon as the echo reply came or the
    // host's neighbour entry is settled (holds an address, or failed).
    bool bUntilSettled = false;
    // New addresses asked per second at most, spread evenly (a scan's pace on
    // the link); 0: as fast as the neighbour table has room.
    unsigned nPerSecond = 0;
    // Called once, when every host has had its first probe (or could not):
    // --wait wakes them there.
    std::function<void()> onFirstProbes;
    // Called as soon as a host is known to be up, with its index.
    std::function<void(size_t, const CProbeResult&)> onUp;
    // Called as soon as a host is decided (up, down or unknown), with its
    // index.
    std::function<void(size_t, const CProbeResult&)> onDecided;
    // Called about once a second while probing goes on.
    std::function<void(const CProbeProgress&)> onTick;
    // Called once with a line for a person, when the neighbour table's room
    // is what slows the run.
    std::function<void(const std::string&)> onNote;
    // Set (by a signal handler) to stop at once; the hosts undecided then are
    // Unknown.
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

// The most entries the machine's neighbour table should hold while nOnLink
// new hosts are asked: below gc_thresh2 when they fit there (with a margin
// for what else the system resolves meanwhile), else below gc_thresh3.
unsigned NeighbourLimit(const CNeighbourLoad& load, size_t nOnLink);
