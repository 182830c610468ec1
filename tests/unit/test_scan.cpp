// The scan: which addresses it asks, how far it fills the neighbour table,
// its pace, its names, and what --add keeps.
#include <linux/neighbour.h>

#include <chrono>
#include <thread>

#include "app/ScanMode.h"
#include "base/Address.h"
#include "discovery/ProbeEngine.h"
#include "discovery/Scanner.h"
#include "fakes/Fakes.h"
#include "hosts/SetList.h"

namespace {

CLinkAddress Link(const char* pszName, const char* pszAddr, unsigned nPrefixLen,
                  unsigned nIndex = 2)
{
    return {nIndex, pszName, NetAddr(pszAddr), nPrefixLen};
}

TEST(ScanRange, PrefixesCutsAndRanges)
{
    // pszRange: --scan=..., or null
    // pszTargets: how many, then the first and the last as "address@link"
    // pszNote: part of the one note, or "" for none
    const struct {
        std::vector<CLinkAddress> links;
        const char* pszRange;
        const char* pszTargets;
        const char* pszNote;
    } cases[] = {
        {{Link("a", "10.0.0.7", 32)}, nullptr, "0", ""},
        {{Link("a", "10.0.0.1", 31)}, nullptr, "1 10.0.0.0@a 10.0.0.0@a", ""},
        {{Link("a", "10.0.0.1", 30)}, nullptr, "1 10.0.0.2@a 10.0.0.2@a", ""},
        {{Link("a", "10.1.0.1", 22)}, nullptr, "1021 10.1.0.2@a 10.1.3.254@a", ""},
        {{Link("a", "10.2.4.5", 21)},
         nullptr,
         "1023 10.2.2.5@a 10.2.6.4@a",
         "a: 10.2.0.0/21 holds 2048 addresses; scanning the 1024 around 10.2.4.5"},
        {{Link("a", "10.3.0.1", 16)},
         nullptr,
         "1023 10.3.0.2@a 10.3.4.0@a",
         "the 1024 around 10.3.0.1"},
        {{Link("a", "10.4.255.250", 16)},
         nullptr,
         "1023 10.4.251.255@a 10.4.255.254@a",
         "around 10.4.255.250"},
        // The link's network and broadcast addresses stay out, not the range's.
        {{Link("a", "10.0.0.1", 24)}, "10.0.0.0/25", "126 10.0.0.2@a 10.0.0.127@a", ""},
        {{Link("a", "10.0.0.1", 24)}, "10.0.0.128/25", "127 10.0.0.128@a 10.0.0.254@a", ""},
        {{Link("a", "10.0.0.1", 24)}, "10.0.0.9", "1 10.0.0.9@a 10.0.0.9@a", ""},
        {{Link("a", "10.0.0.1", 24)}, "10.0.0.77/24", "253 10.0.0.2@a 10.0.0.254@a", ""},
        {{Link("a", "10.0.0.1", 24)},
         "10.0.0.0/16",
         "253 10.0.0.2@a 10.0.0.254@a",
         "of 10.0.0.0 to 10.0.255.255 lie on no attached link"},
        {{Link("a", "10.0.0.1", 24)},
         "10.0.0.0/23",
         "253 10.0.0.2@a 10.0.0.254@a",
         "256 addresses of 10.0.0.0 to 10.0.1.255 lie on no attached link"},
        // Every address of this machine stays out; each other goes by its own link.
        {{Link("a", "10.0.0.1", 29), Link("b", "10.0.0.9", 29, 3), Link("c", "10.0.0.5", 32, 4)},
         nullptr,
         "9 10.0.0.2@a 10.0.0.14@b",
         ""},
        {{Link("a", "10.0.0.1", 29), Link("b", "10.0.0.6", 29, 3)},
         nullptr,
         "4 10.0.0.2@a 10.0.0.5@a",
         ""},
    };
    for (const auto& c : cases) {
        CScanRange range;
        std::string strError;
        ASSERT_TRUE(!c.pszRange || ParseScanRange(c.pszRange, range, strError)) << c.pszRange;
        const CScanPlan plan = PlanScan(c.links, c.pszRange ? &range : nullptr);
        std::string strTargets = std::to_string(plan.targets.size());
        if (!plan.targets.empty())
            for (const CScanTarget& t : {plan.targets.front(), plan.targets.back()})
                strTargets += " " + DottedText(t.dwAddr) + "@" + t.strLink;
        EXPECT_EQ(std::tuple(plan.strError, strTargets), std::tuple("", c.pszTargets));
        for (size_t n = 1; n < plan.targets.size(); ++n)
            ASSERT_LT(ntohl(plan.targets[n - 1].dwAddr), ntohl(plan.targets[n].dwAddr));
        ASSERT_EQ(plan.notes.size(), *c.pszNote ? 1u : 0u) << c.pszTargets;
        if (*c.pszNote)
            EXPECT_NE(plan.notes[0].find(c.pszNote), std::string::npos) << plan.notes[0];
    }
    CScanRange range;
    std::string strError;
    EXPECT_FALSE(ParseScanRange("10.0.0.0/15", range, strError));  // wider than a /16
}

// The system as the probe engine sees it: a clock that moves only when it
// polls, sockets that take every datagram, and the fake neighbour table.
class CPacedPlatform : public IProbePlatform {
public:
    int64_t nNowUs = 0;
    std::vector<std::pair<std::string, int64_t>> sent;  // address, when
    int Open(EProbeSocket kind, int& h) override
    {
        return kind == EProbeSocket::Udp ? (h = 10, 0) : EPERM;
    }
    int Connect(int, uint32_t, uint16_t) override { return ECONNREFUSED; }
    int SendTo(int, const std::vector<uint8_t>&, uint32_t dwAddr, uint16_t, unsigned) override
    {
        sent.emplace_back(DottedText(dwAddr), nNowUs);
        return 0;
    }
    int Receive(int, uint8_t*, size_t, size_t&, uint32_t&) override { return EAGAIN; }
    int PendingError(int) override { return 0; }
    void Close(int) override { }
    int Poll(std::vector<pollfd>&, int nTimeoutMs) override
    {
        nNowUs += std::max(nTimeoutMs, 1) * 1000;
        return 0;
    }
    int64_t NowUs() override { return nNowUs; }
    int OpenNeighbourWatch(int&) override { return EPERM; }
    int ReadNeighbourWatch(int, std::vector<CNeighbourRow>&) override { return EBADF; }
};

TEST(ScanProbe, PacedInBatchesThatFitTheTable)
{
    CPacedPlatform platform;
    CFakeRoutes routes;
    CFakeNeighbours neighbours;
    std::vector<CProbeTarget> targets;
    for (int n = 1; n <= 5; ++n)
        targets.push_back({NetAddr(("10.0.0." + std::to_string(n)).c_str()), 2});
    CProbeOptions options;
    options.bOnLinkOnly = true;
    options.nPerSecond = 100;       // one every 10 ms
    neighbours.load = {0, 19, 19};  // the engine's margin, and room for three
    CProbeEngine(platform, routes, neighbours).Probe(targets, options);
    const std::vector<std::pair<std::string, int64_t>> expected = {{"10.0.0.1", 0},
                                                                   {"10.0.0.2", 10000},
                                                                   {"10.0.0.3", 20000},
                                                                   {"10.0.0.4", 1000000},
                                                                   {"10.0.0.5", 1010000}};
    ASSERT_EQ(platform.sent.size(), expected.size());
    for (size_t n = 0; n < expected.size(); ++n) {
        EXPECT_EQ(platform.sent[n].first, expected[n].first);
        EXPECT_NEAR(platform.sent[n].second, expected[n].second, 1000) << n;
    }
}

// Found a quarter of a second into the scan: 10.0.0.6's entry turns up.
struct CLatePlatform : CPacedPlatform {
    CFakeNeighbours* pNeighbours = nullptr;
    int Poll(std::vector<pollfd>& fds, int nTimeoutMs) override
    {
        if (pNeighbours) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            pNeighbours->rows.push_back(Row("10.0.0.6", {2, 0, 0, 0, 0, 6}, ~0u, 2));
            pNeighbours = nullptr;
        }
        return CPacedPlatform::Poll(fds, nTimeoutMs);
    }
};

