#include "app/StatusMode.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/NuvikApp.h"
#include "discovery/MacScan.h"
#include "discovery/NeighbourTable.h"
#include "hosts/SetList.h"
#include "net/SocketLayer.h"
#include "ui/MessageBox.h"
#include "ui/PrintableText.h"
#include "wake/MacText.h"

namespace {

// A hardware address in any form the command line takes, as twelve
// upper-case digits; empty when the text is none.
std::string MacOfHostText(const std::string& strText)
{
    std::string strMac = strText;
    std::transform(strMac.begin(), strMac.end(), strMac.begin(), [](unsigned char c) { return std::toupper(c); });
    return strMac.size() == kMacTextLength && CutToMacText(strMac) ? strMac : std::string();
}

CStatusHost HostOfEntry(const std::string& strEntry)
{
    CStatusHost host;
    host.strName = EntryField(strEntry, 0);
    host.strIp = EntryField(strEntry, 1);
    host.strMac = EntryField(strEntry, 2);
    host.dwAddr = StoredAddress(host.strIp);
    return host;
}

// The line that ends with a write error is reported, not taken for success.
int Finish(const CStatusServices& services, int nExit)
{
    if (std::fflush(services.pOut) == 0 && !std::ferror(services.pOut))
        return nExit;
    services.pMessages->MessageBox("cannot write to standard output: " + ErrorText(errno));
    return kExitNothingRan;
}

} // namespace

uint32_t StoredAddress(const std::string& strIp)
{
    in_addr addr{};
    return ::inet_pton(AF_INET, strIp.c_str(), &addr) == 1 ? addr.s_addr : 0;
}

CStatusHost FindStatusHost(const CSetList& book, const std::string& strHost)
{
    if (const std::string strMac = MacOfHostText(strHost); !strMac.empty()) {
        for (const std::string& strEntry : book)
            if (MacOfHostText(EntryField(strEntry, 2)) == strMac)
                return HostOfEntry(strEntry);
        CStatusHost host;
        host.strName = strHost;
        host.strMac = strMac;
        host.strProblem = "no entry of the address book has this hardware address";
        return host;
    }
    for (const std::string& strEntry : book)
        if (NamesMatch(EntryField(strEntry, 0), strHost))
            return HostOfEntry(strEntry);
    CStatusHost host;
    host.strName = strHost;
    if (StoredAddress(strHost) != 0 || strHost == "0.0.0.0") {
        for (const std::string& strEntry : book)
            if (EntryField(strEntry, 1) == strHost)
                return HostOfEntry(strEntry);
        host.strIp = strHost;
        host.dwAddr = StoredAddress(strHost);
        return host;
    }
    host.strProblem = "not in the address book";
    return host;
}

std::vector<CStatusHost> BookHosts(const CSetList& book)
{
    std::vector<CStatusHost> hosts;
    for (const std::string& strEntry : book)
        hosts.push_back(HostOfEntry(strEntry));
    return hosts;
}

int RunStatus(const std::vector<CStatusHost>& hosts, bool bJson, const CStatusServices& services)
{
    std::vector<CProbeTarget> targets;
    for (const CStatusHost& host : hosts)
        targets.push_back({host.strProblem.empty() ? host.dwAddr : 0, host.nIfIndex});
    CProbeEngine engine(*services.pPlatform, *services.pRoutes, *services.pNeighbours);
    CProbeOptions options;
    options.pStop = services.pStop;
    std::vector<CProbeResult> results = engine.Probe(targets, options);
    bool bAllUp = true;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (!hosts[i].strProblem.empty())
            results[i].strReason = hosts[i].strProblem;
        else if (hosts[i].dwAddr == 0 && !hosts[i].strIp.empty() && hosts[i].strIp != "0.0.0.0")
            results[i].strReason = "the stored address is not an IPv4 address";
        bAllUp = bAllUp && results[i].state == EProbeState::Up;
    }
    if (bJson) {
        for (size_t i = 0; i < hosts.size(); ++i)
            std::fputs(StatusJsonLine(hosts[i], results[i]).c_str(), services.pOut);
    } else {
        std::fputs(FormatStatusTable(hosts, results).c_str(), services.pOut);
    }
    const bool bStopped = services.pStop && *services.pStop;
    return Finish(services, bStopped ? kExitInterrupted : bAllUp ? kExitOk : kExitSomeFailed);
}

