#include "discovery/Scanner.h"

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "discovery/EchoRequest.h"
#include "discovery/MacScan.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Netlink.h"
#include "net/SocketLayer.h"

namespace {

using Clock = std::chrono::steady_clock;

const unsigned kNameThreads = 8;  // the system resolver has no asynchronous reverse look-up

// Room kept free below a limit, for whatever else the system resolves meanwhile.
unsigned Margin(unsigned nLimit) { return std::max(32u, nLimit / 16); }

// Reverse look-ups on a few worker threads. The workers share their state
// with the pool, so that one still waiting for a slow resolver when the pool
// is done with finds it alive; it then ends.
class CNamePool {
public:
    explicit CNamePool(ReverseLookup lookup) : m_pShared(std::make_shared<CShared>()) { m_pShared->lookup = std::move(lookup); }
    ~CNamePool()
    {
        std::lock_guard lock(m_pShared->mutex);
        m_pShared->bClosed = true;
        m_pShared->queue.clear();
        m_pShared->wake.notify_all();
    }

    size_t Add(uint32_t dwAddr)
    {
        std::lock_guard lock(m_pShared->mutex);
        if (m_nThreads < kNameThreads) {
            ++m_nThreads;
            std::thread(Work, m_pShared).detach();
        }
        m_pShared->names.emplace_back();
        m_pShared->addresses.push_back(dwAddr);
        m_pShared->queue.push_back(m_pShared->names.size() - 1);
        m_pShared->wake.notify_one();
        return m_pShared->names.size() - 1;
    }

    // The names that came by the deadline; empty texts for the others.
    std::vector<std::string> Collect(Clock::time_point deadline)
    {
        std::unique_lock lock(m_pShared->mutex);
        m_pShared->done.wait_until(lock, deadline, [&] { return m_pShared->nDone == m_pShared->names.size(); });
        std::vector<std::string> names;
        for (const auto& name : m_pShared->names)
            names.push_back(name.value_or(std::string()));
        return names;
    }

private:
    struct CShared {
        std::mutex mutex;
        std::condition_variable wake, done;
        std::deque<size_t> queue;
        std::vector<std::optional<std::string>> names;
        std::vector<uint32_t> addresses;
        size_t nDone = 0;
        bool bClosed = false;
        ReverseLookup lookup;
    };

    static void Work(std::shared_ptr<CShared> pShared)
    {
        std::unique_lock lock(pShared->mutex);
        for (;;) {
            pShared->wake.wait(lock, [&] { return pShared->bClosed || !pShared->queue.empty(); });
            if (pShared->queue.empty())
                return;
            const size_t n = pShared->queue.front();
            pShared->queue.pop_front();
            const uint32_t dwAddr = pShared->addresses[n];
            lock.unlock();
            std::string strName;
            const bool bFound = pShared->lookup(dwAddr, strName);
            lock.lock();
            pShared->names[n] = bFound ? strName : std::string();
            ++pShared->nDone;
            pShared->done.notify_all();
        }
    }

    std::shared_ptr<CShared> m_pShared;
    unsigned m_nThreads = 0;
};

// An entry that holds a hardware address the kernel stands by.
bool HoldsHardwareAddress(const CNeighbourRow& row)
{
    const uint16_t wHolds = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT | NUD_NOARP;
    return (row.wState & wHolds) && row.dwPhysAddrLen == 6;
}

std::string MacText(const CNeighbourRow& row)
{
    std::string strMac;
    char sz[3];
    for (unsigned n = 0; n < 6; ++n) {
        std::snprintf(sz, sizeof sz, "%02X", row.bPhysAddr[n]);
        strMac += sz;
    }
    return strMac;
}

} // namespace

bool SystemReverseLookup(uint32_t dwAddr, std::string& strName)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwAddr;
    char szHost[NI_MAXHOST];
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, szHost, sizeof szHost, nullptr, 0,
                      NI_NAMEREQD) != 0)
        return false;
    strName = szHost;
    return true;
}

