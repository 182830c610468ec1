#include "app/StatusMode.h"

#include <algorithm>
#include <cerrno>

#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/Progress.h"
#include "app/SystemServices.h"
#include "base/Address.h"
#include "base/PrintableText.h"
#include "base/Text.h"
#include "hosts/HostLookUp.h"
#include "hosts/SetList.h"
#include "net/NeighbourTable.h"
#include "ui/MessageBox.h"

namespace {

CStatusHost HostOfEntry(const std::string& strEntry)
{
    CStatusHost host;
    host.strName = EntryField(strEntry, 0);
    host.strIp = EntryField(strEntry, 1);
    host.strMac = EntryField(strEntry, 2);
    host.dwAddr = StoredAddress(host.strIp);
    return host;
}

// A host waited for, as one JSON object on one line: name, ip, mac, state,
// after_s (from its wake; null when not known), reason.
std::string WaitJsonLine(const CWaitHost& host, const char* pszState, long long nSeconds,
                         const std::string& strReason)
{
    const auto TextOrNull = [](const std::string& strText) {
        return strText.empty() ? nlohmann::ordered_json(nullptr)
                               : nlohmann::ordered_json(ShownUtf8(strText));
    };
    nlohmann::ordered_json line;
    line["name"] = ShownUtf8(host.strName);
    line["ip"] = TextOrNull(host.dwAddr ? DottedText(host.dwAddr) : std::string());
    line["mac"] = TextOrNull(host.strMac);
    line["state"] = pszState;
    line["after_s"] =
        nSeconds < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(nSeconds);
    line["reason"] = TextOrNull(strReason);
    return JsonControlsEscaped(
               line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)) +
        "\n";
}

}  // namespace

CStatusHost FindStatusHost(const CHostFinder& finder, const std::string& strHost)
{
    const CHostMatch match = finder.Find(strHost);
    CStatusHost host;
    host.strName = match.strName.empty() ? strHost : match.strName;
    host.strIp = match.strIp;
    host.strMac = match.strMac;
    host.dwAddr = StoredAddress(match.strIp);
    if (match.source == EHostSource::NotFound)
        host.strProblem = match.strWhy;
    else if ((match.source == EHostSource::Address || match.source == EHostSource::Ethers) &&
             match.strIp.empty())
        host.strProblem = "no entry of the address book has its hardware address";
    return host;
}

std::vector<CStatusHost> BookHosts(const CSetList& book)
{
    std::vector<CStatusHost> hosts;
    for (const std::string& strEntry : book)
        hosts.push_back(HostOfEntry(strEntry));
    return hosts;
}

int RunStatus(const std::vector<CStatusHost>& hosts, bool bJson, const CAppServices& services)
{
    std::vector<CProbeTarget> targets;
    for (const CStatusHost& host : hosts)
        targets.push_back({host.strProblem.empty() ? host.dwAddr : 0, host.nIfIndex, host.strMac});
    CProgressLine progress(services.pProgress);
    CProbeOptions options;
    options.pStop = services.pStop;
    options.onTick = [&](const CProbeProgress& now) {
        progress.Show(std::to_string(now.nDone) + " of " + CountOf(now.nAll, "host", "hosts") +
                      " asked, " + std::to_string(now.nUp) + " up");
    };
    options.onNote = [&](const std::string& strNote) { services.pMessages->MessageBox(strNote); };
    std::vector<CProbeResult> results =
        CProbeEngine(*services.pPlatform, *services.pRoutes, *services.pNeighbours)
            .Probe(targets, options);
    progress.Clear();
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
    return StoppedExit(services) ?: bAllUp ? kExitOk : kExitSomeFailed;
}

uint32_t WaitAddressOfMac(const CSetList& book, INeighbourTable& neighbours,
                          const std::string& strMac)
{
    if (const std::string* pEntry = FindHostByMac(book, strMac))
        if (const uint32_t dwAddr = StoredAddress(EntryField(*pEntry, 1)))
            return dwAddr;
    std::vector<CNeighbourRow> rows;
    if (neighbours.GetTable(rows) != 0)
        return 0;
    for (const CNeighbourRow& row : rows)
        if (NeighbourMacText(row) == strMac)
            return row.dwAddr;
    return 0;
}

