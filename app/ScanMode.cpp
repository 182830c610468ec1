#include "app/ScanMode.h"

#include <cerrno>
#include <cstdio>
#include <set>

#include "app/NuvikApp.h"
#include "discovery/NeighbourTable.h"
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

// A JSON string: quotes, backslashes and control characters escaped; bytes
// that are not UTF-8 shown as PrintableText shows them.
std::string JsonString(const std::string& strText)
{
    const std::string strShown = PrintableText(strText);
    std::string strJson = "\"";
    for (const char c : strShown) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            strJson += '\\';
            strJson += c;
        } else if (b < 0x20 || b == 0x7F) {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\u%04x", b);
            strJson += sz;
        } else {
            strJson += c;
        }
    }
    return strJson + "\"";
}

std::string Plural(size_t n, const char* pszOne, const char* pszMany)
{
    return std::to_string(n) + " " + (n == 1 ? pszOne : pszMany);
}

} // namespace

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
    return "{\"name\": " + JsonString(strName) + ", \"ip\": \"" + DottedText(host.dwAddr) + "\", \"mac\": \"" +
           host.strMac + "\", \"interface\": " + JsonString(host.strLink) + "}";
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
            messages.MessageBox(hosts.LoadStatus().bOk ? "the address book has no place (no HOME or XDG_CONFIG_HOME)"
                                                       : hosts.LoadStatus().strError + " (not scanned, nothing added)");
            return kExitNothingRan;
        }
    }

    std::vector<CLinkAddress> links;
    if (!services.pLinks->GetLinkAddresses(links)) {
        messages.MessageBox("cannot list the network interfaces: " + ErrorText(errno));
        return kExitNothingRan;
    }
    const CScanPlan plan = PlanScan(links, request.bHasRange ? &range : nullptr);
    for (const std::string& strNote : plan.notes)
        messages.MessageBox(strNote);
    if (!plan.strError.empty()) {
        messages.MessageBox((request.bHasRange ? "--scan=" + request.strRange + ": " : std::string()) + plan.strError);
        return kExitNothingRan;
    }

    std::vector<CScanHost> found;
    if (!services.pScanner->Scan(plan.targets, found, strError)) {
        messages.MessageBox(strError);
        return kExitNothingRan;
    }
    for (const CScanHost& host : found) {
        const std::string strLine = request.bJson ? ScanJsonLine(host) : PrintableText(ScanEntry(host));
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
        messages.MessageBox(Plural(count.nAdded, "host", "hosts") + " added to " + hosts.ProfilePath() + ", " +
                            std::to_string(count.nKnown) + " known already");
    }
    return found.empty() ? kExitSomeFailed : kExitOk;
}

bool WantsScan(const std::vector<std::string>& args)
{
    for (const std::string& strArg : args) {
        if (strArg == "--")
            return false;
        if (strArg == "--scan" || strArg.rfind("--scan=", 0) == 0)
            return true;
    }
    return false;
}

int RunScanCommand(const std::string& strAppName, const std::vector<std::string>& args)
{
    CStreamMessageBox messages(strAppName);
    CScanRequest request;
    std::string strError;
    for (size_t n = 0; n < args.size() && strError.empty(); ++n) {
        const std::string& strArg = args[n];
        if (strArg == "--scan") {
        } else if (strArg.rfind("--scan=", 0) == 0) {
            request.bHasRange = true;
            request.strRange = strArg.substr(7);
        } else if (strArg == "--add") {
            request.bAdd = true;
        } else if (strArg == "--json") {
            request.bJson = true;
        } else if ((strArg == "--profile" || strArg == "-f") && n + 1 < args.size()) {
            request.strProfile = args[++n];
        } else if (strArg.rfind("--profile=", 0) == 0) {
            request.strProfile = strArg.substr(10);
        } else {
            strError = strArg + ": not an option of --scan";
        }
    }
    if (!strError.empty()) {
        messages.MessageBox(strError + "; see --help");
        return kExitNothingRan;
    }
    CProfileName profile = CProfileName::Default(strAppName);
    CSystemLinkAddresses links;
    CPosixSocketLayer sockets;
    CNetlinkNeighbourTable neighbours;
    CNetlinkNeighbourLoad load;
    CScanner scanner(sockets, neighbours, load, &SystemReverseLookup);
    CScanModeServices services{&links, &scanner, &messages, stdout};
    return RunScanMode(request, profile, services);
}
