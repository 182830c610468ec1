#pragma once
// A simulated network for the probe engine: hosts on the link or behind a
// gateway that answer echo, ARP or TCP after a delay (or never), a kernel
// neighbour table that follows what was sent (a stale entry checked again
// five seconds after traffic to it) and tells when each entry was last
// confirmed, other namespaces' entries in the machine's count, and a clock
// that poll moves.
#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "net/NeighbourTable.h"
#include "net/ProbePlatform.h"
#include "net/Routes.h"

class CFakeNet : public IProbePlatform, public IRouteTable, public INeighbourTable {
public:
    struct CHost {
        bool bOnLink = true, bEcho = true, bArp = true, bTcp = true,
             bAccepts = true;  // bAccepts: port 22
        int nDelayMs = 5;
        int64_t nUpFromMs = 0;  // answers nothing before
    };
    std::map<std::string, CHost>
        hosts;  // by dotted address; any other address is nobody on the link
    std::set<std::string> noRoute, local;  // local: this machine's own
    std::set<EProbeSocket> refused;        // sockets the system does not allow
    bool bLoseNotices = false;
    std::vector<CNeighbourRow> table;
    std::map<uint32_t, int64_t> confirmedUs;  // when an entry's host last answered
    CNeighbourLoad load;                      // nEntries: other namespaces' entries
    int64_t nNowUs = 1000000, nStopAtUs = -1;
    volatile sig_atomic_t bStop = 0;
    std::vector<std::pair<int64_t, std::string>> sent;  // (ms, "echo|udp:9|tcp:80 ADDR")
    size_t nMostEntries = 0, nMostTcp = 0;

    int Open(EProbeSocket kind, int& h) override
    {
        if (refused.count(kind))  // as the kernel refuses each
            return kind == EProbeSocket::EchoRaw ? EPERM : EACCES;
        m_sockets[h = ++m_nNext] = {kind};
        const auto IsTcp = [](auto& socket) { return socket.second.kind == EProbeSocket::Tcp; };
        nMostTcp =
            std::max<size_t>(nMostTcp, std::count_if(m_sockets.begin(), m_sockets.end(), IsTcp));
        return 0;
    }
    int Connect(int h, uint32_t dwAddr, uint16_t nPort) override
    {
        Went(dwAddr, "tcp:" + std::to_string(nPort));
        if (const CHost* pHost = Answering(dwAddr, &CHost::bTcp))
            m_events.push_back(
                {At(*pHost), h, {}, 0, {}, nPort == 22 && pHost->bAccepts ? 0 : ECONNREFUSED});
        return EINPROGRESS;
    }
    int SendTo(int h, const std::vector<uint8_t>& data, uint32_t dwAddr, uint16_t nPort,
               unsigned) override
    {
        const EProbeSocket kind = m_sockets[h].kind;
        Went(dwAddr, kind == EProbeSocket::Udp ? "udp:" + std::to_string(nPort) : "echo");
        if (const CHost* pHost = Answering(dwAddr, &CHost::bEcho);
            pHost && kind != EProbeSocket::Udp) {
            std::vector<uint8_t> reply = data;
            reply.at(0) = 0;  // echo reply
            if (kind == EProbeSocket::EchoRaw)
                reply.insert(reply.begin(), 20, 0x45);  // an IPv4 header's first byte
            // On the link, the reply follows the neighbour's answer.
            m_events.push_back(
                {At(*pHost) + pHost->bOnLink * pHost->nDelayMs * int64_t{1000}, h, reply, dwAddr});
        }
        return 0;
    }
    int Receive(int h, uint8_t* p, size_t n, size_t& nGot, uint32_t& dwFrom) override
    {
        auto& queue = m_sockets[h].queue;
        if (queue.empty())
            return EAGAIN;
        const auto [data, from] = queue.front();
        queue.erase(queue.begin());
        dwFrom = from;
        nGot = static_cast<size_t>(std::copy_n(data.begin(), std::min(n, data.size()), p) - p);
        return 0;
    }
    int PendingError(int h) override { return m_sockets[h].nError; }
    void Close(int h) override { m_sockets.erase(h); }
    int Poll(std::vector<pollfd>& fds, int nTimeoutMs) override
    {
        const int64_t nEndUs = nNowUs + nTimeoutMs * int64_t{1000};
        for (;;) {
            int nReady = 0;
            for (pollfd& fd : fds) {
                const CSocket& socket = m_sockets[fd.fd];
                fd.revents = fd.fd == kWatch       ? (m_notices.empty() ? 0 : POLLIN)
                    : socket.nError != EINPROGRESS ? POLLOUT
                                                   : (socket.queue.empty() ? 0 : POLLIN);
                nReady += fd.revents != 0;
            }
            if (nReady)
                return 0;
            int64_t nNextUs = nEndUs + 1;
            for (const CEvent& event : m_events)
                nNextUs = std::min(nNextUs, event.nAtUs);
            if (nStopAtUs >= 0 && nStopAtUs <= std::min(nEndUs, nNextUs - 1)) {  // Ctrl-C
                nNowUs = std::max(nNowUs, nStopAtUs), nStopAtUs = -1;
                return bStop = SIGINT, EINTR;
            }
            nNowUs = std::max(nNowUs, std::min(nEndUs, nNextUs));
            if (nNextUs > nEndUs)
                return 0;
            std::vector<CEvent> now;  // all that happen at once
            std::erase_if(m_events, [&](const CEvent& event) {
                return event.nAtUs <= nNowUs && (now.push_back(event), true);
            });
            std::for_each(now.begin(), now.end(), [this](const CEvent& event) { Apply(event); });
        }
    }
    int64_t NowUs() override { return nNowUs; }
    int OpenNeighbourWatch(int& h) override
    {
        return m_sockets[h = kWatch] = {EProbeSocket::Udp}, 0;
    }
    int ReadNeighbourWatch(int, std::vector<CNeighbourRow>& rows) override
    {
        rows.swap(m_notices), m_notices.clear();
        return bLoseNotices ? (rows.clear(), ENOBUFS) : 0;
    }

