#include "discovery/ScanRange.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "base/Address.h"

namespace {

uint32_t MaskOf(unsigned nPrefixLen)
{
    return nPrefixLen == 0 ? 0 : ~0u << (32 - std::min(nPrefixLen, 32u));
}

std::string RangeText(uint32_t dwFirst, uint32_t dwLast)
{
    return DottedText(htonl(dwFirst)) + " to " + DottedText(htonl(dwLast));
}

}  // namespace

bool ParseScanRange(const std::string& strText, CScanRange& range, std::string& strError)
{
    const size_t nSlash = strText.find('/');
    const std::string strAddr = strText.substr(0, nSlash);
    uint32_t dwAddr = 0;
    if (!ParseDotted(strAddr, dwAddr)) {
        strError = "not an IPv4 address with a prefix length, such as 192.168.1.0/24";
        return false;
    }
    unsigned nPrefixLen = 32;
    if (nSlash != std::string::npos) {
        const std::string strLen = strText.substr(nSlash + 1);
        if (strLen.empty() || strLen.size() > 2 ||
            strLen.find_first_not_of("0123456789") != std::string::npos ||
            std::atoi(strLen.c_str()) > 32) {
            strError = "the prefix length after / must be a number from " +
                std::to_string(kScanWidestPrefix) + " to 32";
            return false;
        }
        nPrefixLen = static_cast<unsigned>(std::atoi(strLen.c_str()));
    }
    if (nPrefixLen < kScanWidestPrefix) {
        strError = "at most a /" + std::to_string(kScanWidestPrefix) +
            " (65,536 addresses) is scanned at once";
        return false;
    }
    const uint32_t dwMask = MaskOf(nPrefixLen);
    range.dwFirst = ntohl(dwAddr) & dwMask;
    range.dwLast = range.dwFirst | ~dwMask;
    return true;
}

CScanPlan PlanScan(const std::vector<CLinkAddress>& links, const CScanRange* pRange)
{
    CScanPlan plan;
    std::set<uint32_t> own;
    for (const CLinkAddress& link : links)
        own.insert(ntohl(link.dwAddr));

    std::map<uint32_t, CScanTarget> chosen;
    uint64_t nOnLink = 0;  // addresses of the range that some prefix holds
    std::set<uint64_t> counted;
    for (const CLinkAddress& link : links) {
        if (link.nPrefixLen > 32)
            continue;
        const uint32_t dwOwn = ntohl(link.dwAddr);
        const uint32_t dwMask = MaskOf(link.nPrefixLen);
        const uint32_t dwNet = dwOwn & dwMask;
        const uint32_t dwBroadcast = dwNet | ~dwMask;
        // A /31 has no network or broadcast address: both are hosts.
        uint32_t dwFirst = link.nPrefixLen >= 31 ? dwNet : dwNet + 1;
        uint32_t dwLast = link.nPrefixLen >= 31 ? dwBroadcast : dwBroadcast - 1;
        if (pRange) {
            const uint64_t nKey = (uint64_t{dwNet} << 8) | link.nPrefixLen;
            if (counted.insert(nKey).second) {
                const uint32_t dwLo = std::max(dwNet, pRange->dwFirst),
                               dwHi = std::min(dwBroadcast, pRange->dwLast);
                if (dwLo <= dwHi)
                    nOnLink += uint64_t{dwHi} - dwLo + 1;
            }
            dwFirst = std::max(dwFirst, pRange->dwFirst);
            dwLast = std::min(dwLast, pRange->dwLast);
        } else if (uint64_t{dwLast} - dwFirst + 1 > kScanDefaultSpan) {
            const uint64_t nHalf = kScanDefaultSpan / 2;
            uint64_t nLo = dwOwn - dwFirst >= nHalf ? dwOwn - nHalf : dwFirst;
            nLo = std::min<uint64_t>(nLo, uint64_t{dwLast} - kScanDefaultSpan + 1);
            const std::string strPrefix =
                DottedText(htonl(dwNet)) + "/" + std::to_string(link.nPrefixLen);
            dwFirst = static_cast<uint32_t>(nLo);
            dwLast = static_cast<uint32_t>(nLo + kScanDefaultSpan - 1);
            plan.notes.push_back(link.strLink + ": " + strPrefix + " holds " +
                                 std::to_string(uint64_t{~dwMask} + 1) +
                                 " addresses; scanning the " + std::to_string(kScanDefaultSpan) +
                                 " around " + DottedText(link.dwAddr) + " (" +
                                 RangeText(dwFirst, dwLast) +
                                 "); for more, give --scan=" + strPrefix + " or a part of it");
        }
        for (uint64_t n = dwFirst; n <= dwLast; ++n) {
            const auto dwAddr = static_cast<uint32_t>(n);
            if (own.count(dwAddr) == 0)
                chosen.emplace(dwAddr, CScanTarget{htonl(dwAddr), link.nIndex, link.strLink});
        }
    }

    if (pRange) {
        const std::string strRange = RangeText(pRange->dwFirst, pRange->dwLast);
        const uint64_t nWidth = uint64_t{pRange->dwLast} - pRange->dwFirst + 1;
        if (nOnLink == 0) {
            plan.strError = strRange +
                " lies on no attached link; hardware addresses are learnt only on the link "
                "(a scan does not cross a router)";
            return plan;
        }
        if (nOnLink < nWidth)
            plan.notes.push_back(std::to_string(nWidth - nOnLink) + " addresses of " + strRange +
                                 " lie on no attached link; they are not scanned");
    } else if (links.empty()) {
        plan.strError =
            "no interface to scan (none is up, can broadcast and holds an IPv4 address)";
        return plan;
    }
    for (auto& [dwAddr, target] : chosen)
        plan.targets.push_back(std::move(target));
    return plan;
}