TEST(ScanProbe, HostsFoundWithTheNamesThatCameInTime)
{
    CLatePlatform platform;
    CFakeRoutes routes;
    CFakeNeighbours neighbours;
    neighbours.rows = {
        Row("10.0.0.3", {0, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D}, ~0u, 2),
        Row("10.0.1.1", {2, 0, 0, 0, 0, 1}, ~0u, 2), Row("10.0.0.2", {2, 0, 0, 0, 0, 2}, ~0u, 7),
        Row("10.0.0.4", {2, 0, 0, 0, 0, 4}, ~0u, 2), Row("10.0.0.5", {2, 0, 0, 0, 0, 5}, ~0u, 2)};
    neighbours.rows[3].wState = NUD_FAILED;
    neighbours.rows[4].wState = NUD_STALE;  // and no answer to its probe
    platform.pNeighbours = &neighbours;
    const auto Lookup = [](uint32_t dwAddr, std::string& strName) {
        // The bound runs from the last host found: 10.0.0.6's name is in
        // time, 10.0.1.1's (asked at the start) is not.
        std::this_thread::sleep_for(std::chrono::milliseconds(dwAddr == NetAddr("10.0.1.1") ? 900
                                                                  : dwAddr == NetAddr("10.0.0.6")
                                                                  ? 100
                                                                  : 0));
        strName = "host-" + DottedText(dwAddr);
        return dwAddr != NetAddr("10.0.0.4");
    };
    CScanner scanner(platform, routes, neighbours, Lookup, {1000, 1000, 300});
    std::vector<CScanTarget> targets;
    for (const char* psz : {"10.0.1.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.6", "10.0.0.5"})
        targets.push_back({NetAddr(psz), 2, "eth0"});
    List lines;
    for (const CScanHost& host : scanner.Scan(targets))
        lines.push_back(ScanEntry(host) + " " + host.strLink);
    // 10.0.0.2's entry is on another link, 10.0.0.4 failed, 10.0.0.5 did not
    // answer; 10.0.1.1's name came too late.
    EXPECT_EQ(
        lines,
        (List{"host-10.0.0.3 10.0.0.3 001AFF2B3C4D eth0",
              "host-10.0.0.6 10.0.0.6 020000000006 eth0", "10.0.1.1 10.0.1.1 020000000001 eth0"}));
    EXPECT_EQ(platform.sent.back(),
              std::make_pair(std::string("10.0.0.5"), int64_t{3000}));  // at its pace
}

