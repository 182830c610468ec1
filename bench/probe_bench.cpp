// The scan of a /16 (65,536 addresses) by the probe engine at its pace, on a
// simulated link that runs in real time: a host answers its ARP after a
// millisecond, an address nobody holds fails after three seconds, the kernel
// collects failed entries and forgets old ones. Prints the wall time, the
// process's CPU time and their ratio, and the hosts found.
//   nuvik_bench_probe [EVERY]   (one host in EVERY addresses, default 64)
#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <queue>
#include <unordered_map>

#include "discovery/Scanner.h"
#include "net/NeighbourTable.h"
#include "net/ProbePlatform.h"
#include "net/Routes.h"

namespace {

const uint32_t kFirst = 0x0A500000;  // 10.80.0.0/16
const int kWatch = 3;

class CRealTimeLink : public IProbePlatform, public IRouteTable, public INeighbourTable {
public:
    explicit CRealTimeLink(unsigned nEvery)
        : m_nEvery(nEvery)
    { }

    int Open(EProbeSocket kind, int& hSocket) override
    {
        if (kind != EProbeSocket::Udp)
            return EACCES;  // an ordinary user with no ICMP socket
        hSocket = m_nNext++;
        return 0;
    }
    int Connect(int, uint32_t, uint16_t) override { return ENETUNREACH; }
    int SendTo(int, const std::vector<uint8_t>&, uint32_t dwAddr, uint16_t, unsigned) override
    {
        const int64_t nNowUs = NowUs();
        auto [it, bNew] = m_table.try_emplace(dwAddr);
        CNeighbourRow& row = it->second;
        if (!bNew && !(row.wState & NUD_FAILED))
            return 0;  // resolving, or resolved
        row = {dwAddr, 2, NUD_INCOMPLETE};
        const uint32_t nHost = ntohl(dwAddr) - kFirst;
        const bool bHost = nHost % m_nEvery == 0;
        m_events.push(
            {nNowUs + (bHost ? 1000 : 3000000), dwAddr, bHost ? NUD_REACHABLE : NUD_FAILED});
        return 0;
    }
    int Receive(int, uint8_t*, size_t, size_t&, uint32_t&) override { return EAGAIN; }
    int PendingError(int) override { return 0; }
    void Close(int) override { }
    int Poll(std::vector<pollfd>& fds, int nTimeoutMs) override
    {
        const int64_t nEndUs = NowUs() + nTimeoutMs * int64_t{1000};
        for (;;) {
            const int64_t nNowUs = NowUs();
            while (!m_events.empty() && m_events.top().nAtUs <= nNowUs) {
                Apply(m_events.top(), nNowUs);
                m_events.pop();
            }
            bool bReady = false;
            for (pollfd& fd : fds) {
                fd.revents = fd.fd == kWatch && !m_notices.empty() ? POLLIN : 0;
                bReady = bReady || fd.revents;
            }
            if (bReady || nNowUs >= nEndUs)
                return 0;
            const int64_t nNextUs =
                m_events.empty() ? nEndUs : std::min(nEndUs, m_events.top().nAtUs);
            const int64_t nSleepUs = std::max<int64_t>(nNextUs - nNowUs, 0);
            const timespec pause{nSleepUs / 1000000, nSleepUs % 1000000 * 1000};
            nanosleep(&pause, nullptr);
        }
    }
    int64_t NowUs() override
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return now.tv_sec * int64_t{1000000} + now.tv_nsec / 1000;
    }
    int OpenNeighbourWatch(int& hWatch) override { return hWatch = kWatch, 0; }
    int ReadNeighbourWatch(int, std::vector<CNeighbourRow>& rows) override
    {
        rows.swap(m_notices);
        m_notices.clear();
        return 0;
    }

