// The hosts window's workers: the prober and the scan. Each has a probe kit
// of its own and holds the book's mutex only to read its targets and to
// write what it found, never while it waits on the network.
#include <chrono>

#include "base/Address.h"
#include "base/MacText.h"
#include "base/Text.h"
#include "discovery/BookMerge.h"
#include "discovery/ProbeEngine.h"
#include "ui/HostsBook.h"

void CHostsBook::Attach(IHostsView* pView, IMessageBox* pMessages)
{
    if (pView == nullptr) {
        {
            std::lock_guard lock(m_mutex);
            m_bClosing = true;
            m_nStopProbe = 1;
            m_nStopScan = 1;
            m_pView = nullptr;
            m_pMessages = nullptr;
        }
        m_wake.notify_all();
        for (std::thread* pThread : {&m_prober, &m_scanner})
            if (pThread->joinable())
                pThread->join();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_pView = pView;
        m_pMessages = pMessages;
        m_bClosing = false;
        m_nStopProbe = 0;
        m_bAskNow = true;
        if (m_services.makeProbeKit)
            m_pWakeKit = m_services.makeProbeKit();
    }
    if (!m_prober.joinable())
        m_prober = std::thread(&CHostsBook::ProbeLoop, this);
}

void CHostsBook::SetShown(bool bShown)
{
    std::lock_guard lock(m_mutex);
    m_bAskNow = bShown && !m_bShown;
    m_bShown = bShown;
    m_wake.notify_all();
}

void CHostsBook::ProbeLoop()
{
    const std::unique_ptr<CProbeKit> pKit = m_services.makeProbeKit();
    std::unique_lock lock(m_mutex);
    int64_t nNextRoundMs = 0;
    while (!m_bClosing) {
        const bool bAll = m_bShown && (m_bAskNow || NowMs() >= nNextRoundMs);
        m_bWoken = false;
        std::vector<uint64_t> ids;
        std::vector<CProbeTarget> targets;
        for (const CHostRow& row : m_rows)
            if (bAll || row.state == EHostState::Waking) {
                ids.push_back(row.nId);
                targets.push_back({StoredAddress(row.strIp), 0, row.strMac});
            }
        if (!targets.empty()) {
            m_bAskNow = false;
            lock.unlock();
            CProbeOptions options;
            options.pStop = &m_nStopProbe;
            options.onDecided = [&](size_t i, const CProbeResult& result) {
                std::lock_guard decided(m_mutex);
                if (!m_bClosing)
                    Apply(ids[i], result, NowMs());
                if (m_pView)
                    m_pView->RowsChanged();
            };
            CProbeEngine(*pKit->pPlatform, *pKit->pRoutes, *pKit->pNeighbours)
                .Probe(targets, options);
            lock.lock();
            if (m_bClosing)
                break;
            if (bAll)
                nNextRoundMs = NowMs() + kHostsRoundMs;
            Changed();
        }
        const bool bWaking = std::any_of(m_rows.begin(), m_rows.end(), [](const CHostRow& row) {
            return row.state == EHostState::Waking;
        });
        const int64_t nWaitMs = bWaking ? 1000
            : m_bShown                  ? std::max<int64_t>(nNextRoundMs - NowMs(), 0)
                                        : kHostsRoundMs;
        m_wake.wait_for(lock, std::chrono::milliseconds(nWaitMs),
                        [this] { return m_bClosing || m_bWoken || (m_bAskNow && m_bShown); });
    }
}

// What a probe found, into the row when it is still listed. A woken host
// stays waking until it answers, or until kWakingMs have passed.
void CHostsBook::Apply(uint64_t nId, const CProbeResult& result, int64_t nNowMs)
{
    if (CHostRow* pRow = RowOf(nId)) {
        const bool bWaking = pRow->state == EHostState::Waking;
        if (result.state == EProbeState::Up) {
            pRow->state = EHostState::Up;
            pRow->strHow = ProbeHowName(result.how);
            pRow->dRttMs = result.dRttMs;
            pRow->nLastSeenMs = nNowMs;
            pRow->strReason.clear();
            if (bWaking) {
                const std::string strLine = pRow->strName + ": up " +
                    std::to_string((nNowMs - pRow->nWokenMs + 500) / 1000) + " s after the wake";
                Tell(strLine);
                if (m_waitFor.erase(pRow->nId) && m_pView)
                    m_pView->HostUp(pRow->strName, strLine);
            }
        } else if (bWaking) {
            if (nNowMs - pRow->nWokenMs < kWakingMs)
                return;
            pRow->state = EHostState::Down;
            m_waitFor.erase(pRow->nId);
            Tell(pRow->strName + ": no answer " + std::to_string(kWakingMs / 1000) +
                 " s after the wake");
        } else {
            pRow->state =
                result.state == EProbeState::Down ? EHostState::Down : EHostState::Unknown;
            pRow->strHow.clear();
            pRow->strReason = result.strReason;
        }
    }
}

