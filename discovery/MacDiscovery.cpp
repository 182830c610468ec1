#include "discovery/MacDiscovery.h"

bool ProbeThenReadTable(IProbePlatform& platform, IRouteTable& routes, INeighbourTable& neighbours,
                        uint32_t dwTarget, std::vector<CNeighbourRow>& rows, CProbeResult* pResult)
{
    CProbeOptions options;
    options.nAnswerMs = kEchoTimeoutMs;
    options.bUntilSettled = true;
    const CProbeResult result =
        CProbeEngine(platform, routes, neighbours).Probe({{dwTarget, 0}}, options).front();
    if (pResult)
        *pResult = result;
    // Whether the host answered does not matter: the probe only makes the
    // kernel resolve its hardware address.
    const bool bProbed = result.state != EProbeState::Unknown || result.how != EProbeHow::None;
    return bProbed && neighbours.GetTable(rows) == 0;
}

bool ScanNeighbourTable(const std::vector<CNeighbourRow>& rows, uint32_t dwTarget,
                        std::string& strMac)
{
    std::string strText;
    for (const CNeighbourRow& row : rows) {
        if (!strText.empty())
            break;
        if (row.dwAddr != dwTarget)
            continue;
        strText = NeighbourMacText(row);
        strMac = strText;
    }
    return !strText.empty();
}