    int LookUpRoute(uint32_t, CRouteInfo& route) override
    {
        route = {RTN_UNICAST, 2, 0};
        return 0;
    }
    int LinkRoutes(std::vector<CLinkRoute>&) override { return EPERM; }
    int LinkAddresses(std::vector<CLinkAddress>&) override { return EPERM; }
    std::string LinkName(unsigned) override { return "eth0"; }
    ELinkState FindLink(const std::string&, unsigned&) override { return ELinkState::Missing; }
    int GetTable(std::vector<CNeighbourRow>& rows) override
    {
        const int64_t nNowUs = NowUs();
        rows.clear();
        for (auto& [dwAddr, row] : m_table) {
            rows.push_back(row);
            const auto it = m_confirmedUs.find(dwAddr);
            rows.back().dwConfirmedAgoMs = it == m_confirmedUs.end()
                ? kNeverConfirmed
                : static_cast<uint32_t>((nNowUs - it->second) / 1000);
        }
        return 0;
    }
    int GetLoad(CNeighbourLoad& load) override
    {
        load = {static_cast<unsigned>(m_table.size()), 4096, 8192};  // a machine tuned for it
        return 0;
    }

private:
    struct CEvent {
        int64_t nAtUs;
        uint32_t dwAddr;
        uint16_t wState;  // 0: the entry is collected
        bool operator>(const CEvent& other) const { return nAtUs > other.nAtUs; }
    };
    unsigned m_nEvery;
    int m_nNext = 10;
    std::unordered_map<uint32_t, CNeighbourRow> m_table;
    std::unordered_map<uint32_t, int64_t> m_confirmedUs;
    std::priority_queue<CEvent, std::vector<CEvent>, std::greater<>> m_events;
    std::vector<CNeighbourRow> m_notices;

    void Apply(const CEvent& event, int64_t nNowUs)
    {
        const auto it = m_table.find(event.dwAddr);
        if (it == m_table.end())
            return;
        if (event.wState == 0) {
            m_table.erase(it);
            return;
        }
        CNeighbourRow& row = it->second;
        row.wState = event.wState;
        if (event.wState == NUD_REACHABLE) {
            row.dwPhysAddrLen = 6;
            const uint32_t nHost = ntohl(event.dwAddr);
            const uint8_t mac[6] = {2, 0x80, 0, 0, uint8_t(nHost >> 8), uint8_t(nHost)};
            std::copy(std::begin(mac), std::end(mac), row.bPhysAddr);
            m_confirmedUs[event.dwAddr] = nNowUs;
        }
        m_notices.push_back(row);
        m_notices.back().dwConfirmedAgoMs = event.wState == NUD_REACHABLE ? 0 : kNeverConfirmed;
        // Failed entries are collected soon, resolved ones after a while.
        m_events.push(
            {nNowUs + (event.wState == NUD_FAILED ? 2000000 : 30000000), event.dwAddr, 0});
    }
};

double Seconds(const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; }

}  // namespace

int main(int argc, char** argv)
{
    const unsigned nEvery = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 64;
    if (nEvery == 0) {
        std::fprintf(stderr, "usage: nuvik_bench_probe [EVERY]\n");
        return 2;
    }
    CRealTimeLink link(nEvery);
    std::vector<CScanTarget> targets;
    for (uint32_t i = 0; i < 65536; ++i)
        targets.push_back({htonl(kFirst + i), 2, "eth0"});
    const int64_t nStartUs = link.NowUs();
    const std::vector<CScanHost> found =
        CScanner(link, link, link, [](uint32_t, std::string&) { return false; }).Scan(targets);
    const double dWall = (link.NowUs() - nStartUs) / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double dCpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    std::printf("%zu addresses, %zu hosts found (of %u)\n", targets.size(), found.size(),
                (65535 + nEvery) / nEvery);
    std::printf("wall %.1f s, CPU %.2f s (user %.2f, system %.2f): CPU/wall %.3f (goal <= 0.2)\n",
                dWall, dCpu, Seconds(usage.ru_utime), Seconds(usage.ru_stime), dCpu / dWall);
    return 0;
}
