#pragma once
// The kernel's IPv4 neighbour (ARP) table.
#include <cstdint>
#include <vector>

// One row of the table. dwPhysAddrLen is the hardware address length as the
// kernel states it (it may exceed 8; only the first 8 bytes are kept). A row
// without a hardware address (incomplete or failed) has length 0.
struct CNeighbourRow {
    uint32_t dwAddr = 0;   // network order
    uint32_t dwIndex = 0;  // interface index
    uint16_t wState = 0;   // NUD_* state
    uint32_t dwPhysAddrLen = 0;
    uint8_t bPhysAddr[8] = {};
};

class INeighbourTable {
public:
    virtual ~INeighbourTable() = default;

    // A snapshot of the whole table, in the kernel's order. False when it
    // could not be read; rows is then left as it was.
    virtual bool GetTable(std::vector<CNeighbourRow>& rows) = 0;
    // The first row for dwAddr (network order) on interface dwIndex, or on
    // any interface when dwIndex is 0. False when there is none.
    virtual bool GetEntry(uint32_t dwAddr, uint32_t dwIndex, CNeighbourRow& row) = 0;
};

// The table read over rtnetlink.
class CNetlinkNeighbourTable : public INeighbourTable {
public:
    bool GetTable(std::vector<CNeighbourRow>& rows) override;
    bool GetEntry(uint32_t dwAddr, uint32_t dwIndex, CNeighbourRow& row) override;
};

// True when a row's state will not change the outcome of a table read any
// more: the kernel has given up on it (FAILED), or it holds a hardware
// address in a state that keeps it.
bool IsNeighbourSettled(const CNeighbourRow& row);
