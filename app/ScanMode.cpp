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
    return JsonControlsEscaped(
        line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

bool ScanHostOfJson(const std::string& strLine, CScanHost& host)
{
    const nlohmann::json line = nlohmann::json::parse(strLine, nullptr, false);
    if (!line.is_object())
        return false;
    const auto Text = [&](const char* pszKey) {
        const auto it = line.find(pszKey);
        return it != line.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    host = {0, Text("interface"), Text("mac"), Text("name")};
    std::string strMac;
    return ParseDotted(Text("ip"), host.dwAddr) && ParseAnyMac(host.strMac, strMac) &&
        strMac == host.strMac;
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

// Adds the hosts found to the book and saves it, under the book's lock:
// read afresh, so that what another run saved meanwhile stays. The exit
// status.
int AddToBook(CSetList& book, const std::vector<CScanHost>& found, IMessageBox& messages)
{
    const auto Refused = [&](const CStatus& status) {
        messages.MessageBox(status.strError + " (no host added)");
        return kExitNothingRan;
    };
    if (const CStatus locked = book.LockProfile(); !locked.Ok())
        return Refused(locked);
    book.RemoveAll();
    book.LoadProfile();
    if (book.IsProfileUnread())
        return Refused(book.LoadStatus());
    const CAddCount count = MergeScannedHosts(book, found);
    for (const std::string& strNote : count.notes)
        messages.MessageBox(strNote);
    if (book.IsChanged())
        if (const CStatus saved = book.SaveProfile(); !saved.Ok())
            return Refused(saved);
    book.UnlockProfile();
    messages.MessageBox(CountOf(count.nAdded, "host", "hosts") + " added to " + book.ProfilePath() +
                        ", " + std::to_string(count.nUpdated) + " updated, " +
                        std::to_string(count.nKnown) + " known already");
    return kExitOk;
}

}  // namespace

int RunScanMode(const CScanRequest& request, CProfileName& profile, const CAppServices& services,
                const ScanElsewhere& elsewhere)
{
    IMessageBox& messages = *services.pMessages;
    // The book is read before anything is sent: one that can't be read is
    // never written, and there is no point in a scan that can't be kept.
    // Its lock, taken and given back, shows that its place can take files.
    CSetList book;
    if (request.bAdd) {
        book.AttachProfile(&profile, services.pFiles);
        book.LoadProfile();
        const bool bUsable = !book.IsProfileUnread() && !book.ProfilePath().empty();
        if (const CStatus status = bUsable ? book.LockProfile() : book.LoadStatus(); !status.Ok()) {
            messages.MessageBox(status.strError + " (not scanned, nothing added)");
            return kExitNothingRan;
        }
        book.UnlockProfile();
    }
    std::vector<CScanHost> found;
    int nExit = kExitOk;
    CScanPlan plan;
    if (elsewhere) {
        nExit = elsewhere(found);  // which said how many it found
    } else {
        if (!PlanFromLinks(request, services, plan))
            return kExitNothingRan;
        CScanner scanner(*services.pPlatform, *services.pRoutes, *services.pNeighbours,
                         services.reverseLookup);
        found = scanner.Scan(plan.targets, WatchScan(services, plan));
    }
    for (const CScanHost& host : found) {
        const std::string strLine =
            request.bJson ? ScanJsonLine(host) : PrintableText(ScanEntry(host));
        std::fprintf(services.pOut, "%s\n", strLine.c_str());
    }
    if (!OutputWritten(services.pOut))
        return kExitNothingRan;  // said once, when the mode ends
    if (!elsewhere)
        messages.MessageBox(CountOf(found.size(), "host", "hosts") + " found among " +
                            CountOf(plan.targets.size(), "address", "addresses"));
    // Stopped: what was found so far is shown, and the book is left alone.
    if (const int nStopped = StoppedExit(services))
        return nStopped;
    if (nExit >= kExitStopped || nExit == kExitNothingRan)
        return nExit;
    if (request.bAdd && AddToBook(book, found, messages) != kExitOk)
        return kExitNothingRan;
    return found.empty() ? kExitSomeFailed : kExitOk;
}
