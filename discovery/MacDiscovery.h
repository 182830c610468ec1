#pragma once
// Finding a host's hardware address: one probe makes the kernel resolve the
// host's neighbour entry, and the neighbour table then tells the address.
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/ProbeEngine.h"

const int kEchoTimeoutMs = 5000;  // the longest a discovery waits for its answer

// One probe of the host at dwTarget (network order) on the engine: an echo
// request of 64 bytes 0xAA (else one datagram to the discard port), waited
// for at most kEchoTimeoutMs and no longer than the host's neighbour entry
// takes to be known; then one read of the neighbour table into rows. False
// when no way to probe was open to this process, or the table could not be
// read. pResult, when given, gets what the probe found. It blocks.
bool ProbeThenReadTable(IProbePlatform& platform, IRouteTable& routes, INeighbourTable& neighbours,
                        uint32_t dwTarget, std::vector<CNeighbourRow>& rows,
                        CProbeResult* pResult = nullptr);

// Scans the rows in table order for dwTarget (network order). Before each row
// the scan stops once the text is non-empty. A matching row's first
// min(dwPhysAddrLen, 8) bytes, as two upper-case hex digits each with no
// separator, are assigned to strMac, also when that gives the empty text (the
// scan then goes on). True when strMac ends non-empty; when no row matches,
// strMac is untouched and the result is false.
bool ScanNeighbourTable(const std::vector<CNeighbourRow>& rows, uint32_t dwTarget,
                        std::string& strMac);