    int LookUpRoute(uint32_t dwAddr, CRouteInfo& route) override
    {
        const bool bLocal = local.count(inet_ntoa(in_addr{dwAddr}));
        route = {bLocal ? RTN_LOCAL : RTN_UNICAST, bLocal ? 1 : 2,
                 OnLink(dwAddr) ? 0 : inet_addr("10.0.0.1")};
        return noRoute.count(inet_ntoa(in_addr{dwAddr})) ? ENETUNREACH : 0;
    }
    int LinkRoutes(std::vector<CLinkRoute>&) override { return EPERM; }
    int LinkAddresses(std::vector<CLinkAddress>&) override { return EPERM; }
    std::string LinkName(unsigned) override { return {}; }
    ELinkState FindLink(const std::string&, unsigned&) override { return ELinkState::Missing; }
    int GetTable(std::vector<CNeighbourRow>& rows) override
    {
        rows = table;
        for (CNeighbourRow& row : rows)
            row.dwConfirmedAgoMs = Ago(row.dwAddr);
        return 0;
    }
    int GetLoad(CNeighbourLoad& out) override
    {
        out = load;
        out.nEntries += static_cast<unsigned>(table.size());
        return 0;
    }

private:
    static constexpr int kWatch = 99;
    struct CSocket {
        EProbeSocket kind;
        int nError = EINPROGRESS;
        std::vector<std::pair<std::vector<uint8_t>, uint32_t>> queue;
    };
    struct CEvent {
        int64_t nAtUs;
        int h;  // -1: a neighbour entry changes
        std::vector<uint8_t> data;
        uint32_t dwFrom = 0;
        CNeighbourRow row = {};
        int nError = EINPROGRESS;
    };
    std::map<int, CSocket> m_sockets;
    std::vector<CEvent> m_events;
    std::vector<CNeighbourRow> m_notices;
    int m_nNext = 10;

    int64_t At(const CHost& host) const { return nNowUs + host.nDelayMs * int64_t{1000}; }
    bool OnLink(uint32_t dwAddr)
    {
        return !hosts.count(inet_ntoa(in_addr{dwAddr})) ||
            hosts[inet_ntoa(in_addr{dwAddr})].bOnLink;
    }
    const CHost* Answering(uint32_t dwAddr, bool CHost::*pbWay)
    {
        const auto it = hosts.find(inet_ntoa(in_addr{dwAddr}));
        return it != hosts.end() && it->second.*pbWay && nNowUs >= it->second.nUpFromMs * 1000
            ? &it->second
            : nullptr;
    }
    CNeighbourRow* Entry(uint32_t dwAddr)
    {
        const auto it = std::find_if(table.begin(), table.end(),
                                     [&](auto& row) { return row.dwAddr == dwAddr; });
        return it == table.end() ? nullptr : &*it;
    }
    uint32_t Ago(uint32_t dwAddr)
    {
        const auto it = confirmedUs.find(dwAddr);
        return it == confirmedUs.end() ? kNeverConfirmed : uint32_t((nNowUs - it->second) / 1000);
    }
    // What the kernel does for any packet to an address on the link: a new
    // entry, resolved by the host's answer or failed after three seconds; a
    // stale one checked again after five seconds.
    void Went(uint32_t dwAddr, const std::string& strWhat)
    {
        sent.emplace_back(nNowUs / 1000, strWhat + " " + inet_ntoa(in_addr{dwAddr}));
        CNeighbourRow* pRow = Entry(dwAddr);
        if (!OnLink(dwAddr) ||
            (pRow && (pRow->wState & (NUD_REACHABLE | NUD_INCOMPLETE | NUD_DELAY | NUD_PROBE))))
            return;
        const bool bStale = pRow && (pRow->wState & NUD_STALE);
        if (!pRow)
            pRow = &table.emplace_back(CNeighbourRow{dwAddr, 2});
        pRow->wState = bStale ? NUD_DELAY : NUD_INCOMPLETE;
        const auto Held = [](auto& row) { return !(row.wState & NUD_FAILED); };
        nMostEntries = std::max<size_t>(
            nMostEntries, load.nEntries + std::count_if(table.begin(), table.end(), Held));
        const int64_t nAfterUs = bStale ? 5000000 : 0;
        const CHost* pHost = Answering(dwAddr, &CHost::bArp);
        const CNeighbourRow settled = pHost
            ? CNeighbourRow{dwAddr, 2, NUD_REACHABLE, 6, {2, 0, 0, 0, 0, uint8_t(ntohl(dwAddr))}}
            : CNeighbourRow{dwAddr, 2, NUD_FAILED};
        m_events.push_back(
            {(pHost ? At(*pHost) : nNowUs + 3000000) + nAfterUs, -1, {}, 0, settled});
    }
    void Apply(const CEvent& event)
    {
        if (event.h < 0) {
            if (event.row.wState & NUD_REACHABLE)
                confirmedUs[event.row.dwAddr] = nNowUs;
            if (CNeighbourRow* pRow = Entry(event.row.dwAddr))  // unless the test emptied it
                *pRow = event.row;
            m_notices.push_back(event.row);
            m_notices.back().dwConfirmedAgoMs = Ago(event.row.dwAddr);
        } else if (m_sockets.count(event.h) && event.data.empty()) {
            m_sockets[event.h].nError = event.nError;
        } else if (m_sockets.count(event.h)) {
            m_sockets[event.h].queue.emplace_back(event.data, event.dwFrom);
        }
    }
};
