#pragma once
// Which addresses a scan of the attached links probes: the on-link prefix of
// every interface that can broadcast, or the part of a range the user gives
// that lies on one of them. Pure arithmetic on what the interface list says,
// so that it is tested without a kernel.
#include <cstdint>
#include <string>
#include <vector>

#include "net/Routes.h"

// An address range, both ends included, in host order.
struct CScanRange {
    uint32_t dwFirst = 0;
    uint32_t dwLast = 0;
};

const unsigned kScanWidestPrefix = 16;   // --scan=CIDR takes at most a /16
const uint32_t kScanDefaultSpan = 1024;  // a larger prefix is cut to this many

// "a.b.c.d/n" (n from 16 to 32) or a bare address (/32). Host bits in the
// address are dropped. False with the reason in strError.
bool ParseScanRange(const std::string& strText, CScanRange& range, std::string& strError);

struct CScanTarget {
    uint32_t dwAddr = 0;  // network order
    unsigned nIndex = 0;  // the interface it is probed through
    std::string strLink;
};

struct CScanPlan {
    std::vector<CScanTarget> targets;  // ascending by address, each once
    std::vector<std::string> notes;    // lines for standard error
    std::string strError;              // set when nothing can be scanned
};

// The addresses to probe. Without a range: each interface's prefix, less its
// network and broadcast addresses (prefixes up to /30) and every address of
// this machine; a prefix of more than kScanDefaultSpan addresses gives the
// kScanDefaultSpan around the interface's own address, with a note. With a
// range: the same, restricted to the range; a range on no attached link is
// an error. An address on two interfaces is probed through the first.
CScanPlan PlanScan(const std::vector<CLinkAddress>& links, const CScanRange* pRange);
