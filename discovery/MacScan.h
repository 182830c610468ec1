#pragma once
// Finding a host's hardware address text in a snapshot of the neighbour table.
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/NeighbourTable.h"

// Scans the rows in table order for dwTarget (network order). Before each row
// the scan stops once the text is non-empty. A matching row's first
// min(dwPhysAddrLen, 8) bytes, as two upper-case hex digits each with no
// separator, are assigned to strMac, also when that gives the empty text (the
// scan then goes on). True when strMac ends non-empty; when no row matches,
// strMac is untouched and the result is false.
bool ScanNeighbourTable(const std::vector<CNeighbourRow>& rows, uint32_t dwTarget,
                        std::string& strMac);

// The first row for dwAddr (network order) on interface dwIndex, or on any
// interface when dwIndex is 0; null when there is none.
const CNeighbourRow* FindNeighbourRow(const std::vector<CNeighbourRow>& rows, uint32_t dwAddr,
                                      uint32_t dwIndex);
