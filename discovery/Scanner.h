#pragma once
// The scan of the attached links: every address of the plan is asked on its
// link by the probe engine (a datagram to the discard port makes the kernel
// ask for its hardware address); a host is found when its neighbour entry
// holds one. Names are looked up while the probing goes on.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "discovery/ScanRange.h"

#include "discovery/ProbeEngine.h"

struct CScanPacing {
    unsigned nPerSecond = 1000;  // new addresses asked per second
    int nAnswerMs = 1000;        // how long an address is waited for
    int nNamesMs = 1000;         // names are waited for this long after the last host was found
};

struct CScanHost {
    uint32_t dwAddr = 0;  // network order
    std::string strLink;
    std::string strMac;   // twelve upper-case hexadecimal digits
    std::string strName;  // the reverse look-up's name; empty when none came in time
};

// A reverse look-up, called on worker threads: each call must stand alone.
using ReverseLookup = std::function<bool(uint32_t dwAddr, std::string& strName)>;

class CScanner {
public:
    CScanner(IProbePlatform& platform, IRouteTable& routes, INeighbourTable& neighbours,
             ReverseLookup lookup, CScanPacing pacing = {})
        : m_platform(platform)
        , m_routes(routes)
        , m_neighbours(neighbours)
        , m_lookup(std::move(lookup))
        , m_pacing(pacing)
    { }

    // Probes every target; the hosts found, ascending by address.
    // options: what the caller watches (progress, notes, a stop); the rest is
    // the scan's own.
    std::vector<CScanHost> Scan(const std::vector<CScanTarget>& targets,
                                CProbeOptions options = {});

private:
    IProbePlatform& m_platform;
    IRouteTable& m_routes;
    INeighbourTable& m_neighbours;
    ReverseLookup m_lookup;
    CScanPacing m_pacing;
};
