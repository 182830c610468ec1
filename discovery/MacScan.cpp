#include "discovery/MacScan.h"

#include <algorithm>
#include <cstdio>

bool ScanNeighbourTable(const std::vector<CNeighbourRow>& rows, uint32_t dwTarget,
                        std::string& strMac)
{
    std::string strText;
    for (const CNeighbourRow& row : rows) {
        if (!strText.empty())
            break;
        if (row.dwAddr != dwTarget)
            continue;
        const uint32_t nBytes = std::min<uint32_t>(row.dwPhysAddrLen, sizeof row.bPhysAddr);
        for (uint32_t i = 0; i < nBytes; ++i) {
            char szPair[3];
            std::snprintf(szPair, sizeof szPair, "%02X", row.bPhysAddr[i]);
            strText += szPair;
        }
        strMac = strText;
    }
    return !strText.empty();
}

const CNeighbourRow* FindNeighbourRow(const std::vector<CNeighbourRow>& rows, uint32_t dwAddr,
                                      uint32_t dwIndex)
{
    for (const CNeighbourRow& row : rows)
        if (row.dwAddr == dwAddr && (dwIndex == 0 || row.dwIndex == dwIndex))
            return &row;
    return nullptr;
}
