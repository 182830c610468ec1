#include "app/ScanMode.h"

#include <cerrno>
#include <cstdio>
#include <set>

#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "app/NuvikApp.h"
#include "app/StatusOutput.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Netlink.h"
#include "discovery/ProbePlatform.h"
#include "discovery/ScanRange.h"
#include "hosts/SetList.h"
#include "net/SocketLayer.h"
#include "ui/MessageBox.h"
#include "ui/PrintableText.h"

namespace {

const char kWhitespace[] = " \t\n\v\f\r";

std::string EntryName(std::string strName)
{
    const size_t nLast = strName.find_last_not_of(kWhitespace);
    strName.erase(nLast == std::string::npos ? 0 : nLast + 1);
    strName.erase(0, strName.find_first_not_of(kWhitespace));
    std::erase_if(strName, [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
    return strName;
}

std::string UpperCase(std::string str)
{
    for (char& c : str)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return str;
}

std::string Plural(size_t n, const char* pszOne, const char* pszMany)
{
    return std::to_string(n) + " " + (n == 1 ? pszOne : pszMany);
}

}  // namespace

std::string ScanEntry(const CScanHost& host)
{
    std::string strName = EntryName(host.strName);
    if (strName.empty())
        strName = DottedText(host.dwAddr);
    return strName + " " + DottedText(host.dwAddr) + " " + host.strMac;
}

std::string ScanJsonLine(const CScanHost& host)
{
    std::string strName = EntryName(host.strName);
    if (strName.empty())
        strName = DottedText(host.dwAddr);
    nlohmann::ordered_json line;
    line["name"] = ShownUtf8(strName);
    line["ip"] = DottedText(host.dwAddr);
    line["mac"] = host.strMac;
    line["interface"] = ShownUtf8(host.strLink);
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

CAddCount AddScannedHosts(CSetList& hosts, const std::vector<CScanHost>& found)
{
    std::set<std::string> known;
    for (const std::string& strEntry : hosts)
        known.insert(UpperCase(EntryField(strEntry, 2)));
    CAddCount count;
    for (const CScanHost& host : found) {
        if (!known.insert(host.strMac).second) {
            ++count.nKnown;
            continue;
        }
        hosts.AddOrReplaceHost(ScanEntry(host));
        ++count.nAdded;
    }
    return count;
}

int RunScanMode(const CScanRequest& request, CProfileName& profile, CScanModeServices& services)
{
    IMessageBox& messages = *services.pMessages;
    CScanRange range;
    std::string strError;
    if (request.bHasRange && !ParseScanRange(request.strRange, range, strError)) {
        messages.MessageBox("--scan=" + request.strRange + ": " + strError);
        return kExitNothingRan;
    }

    // The book is read before anything is sent: one that can't be read is
    // never written, and there is no point in a scan that can't be kept.
    CSetList hosts;
    if (request.bAdd) {
        hosts.AttachProfile(&profile, nullptr);
        if (!request.strProfile.empty())
            hosts.SelectProfile(request.strProfile);
        else
            hosts.LoadProfile();
        if (hosts.IsProfileUnread() || hosts.ProfilePath().empty()) {
            messages.MessageBox(hosts.LoadStatus().bOk
                                    ? "the address book has no place (no HOME or XDG_CONFIG_HOME)"
                                    : hosts.LoadStatus().strError +
                                        " (not scanned, nothing added)");
            return kExitNothingRan;
        }
    }

    std::vector<CLinkAddress> links;
    if (!services.pLinks->GetLinkAddresses(links)) {
        messages.MessageBox("cannot list the network interfaces: " + ErrorText(errno));
        return kExitNothingRan;
    }
    if (!request.strInterface.empty()) {
        std::erase_if(
            links, [&](const CLinkAddress& link) { return link.strLink != request.strInterface; });
        if (links.empty()) {
            messages.MessageBox(
                "--interface " + request.strInterface +
                ": no such interface that is up, can broadcast and holds an IPv4 address");
            return kExitNothingRan;
        }
    }
    const CScanPlan plan = PlanScan(links, request.bHasRange ? &range : nullptr);
    for (const std::string& strNote : plan.notes)
        messages.MessageBox(strNote);
    if (!plan.strError.empty()) {
        messages.MessageBox(
            (request.bHasRange ? "--scan=" + request.strRange + ": " : std::string()) +
            plan.strError);
        return kExitNothingRan;
    }

    const std::vector<CScanHost> found = services.pScanner->Scan(plan.targets);
    for (const CScanHost& host : found) {
        const std::string strLine =
            request.bJson ? ScanJsonLine(host) : PrintableText(ScanEntry(host));
        std::fprintf(services.pOut, "%s\n", strLine.c_str());
    }
    if (std::fflush(services.pOut) != 0 || std::ferror(services.pOut)) {
        messages.MessageBox("cannot write to standard output: " + ErrorText(errno));
        return kExitNothingRan;
    }
    messages.MessageBox(Plural(found.size(), "host", "hosts") + " found among " +
                        Plural(plan.targets.size(), "address", "addresses"));

    if (request.bAdd) {
        const CAddCount count = AddScannedHosts(hosts, found);
        if (count.nAdded > 0) {
            if (const CFileStatus saved = hosts.SaveProfile(); !saved.bOk) {
                messages.MessageBox(saved.strError + " (no host added)");
                return kExitNothingRan;
            }
        }
        messages.MessageBox(Plural(count.nAdded, "host", "hosts") + " added to " +
                            hosts.ProfilePath() + ", " + std::to_string(count.nKnown) +
                            " known already");
    }
    return found.empty() ? kExitSomeFailed : kExitOk;
}

int RunScanCommand(const std::string& strAppName, const CCommandLine& line)
{
    CStreamMessageBox messages(strAppName);
    CScanRequest request{line.bScanRange, line.strScanRange, line.bAdd,
                         line.bJson,      line.strProfile,   line.strInterface};
    CProfileName profile = CProfileName::Default(strAppName);
    CSystemLinkAddresses links;
    CPosixProbePlatform platform;
    CNetlinkRouteTable routes;
    CNetlinkNeighbourTable neighbours;
    CNetlinkNeighbourLoad load;
    CScanner scanner(platform, routes, neighbours, load, &SystemReverseLookup);
    CScanModeServices services{&links, &scanner, &messages, stdout};
    return RunScanMode(request, profile, services);
}
