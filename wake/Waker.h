#pragma once
// Waking hosts. CWaker sends a host's magic packet where the delivery
// options and the kernel's routes say, from the wake port, and describes
// each datagram that left; it runs batches in rounds when each host is to
// get several. WakeEntries wakes the entries of an address book.
#include <functional>
#include <string>
#include <vector>

#include "wake/LinkChooser.h"

class ISocketLayer;
class CSetList;

// A host to wake: a book entry's three fields. strMac is a hardware address
// text; strIp, when it holds an address, chooses the link.
struct CWakeHost {
    std::string strName;
    std::string strIp;
    std::string strMac;
};

// What became of one wake.
struct CWakeOutcome {
    enum class EStatus { Sent, InvalidMac, SendFailed };
    EStatus status = EStatus::InvalidMac;
    // SendFailed: the failed step and the system's text; Sent: the
    // interfaces that did not take it, if any.
    std::string strReason;
    // Sent: the interfaces it left by, with why ("br0, the host's own link").
    std::string strSentBy;
};

// The pause between two rounds of datagrams.
constexpr int kRepeatPauseMs = 50;

struct CWakeOptions {
    CDelivery delivery;                   // destination, port and interface
    int nRepeat = 1;                      // datagrams per host, in rounds
    void (*pfnPause)(int nMs) = nullptr;  // between rounds; null: none
    // A line for each datagram that left ("nas 001122334455 to
    // 255.255.255.255 port 4000 by eth0 (default route)"), when wanted.
    std::function<void(const std::string&)> onDatagram;
    // The outcome tells the interfaces a datagram left by (strSentBy).
    bool bSentBy = false;
};

class CWaker {
public:
    CWaker(ISocketLayer& sockets, IRouteTable* pRoutes, CWakeOptions options = {});

    // Sends one magic packet for the host from local UDP port 4000 (all
    // addresses) with broadcast permission. With no route for the limited
    // broadcast at all, it goes once out of every interface that can
    // broadcast, and counts as sent when one of them took it. One socket,
    // closed on every path.
    CWakeOutcome Wake(const CWakeHost& host);

    // Runs wake(i, bFirst) for each of nHosts hosts, once per datagram each
    // is to get: every host once, then again, kRepeatPauseMs apart. bFirst
    // marks the first round, which alone reports.
    void InRounds(size_t nHosts, const std::function<void(size_t, bool)>& wake);

    // A batch reads the routes once; after this they are read afresh.
    void Forget() { m_links.Forget(); }

private:
    ISocketLayer& m_sockets;
    CWakeOptions m_options;
    CLinkChooser m_links;
};

// What became of one entry of a book: its key in the profile's list ("0",
// "1", ...), the entry as loaded, and the outcome of its wake.
struct CBatchItem {
    std::string strKey;
    std::string strEntry;
    CWakeOutcome outcome;
};

// Wakes every entry of the book, head to tail, by its third field (an entry
// with fewer fields wakes nothing), on the link of its second, through
// wakeOne, in the waker's rounds. Returns what became of each entry in the
// first round.
std::vector<CBatchItem> WakeEntries(const CSetList& book, CWaker& waker,
                                    const std::function<CWakeOutcome(const CWakeHost&)>& wakeOne);