uint32_t WaitAddressOfMac(const CSetList& book, INeighbourTable& neighbours, const std::string& strMac)
{
    for (const std::string& strEntry : book)
        if (MacOfHostText(EntryField(strEntry, 2)) == strMac)
            if (const uint32_t dwAddr = StoredAddress(EntryField(strEntry, 1)))
                return dwAddr;
    std::vector<CNeighbourRow> rows;
    if (!neighbours.GetTable(rows))
        return 0;
    for (const CNeighbourRow& row : rows) {
        std::string strRowMac;
        if (ScanNeighbourTable({row}, row.dwAddr, strRowMac) && strRowMac == strMac)
            return row.dwAddr;
    }
    return 0;
}

int WaitForHosts(const std::vector<CWaitHost>& hosts, int nSeconds, const CStatusServices& services)
{
    std::vector<CProbeTarget> targets;
    size_t nWaiting = 0;
    for (const CWaitHost& host : hosts) {
        targets.push_back({host.dwAddr, 0});
        nWaiting += host.dwAddr != 0;
    }
    const size_t nAll = nWaiting;
    std::vector<bool> reported(hosts.size(), false);
    bool bProgressShown = false;
    const auto ClearProgress = [&] {
        if (bProgressShown)
            std::fputs("\r\x1b[K", services.pProgress), bProgressShown = false;
    };
    const auto ShowProgress = [&](int64_t nMs) {
        if (!services.pProgress || nWaiting == 0)
            return;
        std::fprintf(services.pProgress, "\rwaiting for %zu of %zu host%s, %lld s\x1b[K", nWaiting, nAll,
                     nAll == 1 ? "" : "s", static_cast<long long>(nMs / 1000));
        std::fflush(services.pProgress);
        bProgressShown = true;
    };
    const auto Seconds = [](int64_t nMs) { return static_cast<long long>((nMs + 500) / 1000); };

    CProbeEngine engine(*services.pPlatform, *services.pRoutes, *services.pNeighbours);
    CProbeOptions options;
    options.nUntilMs = nSeconds * 1000;
    options.pStop = services.pStop;
    options.onTick = ShowProgress;
    options.onUp = [&](size_t i, const CProbeResult& result) {
        if (reported[i])
            return;
        reported[i] = true;
        --nWaiting;
        ClearProgress();
        std::fprintf(services.pOut, "%s is up after %lld s\n", PrintableText(hosts[i].strName).c_str(),
                     Seconds(result.nUpAtMs));
        std::fflush(services.pOut);
    };
    ShowProgress(0);
    const int64_t nStartUs = services.pPlatform->NowUs();
    const std::vector<CProbeResult> results = engine.Probe(targets, options);
    const int64_t nElapsedMs = (services.pPlatform->NowUs() - nStartUs) / 1000;
    ClearProgress();

    bool bAllUp = true;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (results[i].state == EProbeState::Up)
            continue;
        bAllUp = false;
        const std::string strName = PrintableText(hosts[i].strName);
        if (hosts[i].dwAddr == 0)
            std::fprintf(services.pOut, "%s: no address to wait for\n", strName.c_str());
        else
            std::fprintf(services.pOut, "%s is not up after %lld s\n", strName.c_str(), Seconds(nElapsedMs));
    }
    const bool bStopped = services.pStop && *services.pStop;
    return Finish(services, bStopped ? kExitInterrupted : bAllUp ? kExitOk : kExitSomeFailed);
}