// Merged without losing an entry; a second scan of the same network changes nothing.
TEST(ScanAdd, MovedHostsUpdatedNewOnesUnderFreeNames)
{
    const auto Found = [](const char* pszAddr, const char* pszMac, const char* pszName) {
        return CScanHost{NetAddr(pszAddr), "eth0", pszMac, pszName};
    };
    const struct {
        List book;
        std::vector<CScanHost> found;
        List after;
        const char* pszCounts;  // added, updated, known
        List notes;
    } cases[] = {
        // Names as File > Add stores them; one that reads as an address is not a name.
        {{"pc 10.0.0.9 020000000009"},
         {Found("10.0.0.2", "020000000002", " my pc\r\n"), Found("10.0.0.3", "020000000003", ""),
          Found("10.0.0.4", "020000000004", "0a:0b:0c:0d:0e:0f"),
          Found("10.0.0.5", "020000000005", "10.1.2.3")},
         {"10.0.0.5 10.0.0.5 020000000005", "10.0.0.4 10.0.0.4 020000000004",
          "10.0.0.3 10.0.0.3 020000000003", "mypc 10.0.0.2 020000000002",
          "pc 10.0.0.9 020000000009"},
         "4 0 0",
         {}},
        // a moved; a new "nas" beside Nas; one hardware address at two
        // addresses; a new host where the sleeping Nas is stored.
        {{"a 10.0.0.1 0200000000ab", "Nas 10.0.0.5 0A0000000005", "b 10.0.0.2 020000000002"},
         {Found("10.0.0.2", "020000000002", "b"), Found("10.0.0.5", "02000000000C", "x"),
          Found("10.0.0.7", "0200000000AB", "other"), Found("10.0.0.8", "020000000008", "nas"),
          Found("10.0.0.9", "020000000008", "twice")},
         {"nas-2 10.0.0.8 020000000008", "x 10.0.0.5 02000000000C", "a 10.0.0.7 0200000000ab",
          "Nas 10.0.0.5 0A0000000005", "b 10.0.0.2 020000000002"},
         "2 1 1",
         {"10.0.0.8 and 10.0.0.9 all answer with hardware address 020000000008 (a router's "
          "proxy ARP, or one host with several addresses): only 10.0.0.8 is kept",
          "10.0.0.5 answers with hardware address 02000000000C, but the address book holds it "
          "for Nas (0A0000000005) too: two hosts on one address"}},
    };
    for (const auto& c : cases) {
        CSetList hosts;
        for (const std::string& strEntry : c.book)
            hosts.AddTail(strEntry);
        CAddCount count = MergeScannedHosts(hosts, c.found);
        EXPECT_EQ(List(hosts.begin(), hosts.end()), c.after);
        const std::string strCounts = std::to_string(count.nAdded) + " " +
            std::to_string(count.nUpdated) + " " + std::to_string(count.nKnown);
        EXPECT_EQ(std::tuple(strCounts, count.notes), std::tuple(c.pszCounts, c.notes));
        count = MergeScannedHosts(hosts, c.found);
        EXPECT_EQ(std::tuple(List(hosts.begin(), hosts.end()), count.nKnown),
                  std::tuple(c.after, c.found.size() - (c.notes.empty() ? 0 : 1)));
    }
}

}  // namespace
