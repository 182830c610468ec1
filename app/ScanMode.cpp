#include "app/ScanMode.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <set>

#include <nlohmann/json.hpp>

#include "app/ExitStatus.h"
#include "app/Output.h"
#include "app/Progress.h"
#include "base/Address.h"
#include "base/MacText.h"
#include "base/PrintableText.h"
#include "base/Text.h"
#include "hosts/SetList.h"
#include "ui/MessageBox.h"

namespace {

// The name an entry of the host gets: its reverse name as File > Add stores
// a name, or its address.
std::string NameOf(const CScanHost& host)
{
    const std::string strName = EntryName(host.strName);
    return strName.empty() ? DottedText(host.dwAddr) : strName;
}

}  // namespace

std::string ScanEntry(const CScanHost& host)
{
    return NameOf(host) + " " + DottedText(host.dwAddr) + " " + host.strMac;
}

std::string ScanJsonLine(const CScanHost& host)
{
    nlohmann::ordered_json line;
    line["name"] = ShownUtf8(NameOf(host));
    line["ip"] = DottedText(host.dwAddr);
    line["mac"] = host.strMac;
    line["interface"] = ShownUtf8(host.strLink);
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

CAddCount AddScannedHosts(CSetList& hosts, const std::vector<CScanHost>& found)
{
    std::set<std::string> known;
    for (const std::string& strEntry : hosts)
        if (std::string strMac; ParseAnyMac(EntryField(strEntry, 2), strMac))
            known.insert(strMac);
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

namespace {

// The plan for the links the request names; false, having said why, when
// nothing can be scanned.
bool PlanFromLinks(const CScanRequest& request, const CAppServices& services, CScanPlan& plan)
{
    IMessageBox& messages = *services.pMessages;
    CScanRange range;
    std::string strError;
    if (request.bHasRange && !ParseScanRange(request.strRange, range, strError)) {
        messages.MessageBox("--scan=" + request.strRange + ": " + strError);
        return false;
    }
    std::vector<CLinkAddress> links;
    if (const int nError = services.pRoutes->LinkAddresses(links)) {
        messages.MessageBox("cannot list the network interfaces: " + ErrorText(nError));
        return false;
    }
    if (!request.strInterface.empty()) {
        std::erase_if(
            links, [&](const CLinkAddress& link) { return link.strLink != request.strInterface; });
        if (links.empty()) {
            messages.MessageBox(
                "--interface " + request.strInterface +
                ": no such interface that is up, can broadcast and holds an IPv4 address");
            return false;
        }
    }
    plan = PlanScan(links, request.bHasRange ? &range : nullptr);
    for (const std::string& strNote : plan.notes)
        messages.MessageBox(strNote);
    if (plan.strError.empty())
        return true;
    messages.MessageBox((request.bHasRange ? "--scan=" + request.strRange + ": " : std::string()) +
                        plan.strError);
    return false;
}

// What the caller watches of a scan: a progress line (addresses done, hosts
// found, the time left at its pace), a note when the neighbour table slows
// it, and a stop by Ctrl-C or SIGTERM.
CProbeOptions WatchScan(const CAppServices& services, const CScanPlan& plan)
{
    CProbeOptions options;
    options.pStop = services.pStop;
    auto pProgress = std::make_shared<CProgressLine>(services.pProgress);
    const size_t nAll = plan.targets.size();
    options.onTick = [pProgress, nAll](const CProbeProgress& now) {
        const int64_t nLeftS =
            static_cast<int64_t>((nAll - now.nDone) / CScanPacing().nPerSecond) + 1;
        pProgress->Show(std::to_string(now.nDone) + " of " + CountOf(nAll, "address", "addresses") +
                        ", " + CountOf(now.nUp, "host", "hosts") + " found, about " +
                        std::to_string(nLeftS) + " s left");
    };
    options.onNote = [pProgress, &services](const std::string& strNote) {
        pProgress->Clear();
        services.pMessages->MessageBox(strNote);
    };
    return options;
}

// Adds the hosts found to the book and saves it; the exit status.
int AddToBook(CSetList& book, const std::vector<CScanHost>& found, IMessageBox& messages)
{
    const CAddCount count = AddScannedHosts(book, found);
    if (count.nAdded > 0) {
        if (const CStatus saved = book.SaveProfile(); !saved.Ok()) {
            messages.MessageBox(saved.strError + " (no host added)");
            return kExitNothingRan;
        }
    }
    messages.MessageBox(CountOf(count.nAdded, "host", "hosts") + " added to " + book.ProfilePath() +
                        ", " + std::to_string(count.nKnown) + " known already");
    return kExitOk;
}

}  // namespace

int RunScanMode(const CScanRequest& request, CProfileName& profile, const CAppServices& services)
{
    IMessageBox& messages = *services.pMessages;
    // The book is read before anything is sent: one that can't be read is
    // never written, and there is no point in a scan that can't be kept.
    CSetList book;
    if (request.bAdd) {
        book.AttachProfile(&profile, services.pFiles);
        book.LoadProfile();
        if (book.IsProfileUnread() || book.ProfilePath().empty()) {
            messages.MessageBox(book.LoadStatus().strError + " (not scanned, nothing added)");
            return kExitNothingRan;
        }
    }
    CScanPlan plan;
    if (!PlanFromLinks(request, services, plan))
        return kExitNothingRan;

    CScanner scanner(*services.pPlatform, *services.pRoutes, *services.pNeighbours,
                     services.reverseLookup);
    const std::vector<CScanHost> found = scanner.Scan(plan.targets, WatchScan(services, plan));
    for (const CScanHost& host : found) {
        const std::string strLine =
            request.bJson ? ScanJsonLine(host) : PrintableText(ScanEntry(host));
        std::fprintf(services.pOut, "%s\n", strLine.c_str());
    }
    if (!OutputWritten(services.pOut))
        return kExitNothingRan;  // said once, when the mode ends
    messages.MessageBox(CountOf(found.size(), "host", "hosts") + " found among " +
                        CountOf(plan.targets.size(), "address", "addresses"));
    // Stopped: what was found so far is shown, and the book is left alone.
    if (const int nStopped = StoppedExit(services))
        return nStopped;
    if (request.bAdd && AddToBook(book, found, messages) != kExitOk)
        return kExitNothingRan;
    return found.empty() ? kExitSomeFailed : kExitOk;
}
