#pragma once
// How --status shows its hosts: aligned text, or JSON Lines with --json.
#include <string>
#include <string_view>
#include <vector>

#include "discovery/ProbeEngine.h"

// One host asked about, as the address book (or the command line) gives it.
struct CStatusHost {
    std::string strName;  // the book's name, or the text asked
    std::string strIp;    // the address text as stored (may be empty)
    std::string strMac;   // the stored hardware address text (may be empty)
    uint32_t dwAddr = 0;  // the address to probe, network order; 0: none
    unsigned nIfIndex = 0;
    std::string strProblem;  // why it can't be asked ("not in the address book"); empty when it can
};

// One line per host, columns aligned: name, address, hardware address,
// state, then the round-trip time, or the reason when it is not up.
std::string FormatStatusTable(const std::vector<CStatusHost>& hosts,
                              const std::vector<CProbeResult>& results);

// One JSON object on one line, keys name, ip, mac, state, rtt_ms, how,
// reason, held_by (the hardware address that answers for its address, when
// it is not its own); names as ShownUtf8 shows them, control characters
// escaped.
std::string StatusJsonLine(const CStatusHost& host, const CProbeResult& result);

// The hardware address shown for a host: the stored one, else the one its
// neighbour entry gave.
std::string ShownMac(const CStatusHost& host, const CProbeResult& result);