void CHostsBook::StartScan()
{
    if (m_bScanning.exchange(true))
        return Tell("A scan is running already (Escape cancels it).");
    if (m_scanner.joinable())
        m_scanner.join();
    m_nStopScan = 0;
    m_scanner = std::thread(&CHostsBook::ScanLoop, this);
}

void CHostsBook::CancelScan() { m_nStopScan = 1; }

// The scan of the attached links, as --scan --add merges it: a known host
// at a new address is updated in the book; a new one becomes a new row.
void CHostsBook::ScanLoop()
{
    const std::unique_ptr<CProbeKit> pKit = m_services.makeProbeKit();
    std::vector<CLinkAddress> links;
    const int nError = pKit->pRoutes->LinkAddresses(links);
    const CScanPlan plan = PlanScan(links, nullptr);
    IHostsView* pView = nullptr;
    {
        std::lock_guard lock(m_mutex);
        pView = m_pView;
    }
    if (nError || !plan.strError.empty()) {
        Tell("Scan: " +
             (nError ? "cannot list the network interfaces: " + ErrorText(nError) : plan.strError));
        m_bScanning = false;
        if (pView)
            pView->ScanProgress(0, 0, 0, true);
        return;
    }
    CProbeOptions options;
    options.pStop = &m_nStopScan;
    options.onTick = [&](const CProbeProgress& now) {
        if (pView)
            pView->ScanProgress(now.nDone, now.nAll, now.nUp, false);
    };
    const std::vector<CScanHost> found =
        CScanner(*pKit->pPlatform, *pKit->pRoutes, *pKit->pNeighbours, m_services.reverseLookup)
            .Scan(plan.targets, options);
    std::unique_lock lock(m_mutex);
    m_bScanning = false;
    if (m_nStopScan) {
        Tell("Scan cancelled: " + CountOf(found.size(), "host", "hosts") +
             " found so far, nothing changed.");
    } else {
        MergeScan(found);
    }
    if (m_pView)
        m_pView->ScanProgress(found.size(), plan.targets.size(), found.size(), true);
}

// What a scan found, into the book as --scan --add merges it, under the
// book's lock and on the book as it is now: a known host at a new address
// is updated in the book; a new one becomes a new row. m_mutex held.
void CHostsBook::MergeScan(const std::vector<CScanHost>& found)
{
    CStatus status = m_book.LockProfile();
    if (status.Ok() && m_book.ReplaceRisk() == CSetList::EReplaceRisk::ChangedOnDisk) {
        m_book.RemoveAll();
        m_book.LoadProfile();
    }
    const CAddCount count = MergeScannedHosts(m_book, found, false);
    if (status.Ok() && count.nUpdated > 0)
        status = m_book.SaveProfile();
    m_book.UnlockProfile();
    if (!status.Ok()) {  // what the file holds stays
        m_book.RemoveAll();
        m_book.LoadProfile();
    }
    RebuildRows(true);
    const int64_t nNowMs = NowMs();
    for (const CScanHost& host : count.fresh) {
        CHostRow row;
        row.nId = m_nNextId++;
        row.strName = host.strName;
        row.strIp = DottedText(host.dwAddr);
        row.strMac = host.strMac;
        row.strMacShown = MacShownText(row.strMac);
        row.bNew = true;
        row.state = EHostState::Up;
        row.strHow = "neighbour";
        row.nLastSeenMs = nNowMs;
        std::erase_if(m_rows,
                      [&](const CHostRow& old) { return old.bNew && old.strMac == row.strMac; });
        m_rows.push_back(std::move(row));
    }
    for (const std::string& strNote : count.notes)
        Tell(strNote);
    std::string strLine = "Scan: " + CountOf(found.size(), "host", "hosts") + " found, " +
        std::to_string(count.fresh.size()) + " new";
    if (count.nUpdated > 0)
        strLine += ", " + std::to_string(count.nUpdated) +
            (status.Ok()
                 ? " at a new address (updated in the address book)"
                 : " at a new address, but the address book was not saved: " + status.strError);
    Tell(strLine);
    Changed();
}
