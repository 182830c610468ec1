#pragma once
// The hosts window's core: every entry of the address book as a row with its
// live state, the hosts a scan found beside them, and the actions on them.
// Two workers run beside the window's thread: the prober (every host when
// the window opens and every 10 s while it is shown, a woken host every
// second until it answers) and the scan. Neither holds a lock while it
// waits on the network, so a wake or an edit is never held back.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <signal.h>
#include <thread>
#include <unordered_map>
#include <vector>

#include "discovery/ProbeKit.h"
#include "discovery/Scanner.h"
#include "hosts/SetList.h"
#include "ui/HostsEvents.h"
#include "wake/Waker.h"

class ISocketLayer;
struct CProbeTarget;
struct CProbeResult;

struct CHostsServices {
    ISocketLayer* pSockets = nullptr;
    CProfileName* pProfile = nullptr;  // where the address book lives
    IFileSystem* pFiles = nullptr;     // and what reads and writes it
    ProbeKitFactory makeProbeKit;      // one for each thread that probes or wakes
    ReverseLookup reverseLookup;       // the scan's names
    CWakeOptions wake;                 // the delivery options
    std::function<int64_t()> nowMs;    // a monotonic clock
};

// How often every host is asked, and how long a woken one is waited for.
constexpr int64_t kHostsRoundMs = 10000;
constexpr int64_t kWakingMs = 120000;

class CHostsBook : public IHostsEvents {
public:
    explicit CHostsBook(CHostsServices services);
    ~CHostsBook() override;

    // Reads the address book; its status (a book that can't be read is kept,
    // and the window says why).
    CStatus Load();

    void Attach(IHostsView* pView, IMessageBox* pMessages) override;
    std::string BookPath() override;
    std::vector<CHostRow> Rows() override;
    int64_t NowMs() override { return m_services.nowMs(); }
    void SetShown(bool bShown) override;
    void CheckBook() override;
    void Wake(const std::vector<uint64_t>& ids, bool bWait) override;
    void StartScan() override;
    void CancelScan() override;
    void Add(const std::vector<uint64_t>& ids) override;
    bool Edit(uint64_t nId, const std::string& strName, const std::string& strIp,
              const std::string& strMac, std::string& strError) override;
    void Delete(const std::vector<uint64_t>& ids) override;

private:
    void RebuildRows(bool bKeepStates);     // from the book; m_mutex held
    CHostRow* RowOf(uint64_t nId);          // m_mutex held
    bool Save(const std::string& strWhat);  // m_mutex held; asks when the book is at risk
    void Tell(const std::string& strLine);
    void Changed();

    void ProbeLoop();
    void Apply(uint64_t nId, const CProbeResult& result, int64_t nNowMs);  // m_mutex held
    void ScanLoop();
    void MergeScan(const std::vector<CScanHost>& found);

    CHostsServices m_services;
    // Recursive: a question a save asks runs the window's events, which may
    // read the rows.
    std::recursive_mutex m_mutex;
    std::condition_variable_any m_wake;  // the prober's: something changed
    CSetList m_book;
    std::vector<CHostRow> m_rows;  // the book's entries in its order, then new hosts
    std::unordered_map<uint64_t, size_t> m_rowIndex;  // id -> index in m_rows, once looked up
    std::set<uint64_t> m_waitFor;                     // woken with "Wake and wait"
    uint64_t m_nNextId = 1;
    bool m_bShown = true;
    bool m_bClosing = false;
    bool m_bAskNow = true;   // the next round asks every host at once
    bool m_bWoken = false;   // hosts were woken: the prober asks them now
    bool m_bInSave = false;  // a save is asking: the book is not read again meanwhile
    IHostsView* m_pView = nullptr;
    IMessageBox* m_pMessages = nullptr;
    std::unique_ptr<CProbeKit> m_pWakeKit;  // the window thread's
    volatile sig_atomic_t m_nStopProbe = 0;
    volatile sig_atomic_t m_nStopScan = 0;
    std::atomic<bool> m_bScanning = false;
    std::thread m_prober;
    std::thread m_scanner;
};
