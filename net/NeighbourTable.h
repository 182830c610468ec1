#pragma once
// The kernel's IPv4 neighbour (ARP) table.
#include <linux/neighbour.h>

#include <cstdint>
#include <string>
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
    // How long before it was read the kernel last confirmed the entry (its
    // host answered), in ms; kNeverConfirmed when the kernel did not say.
    uint32_t dwConfirmedAgoMs = 0xFFFFFFFF;
};
constexpr uint32_t kNeverConfirmed = 0xFFFFFFFF;

// How full the table is, counted over every network namespace (the table is
// the system's), and its limits: above nThresh2 the kernel collects entries
// it has not used lately, anyone's; at nThresh3 it refuses new ones
// ("neighbour table overflow").
struct CNeighbourLoad {
    unsigned nEntries = 0;
    unsigned nThresh2 = 512;
    unsigned nThresh3 = 1024;
};

class INeighbourTable {
public:
    virtual ~INeighbourTable() = default;
    // A snapshot of this namespace's table, in the kernel's order. 0, or
    // the errno; rows is left as it was on failure.
    virtual int GetTable(std::vector<CNeighbourRow>& rows) = 0;
    // The load of the whole system's table. 0, or the errno.
    virtual int GetLoad(CNeighbourLoad& load) = 0;
};

// The row's hardware address as text (two digits a byte), of at most the 8
// bytes kept.
std::string NeighbourMacText(const CNeighbourRow& row);

// Reachable, with a hardware address: its host answered a moment ago.
inline bool IsNeighbourUp(const CNeighbourRow& row)
{
    return (row.wState & NUD_REACHABLE) && row.dwPhysAddrLen > 0;
}

// True when the row's outcome is known: the kernel has given up on it
// (FAILED), or it holds a hardware address in a state that keeps it.
inline bool IsNeighbourSettled(const CNeighbourRow& row)
{
    if (row.wState & NUD_FAILED)
        return true;
    const uint16_t wKeeps =
        NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT | NUD_NOARP;
    return (row.wState & wKeeps) && row.dwPhysAddrLen > 0;
}
