#pragma once
// The hosts window's boundary: the rows it shows, what it asks of the hosts
// book (the core side: the address book, the prober, the waker, the scan)
// and what the book tells it. The window calls IHostsEvents on its own
// thread; the book calls IHostsView from its workers too, so the window
// hands each call over to its own thread.
#include <cstdint>
#include <string>
#include <vector>

class IMessageBox;

enum class EHostState {
    Unknown,  // not probed yet, or no way to probe it (strReason says why)
    Up,       // it answered (strHow says how)
    Down,     // nothing answered
    Waking,   // woken, not answered yet (nWokenMs: when its wake left)
};

struct CHostRow {
    uint64_t nId = 0;  // the host's, for as long as the window is open
    std::string strName;
    std::string strIp;
    std::string strMac;       // as the book stores it
    std::string strMacShown;  // "00:11:22:33:44:55", or as stored when it is no address
    bool bNew = false;        // found by a scan, not in the book
    EHostState state = EHostState::Unknown;
    std::string strHow;        // up: "echo", "neighbour" or "tcp"
    std::string strReason;     // unknown or down: why, where there is more to say
    double dRttMs = -1;        // its last answer's round-trip time; -1: none measured
    int64_t nLastSeenMs = -1;  // when it last answered, on NowMs()'s clock; -1: never
    int64_t nWokenMs = -1;     // waking: when its wake left
};

// What the book tells the window. Any thread may call it.
class IHostsView {
public:
    virtual ~IHostsView() = default;
    // The rows changed (states, the list): read Rows() again.
    virtual void RowsChanged() = 0;
    // One line for the status bar: what an action did, or why it failed.
    virtual void Say(const std::string& strLine) = 0;
    // A host woken with "Wake and wait" answered (the window tells the
    // desktop when it is not the active one).
    virtual void HostUp(const std::string& strName, const std::string& strLine) = 0;
    // A scan went on, or ended (bEnded).
    virtual void ScanProgress(size_t nDone, size_t nAll, size_t nFound, bool bEnded) = 0;
};

// What the window asks of the book, on the window's thread.
class IHostsEvents {
public:
    virtual ~IHostsEvents() = default;

    // Connects the window; the book starts probing. Null detaches, and the
    // workers stop.
    virtual void Attach(IHostsView* pView, IMessageBox* pMessages) = 0;
    // The address book's path, for the title.
    virtual std::string BookPath() = 0;
    virtual std::vector<CHostRow> Rows() = 0;
    // The clock of nLastSeenMs and nWokenMs, in milliseconds.
    virtual int64_t NowMs() = 0;
    // Hosts are probed every 10 s while the window is shown.
    virtual void SetShown(bool bShown) = 0;
    // Reads the book again when another program changed it, keeping the
    // states. The window calls it every second or so.
    virtual void CheckBook() = 0;

    // The actions, each on the rows given. Every one says what it did.
    virtual void Wake(const std::vector<uint64_t>& ids, bool bWait) = 0;
    virtual void StartScan() = 0;
    virtual void CancelScan() = 0;
    virtual void Add(const std::vector<uint64_t>& ids) = 0;  // new rows into the book
    // Name, IPv4 address (or empty) and hardware address in any common form;
    // false with the reason in strError when the entry can't be so.
    virtual bool Edit(uint64_t nId, const std::string& strName, const std::string& strIp,
                      const std::string& strMac, std::string& strError) = 0;
    virtual void Delete(const std::vector<uint64_t>& ids) = 0;
};
