#pragma once
// The scan of the attached links: every address of the plan gets one UDP
// datagram to the discard port, which makes the kernel ask for its hardware
// address; a host is found when its neighbour entry holds one. The
// datagrams go in batches that keep the kernel's neighbour table below the
// size at which it starts to throw entries away, at a bounded rate. Names
// are looked up while the probing goes on.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "discovery/ScanRange.h"

class ISocketLayer;
class INeighbourTable;

// How full the kernel's IPv4 neighbour table is, and its limits: above
// nThresh2 the kernel collects entries it has not used lately (other hosts'
// too); at nThresh3 it refuses new ones ("neighbour table overflow").
struct CNeighbourLoad {
    unsigned nEntries = 0;
    unsigned nThresh2 = 512;
    unsigned nThresh3 = 1024;
};

class INeighbourLoad {
public:
    virtual ~INeighbourLoad() = default;
    virtual bool GetLoad(CNeighbourLoad& load) = 0;
};

// The load as rtnetlink's neighbour table dump tells it (no privilege needed).
class CNetlinkNeighbourLoad : public INeighbourLoad {
public:
    bool GetLoad(CNeighbourLoad& load) override;
};

// How many new entries may be made now, with nInFlight made since load was
// read: the whole scan stays below nThresh2 when it fits there (nothing of
// anyone else's is then collected); otherwise the batches fill the table up
// to a margin below nThresh3.
unsigned ScanBudget(const CNeighbourLoad& load, size_t nScanSize, size_t nInFlight);

struct CScanPacing {
    unsigned nPerSecond = 1000;  // datagrams
    int nAnswerMs = 1100;        // how long an address is waited for after its datagram
    int nPollMs = 25;            // how often the neighbour table is read
    int nNamesMs = 1000;         // names are waited for this long after the last host was found
};

struct CScanHost {
    uint32_t dwAddr = 0;  // network order
    std::string strLink;
    std::string strMac;   // twelve upper-case hexadecimal digits
    std::string strName;  // the reverse look-up's name; the address text when none came in time
};

// A reverse look-up, called on worker threads: each call must stand alone.
using ReverseLookup = std::function<bool(uint32_t dwAddr, std::string& strName)>;
// The system resolver's reverse look-up.
bool SystemReverseLookup(uint32_t dwAddr, std::string& strName);

class CScanner {
public:
    CScanner(ISocketLayer& sockets, INeighbourTable& neighbours, INeighbourLoad& load, ReverseLookup lookup,
             CScanPacing pacing = {})
        : m_sockets(sockets), m_neighbours(neighbours), m_load(load), m_lookup(std::move(lookup)), m_pacing(pacing)
    {
    }

    // Probes every target and returns the hosts found, ascending by address.
    // False with the reason in strError when nothing could be sent.
    bool Scan(const std::vector<CScanTarget>& targets, std::vector<CScanHost>& hosts, std::string& strError);

    // The fullest the neighbour table was seen during the last scan.
    unsigned PeakEntries() const { return m_nPeak; }

private:
    ISocketLayer& m_sockets;
    INeighbourTable& m_neighbours;
    INeighbourLoad& m_load;
    ReverseLookup m_lookup;
    CScanPacing m_pacing;
    unsigned m_nPeak = 0;
};
