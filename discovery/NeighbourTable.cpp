#include "discovery/NeighbourTable.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include "discovery/MacScan.h"
#include "discovery/Netlink.h"

namespace {

const int kDumpAttempts = 3;  // a dump that keeps being interrupted is given up

// One complete dump; false on failure or when the dump was interrupted
// (bInterrupted then tells which).
bool DumpOnce(std::vector<CNeighbourRow>& rows, bool& bInterrupted)
{
    bInterrupted = false;
    CNetlinkSocket netlink;
    if (!netlink.Open())
        return false;
    struct {
        nlmsghdr header;
        ndmsg neigh;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.neigh);
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.neigh.ndm_family = AF_INET;
    int nError = 0;
    const ENetlinkStep step =
        netlink.Transact(request.header, [&](const void* pData, size_t nLength, uint32_t nSeq) {
            return ParseNeighbourDump(pData, nLength, nSeq, netlink.PortId(), rows, nError);
        });
    bInterrupted = step == ENetlinkStep::Interrupted;
    return step == ENetlinkStep::Done;
}

}  // namespace

bool CNetlinkNeighbourTable::GetTable(std::vector<CNeighbourRow>& rows)
{
    for (int nAttempt = 0; nAttempt < kDumpAttempts; ++nAttempt) {
        std::vector<CNeighbourRow> found;
        bool bInterrupted = false;
        if (DumpOnce(found, bInterrupted)) {
            rows = std::move(found);
            return true;
        }
        if (!bInterrupted)
            return false;
    }
    return false;
}

bool CNetlinkNeighbourTable::GetEntry(uint32_t dwAddr, uint32_t dwIndex, CNeighbourRow& row)
{
    std::vector<CNeighbourRow> rows;
    const CNeighbourRow* pFound =
        GetTable(rows) ? FindNeighbourRow(rows, dwAddr, dwIndex) : nullptr;
    if (pFound)
        row = *pFound;
    return pFound != nullptr;
}

bool IsNeighbourSettled(const CNeighbourRow& row)
{
    if (row.wState & NUD_FAILED)
        return true;
    const uint16_t wKeeps =
        NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT | NUD_NOARP;
    return (row.wState & wKeeps) && row.dwPhysAddrLen > 0;
}