bool CNetlinkNeighbourLoad::GetLoad(CNeighbourLoad& load)
{
    CNetlinkSocket netlink;
    if (!netlink.Open())
        return false;
    struct {
        nlmsghdr header;
        ndtmsg table;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.table);
    request.header.nlmsg_type = RTM_GETNEIGHTBL;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.table.ndtm_family = AF_INET;
    CNeighbourLoad found;
    bool bSeen = false;
    const ENetlinkStep step = netlink.Transact(request.header, [&](const void* pData, size_t nLength, uint32_t nSeq) {
        int nLeft = static_cast<int>(nLength);
        for (auto* pHeader = static_cast<const nlmsghdr*>(pData); NLMSG_OK(pHeader, nLeft);
             pHeader = NLMSG_NEXT(pHeader, nLeft)) {
            if (pHeader->nlmsg_seq != nSeq)
                continue;
            if (pHeader->nlmsg_type == NLMSG_DONE)
                return ENetlinkStep::Done;
            if (pHeader->nlmsg_type == NLMSG_ERROR)
                return ENetlinkStep::Error;
            if (pHeader->nlmsg_type != RTM_NEWNEIGHTBL || pHeader->nlmsg_len < NLMSG_LENGTH(sizeof(ndtmsg)))
                continue;
            // The table's own message carries its name and limits; the
            // messages per interface carry none of them.
            CNeighbourLoad table;
            bool bName = false, bConfig = false;
            int nAttrLeft = static_cast<int>(pHeader->nlmsg_len - NLMSG_LENGTH(sizeof(ndtmsg)));
            for (auto* pAttr = reinterpret_cast<const rtattr*>(static_cast<const char*>(NLMSG_DATA(pHeader)) +
                                                                NLMSG_ALIGN(sizeof(ndtmsg)));
                 RTA_OK(pAttr, nAttrLeft); pAttr = RTA_NEXT(pAttr, nAttrLeft)) {
                const size_t nPayload = RTA_PAYLOAD(pAttr);
                if (pAttr->rta_type == NDTA_NAME)
                    bName = std::strncmp(static_cast<const char*>(RTA_DATA(pAttr)), "arp_cache", nPayload) == 0;
                else if (pAttr->rta_type == NDTA_THRESH2 && nPayload == 4)
                    std::memcpy(&table.nThresh2, RTA_DATA(pAttr), 4);
                else if (pAttr->rta_type == NDTA_THRESH3 && nPayload == 4)
                    std::memcpy(&table.nThresh3, RTA_DATA(pAttr), 4);
                else if (pAttr->rta_type == NDTA_CONFIG && nPayload >= sizeof(ndt_config)) {
                    ndt_config config;
                    std::memcpy(&config, RTA_DATA(pAttr), sizeof config);
                    table.nEntries = config.ndtc_entries;
                    bConfig = true;
                }
            }
            if (bName && bConfig) {
                found = table;
                bSeen = true;
            }
        }
        return ENetlinkStep::More;
    });
    if (step != ENetlinkStep::Done || !bSeen)
        return false;
    load = found;
    return true;
}

unsigned ScanBudget(const CNeighbourLoad& load, size_t nScanSize, size_t nInFlight)
{
    const uint64_t nUsed = uint64_t{load.nEntries} + nInFlight;
    const unsigned nSoft = load.nThresh2 > Margin(load.nThresh2) ? load.nThresh2 - Margin(load.nThresh2) : 0;
    const unsigned nLimit = uint64_t{load.nEntries} + nScanSize <= nSoft
                                ? nSoft
                                : (load.nThresh3 > Margin(load.nThresh3) ? load.nThresh3 - Margin(load.nThresh3) : 0);
    return nUsed >= nLimit ? 0 : static_cast<unsigned>(nLimit - nUsed);
}