int WaitForHosts(std::vector<CWaitHost>& hosts, int nSeconds, const CAppServices& services,
                 const std::function<void()>& wake, bool bJson)
{
    std::vector<CProbeTarget> targets;
    for (const CWaitHost& host : hosts)
        targets.push_back({host.dwAddr, 0, host.strMac});
    const auto Seconds = [](int64_t nMs) { return static_cast<long long>((nMs + 500) / 1000); };
    // A line of text, or with bJson the host's object: state, seconds from
    // its wake (-1: none) and the reason.
    const auto Print = [&](const CWaitHost& host, const char* pszFormat, long long nSeconds,
                           const char* pszState = "down", const std::string& strReason = {}) {
        if (bJson)
            std::fputs(WaitJsonLine(host, pszState, nSeconds, strReason).c_str(), services.pOut);
        else
            std::fprintf(services.pOut, pszFormat, PrintableText(host.strName).c_str(), nSeconds,
                         strReason.c_str());
        std::fflush(services.pOut);
    };
    CProgressLine progress(services.pProgress);
    size_t nAll = 0, nUp = 0;
    int64_t nWokeMs = 0;
    const int64_t nStartUs = services.pPlatform->NowUs();
    CProbeOptions options;
    options.nUntilMs = nSeconds * 1000;
    options.pStop = services.pStop;
    // The wakes leave right after every host's first probe: an answer to
    // that probe means the host was up before its wake.
    options.onFirstProbes = [&] {
        nWokeMs = (services.pPlatform->NowUs() - nStartUs) / 1000;
        wake();
        nAll =
            std::count_if(hosts.begin(), hosts.end(), [](auto& h) { return h.bWoken && h.dwAddr; });
    };
    options.onTick = [&](const CProbeProgress& now) {
        if (nAll > nUp)
            progress.Show("waiting for " + std::to_string(nAll - nUp) + " of " +
                          CountOf(nAll, "host", "hosts") + ", " +
                          std::to_string((now.nElapsedMs - nWokeMs) / 1000) + " s");
    };
    options.onUp = [&](size_t i, const CProbeResult& result) {
        if (!hosts[i].bWoken)
            return;
        ++nUp;
        progress.Clear();
        if (result.nProbe == 0)
            Print(hosts[i], "%s was up before its wake\n", 0, "up", "up before its wake");
        else
            Print(hosts[i], "%s is up after %lld s\n", Seconds(result.nUpAtMs - nWokeMs), "up");
    };
    const std::vector<CProbeResult> results =
        CProbeEngine(*services.pPlatform, *services.pRoutes, *services.pNeighbours)
            .Probe(targets, options);
    const int64_t nElapsedMs = (services.pPlatform->NowUs() - nStartUs) / 1000 - nWokeMs;
    progress.Clear();

    bool bAllUp = true;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (!hosts[i].bWoken || results[i].state == EProbeState::Up)
            continue;
        bAllUp = false;
        if (hosts[i].dwAddr == 0)
            Print(hosts[i], "%s: no address to wait for\n", -1, "unknown",
                  "no address to wait for");
        else if (results[i].bOtherMac)
            Print(hosts[i], "%s is not up after %lld s: %s\n", Seconds(nElapsedMs), "down",
                  "its address is held by " + results[i].strMac);
        else
            Print(hosts[i], "%s is not up after %lld s\n", Seconds(nElapsedMs));
    }
    return StoppedExit(services) ?: bAllUp ? kExitOk : kExitSomeFailed;
}

int RunStatusCommand(const CCommandLine& line, CProfileName& profile, const CAppServices& services,
                     const std::function<int(const std::vector<CStatusHost>&)>& ask)
{
    CSetList book;
    book.AttachProfile(&profile, services.pFiles);
    book.LoadProfile();
    // Hosts given by address need no book; a missing default one holds no names.
    const CStatus& loaded = book.LoadStatus();
    if (!loaded.Ok() && (loaded.nError != ENOENT || line.HasProfile() || line.args.empty())) {
        services.pMessages->MessageBox(loaded.strError);
        return kExitNothingRan;
    }
    std::vector<CStatusHost> hosts;
    const CHostFinder finder(book, book.ProfilePath(), {services.pEthers, services.pResolver});
    for (const std::string& strHost : line.args)
        hosts.push_back(FindStatusHost(finder, strHost));
    if (line.args.empty())
        hosts = BookHosts(book);
    if (hosts.empty()) {
        services.pMessages->MessageBox(book.ProfilePath() + ": holds no host to ask about");
        return kExitSomeFailed;
    }
    return ask ? ask(hosts) : RunStatus(hosts, line.bJson, services);
}

int WaitForWoken(std::vector<CWaitHost>& hosts, int nSeconds, const CAppServices& services,
                 const std::function<void()>& wake, bool bJson)
{
    const CStopOnSignals stop;
    return WaitForHosts(hosts, nSeconds, services, wake, bJson);
}