bool CScanner::Scan(const std::vector<CScanTarget>& targets, std::vector<CScanHost>& hosts, std::string& strError)
{
    hosts.clear();
    m_nPeak = 0;
    if (targets.empty())
        return true;
    const int hSocket = m_sockets.Socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (hSocket < 0) {
        strError = "cannot open a UDP socket: " + ErrorText(m_sockets.LastError());
        return false;
    }

    struct CProbe {
        size_t nTarget;
        Clock::time_point sent;
    };
    std::vector<CProbe> waiting;
    std::vector<std::pair<size_t, std::string>> found;  // target, hardware address
    CNamePool names(m_lookup);
    std::vector<size_t> nameOf;
    Clock::time_point lastFound = Clock::now();

    CNeighbourLoad load;
    bool bLoad = m_load.GetLoad(load);
    size_t nSinceLoad = 0;
    size_t nNext = 0, nFailedSends = 0;
    int nLastError = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point nextPoll = start + std::chrono::milliseconds(m_pacing.nPollMs);
    const auto interval = std::chrono::nanoseconds(1000000000 / std::max(1u, m_pacing.nPerSecond));
    Clock::time_point nextSend = start;
    std::vector<CNeighbourRow> rows;

    while (nNext < targets.size() || !waiting.empty()) {
        Clock::time_point now = Clock::now();
        bool bHeld = false;  // the table has no room now
        while (nNext < targets.size() && nextSend <= now) {
            // Without the table's limits, a batch of a sixteenth of the usual table.
            const unsigned nBudget = bLoad ? ScanBudget(load, targets.size(), nSinceLoad)
                                           : (nSinceLoad < 64 ? 1u : 0u);
            if (nBudget == 0) {
                bHeld = true;
                break;
            }
            const CScanTarget& target = targets[nNext];
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(kDiscardPort);
            to.sin_addr.s_addr = target.dwAddr;
            if (m_sockets.SendMsg(hSocket, "", 0, 0, to, target.nIndex) < 0) {
                const int nError = m_sockets.LastError();
                if (nError == EAGAIN || nError == EWOULDBLOCK || nError == ENOBUFS) {
                    bHeld = true;  // the queue is full: the next round tries again
                    break;
                }
                nLastError = nError;
                ++nFailedSends;
            } else {
                waiting.push_back({nNext, now});
            }
            ++nNext;
            ++nSinceLoad;
            // No burst to catch up after a pause: the rate holds from now on.
            nextSend = std::max(nextSend, now - 5 * interval) + interval;
        }

        if (now >= nextPoll || (nNext == targets.size() && !waiting.empty())) {
            if (now < nextPoll)
                std::this_thread::sleep_until(nextPoll);
            now = Clock::now();
            nextPoll = now + std::chrono::milliseconds(m_pacing.nPollMs);
            const bool bRows = m_neighbours.GetTable(rows);
            std::erase_if(waiting, [&](const CProbe& probe) {
                const CScanTarget& target = targets[probe.nTarget];
                const CNeighbourRow* pRow = bRows ? FindNeighbourRow(rows, target.dwAddr, target.nIndex) : nullptr;
                if (pRow && HoldsHardwareAddress(*pRow)) {
                    found.emplace_back(probe.nTarget, MacText(*pRow));
                    nameOf.push_back(names.Add(target.dwAddr));
                    lastFound = now;
                    return true;
                }
                return now - probe.sent >= std::chrono::milliseconds(m_pacing.nAnswerMs);
            });
            if (m_load.GetLoad(load)) {
                bLoad = true;
                m_nPeak = std::max(m_nPeak, load.nEntries);
            }
            nSinceLoad = 0;
        } else {
            Clock::time_point wake = nextPoll;
            if (nNext < targets.size() && !bHeld)
                wake = std::min(wake, nextSend);
            std::this_thread::sleep_until(wake);
        }
    }
    m_sockets.Close(hSocket);

    if (nFailedSends == targets.size()) {
        strError = "no datagram could be sent: " + ErrorText(nLastError);
        return false;
    }
    const std::vector<std::string> named = names.Collect(lastFound + std::chrono::milliseconds(m_pacing.nNamesMs));
    for (size_t n = 0; n < found.size(); ++n) {
        const CScanTarget& target = targets[found[n].first];
        CScanHost host{target.dwAddr, target.strLink, found[n].second, named[nameOf[n]]};
        if (host.strName.empty())
            host.strName = DottedText(target.dwAddr);
        hosts.push_back(std::move(host));
    }
    std::sort(hosts.begin(), hosts.end(),
              [](const CScanHost& a, const CScanHost& b) { return ntohl(a.dwAddr) < ntohl(b.dwAddr); });
    return true;
}
