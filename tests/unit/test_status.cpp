// Is it up: the probe engine on a simulated network, the hosts --status asks
// about, its output, and --wait.
#include "app/StatusMode.h"
#include "fakes/FakeNet.h"
#include "fakes/Fakes.h"
#include "hosts/SetList.h"

namespace {

using E = EProbeSocket;
const std::set<E> kNoIcmp = {E::EchoDgram, E::EchoRaw};

struct CNet : CFakeNet {
    CNet()
    {
        hosts["10.0.0.5"] = {};
        hosts["10.0.0.6"] = {true, false};  // ignores echo
        hosts["10.0.0.9"] = {true, false};
        hosts["10.9.0.5"] = {false};
        hosts["10.9.0.6"] = {false, true, true, true, false};  // refuses every connection
        hosts["10.9.0.7"] = {false, false, false, false};      // behind the gateway, nobody
        noRoute.insert("10.0.0.8");
    }
    std::vector<CProbeResult> Probe(const List& addrs, CProbeOptions options = {})
    {
        std::vector<CProbeTarget> targets;
        for (const std::string& strAddr : addrs)
            targets.push_back({NetAddr(strAddr.c_str()), 0});
        options.pStop = &bStop;
        return CProbeEngine(*this, *this, *this).Probe(targets, options);
    }
    std::string Sent()  // what went, without the address
    {
        std::string str;
        for (const auto& [nMs, strWhat] : sent)
            str += (str.empty() ? "" : ",") + strWhat.substr(0, strWhat.find(' '));
        return str;
    }
};

std::string Outcome(const CProbeResult& r)
{
    return std::string(ProbeStateName(r.state)) + " " + ProbeHowName(r.how) + " " +
        std::to_string(int(r.dRttMs)) + " " +
        (r.state == EProbeState::Unknown ? r.strReason : r.strMac);
}

TEST(ProbeEngine, EachWayOfTheLadderAndWhatItDecides)
{
    const std::string kTcp = "tcp:22,tcp:80,tcp:443,tcp:445,tcp:3389";
    // wEntry: the state of the neighbour entry before, 0: none
    const struct {
        std::set<E> refused;
        const char* pszAddr;
        uint16_t wEntry;
        std::string strOutcome, strSent;
    } cases[] = {
        {{}, "10.0.0.5", 0, "up echo 10 020000000005", "echo"},
        {{E::EchoDgram}, "10.0.0.5", 0, "up echo 10 020000000005", "echo"},
        {kNoIcmp, "10.0.0.5", 0, "up neighbour 5 020000000005", "udp:9"},
        {kNoIcmp, "10.0.0.7", 0, "down neighbour -1 ", "udp:9"},
        {{}, "10.0.0.6", 0, "up neighbour 5 020000000006", "echo"},
        {kNoIcmp, "10.9.0.5", 0, "up tcp 5 ", kTcp},
        {kNoIcmp, "10.9.0.7", 0, "down tcp -1 ", kTcp},
        {kNoIcmp, "10.9.0.6", 0, "up tcp 5 ", kTcp},
        // An entry the kernel would not ask about for seconds: TCP as well.
        {kNoIcmp, "10.0.0.9", NUD_STALE, "up tcp 5 010203040506", "udp:9," + kTcp},
        {kNoIcmp, "10.0.0.5", NUD_REACHABLE, "up neighbour -1 010203040506", "udp:9"},
        {{E::EchoDgram, E::EchoRaw, E::Udp, E::Tcp},
         "10.0.0.5",
         0,
         "unknown  -1 no way to probe it: no ICMP socket (Permission denied: the group is outside "
         "the sysctl net.ipv4.ping_group_range; Permission denied: a raw socket needs the "
         "capability CAP_NET_RAW) and no UDP socket (Permission denied)",
         ""},
        {{}, "10.0.0.8", 0, "unknown  -1 no route to it", ""},
        {{}, "0.0.0.0", 0, "unknown  -1 no address stored", ""},
        {{}, "224.0.0.1", 0, "unknown  -1 not the address of one host", ""},
    };
    for (const auto& c : cases) {
        CNet net;
        net.refused = c.refused;
        if (c.wEntry)
            net.table.push_back(Row(c.pszAddr, {1, 2, 3, 4, 5, 6}, ~0u, 2)),
                net.table.back().wState = c.wEntry;
        EXPECT_EQ(Outcome(net.Probe({c.pszAddr})[0]), c.strOutcome) << c.pszAddr;
        EXPECT_EQ(net.Sent(), c.strSent) << c.pszAddr;
    }
}

TEST(ProbeEngine, ManyAtOnceInBatchesTheTableHoldsOneProbeEachPerSecond)
{
    // One round for all: the round ends when the last answer is in, or after a second.
    CNet net;
    List addrs = {"10.0.0.5", "10.9.0.5", "10.0.0.5"};
    net.refused = kNoIcmp;
    auto results = net.Probe(addrs);
    EXPECT_EQ(net.nNowUs, 1005000);
    EXPECT_EQ(results[2].state, EProbeState::Up);
    EXPECT_EQ(net.Sent(), "udp:9,tcp:22,tcp:80,tcp:443,tcp:445,tcp:3389");  // once each address
    for (int i = 0; i < 60; ++i)
        addrs.push_back("10.0.1." + std::to_string(i));
    net = CNet();
    results = net.Probe(addrs);
    EXPECT_EQ(net.nNowUs, 2000000);
    EXPECT_EQ(results[62].state, EProbeState::Down);
    EXPECT_EQ(net.nDumps, 2u);  // one at the start, one at the end of the round
    // Room for 24 new entries: a batch each time the last one's have failed.
    net = CNet();
    CProbeOptions options;
    options.nNeighbourLimit = 40;
    results = net.Probe(addrs, options);
    EXPECT_EQ(net.nMostEntries, 24u);
    EXPECT_EQ(net.sent.size(), 62u);
    EXPECT_EQ(net.sent.back().first - net.sent.front().first, 6000);
    EXPECT_TRUE(std::all_of(results.begin() + 3, results.end(),
                            [](auto& r) { return r.state == EProbeState::Down; }));
    // Without a limit of its own, up to the kernel's hard one.
    net = CNet();
    for (int i = 0; i < 600; ++i)
        addrs.push_back("10.0." + std::to_string(2 + i / 200) + "." + std::to_string(i % 200));
    net.Probe(addrs);
    EXPECT_EQ(net.nMostEntries, 661u);
    // Lost notifications: the table is read whole.
    net = CNet();
    net.bLoseNotices = true;
    net.refused = kNoIcmp;
    EXPECT_EQ(net.Probe({"10.0.0.5"})[0].how, EProbeHow::Neighbour);
    EXPECT_EQ(net.nNowUs, 1005000);
}

TEST(ProbeEngine, UntilUpAskedOnceASecondReportedAtItsFirstAnswer)
{
    CNet net;
    net.hosts["10.0.0.5"].nUpFromMs = 3500;
    std::vector<int64_t> up;
    CProbeOptions options;
    options.nUntilMs = 5000;
    options.nAnswerMs = 300;  // still once a second
    options.onUp = [&](size_t i, const CProbeResult& result) {
        up.push_back(static_cast<int64_t>(i) * 100000 + result.nUpAtMs);
    };
    const auto results = net.Probe({"10.0.0.7", "10.0.0.5"}, options);
    EXPECT_EQ(up, std::vector<int64_t>{103010});  // up from 2.5 s, asked at 3 s
    EXPECT_EQ(results[0].state, EProbeState::Down);
    EXPECT_EQ(net.nNowUs, 6000000);
    std::vector<int64_t> asked;
    for (const auto& [nMs, strWhat] : net.sent)
        if (strWhat == "echo 10.0.0.7")
            asked.push_back(nMs);
    EXPECT_EQ(asked, (std::vector<int64_t>{1000, 2000, 3000, 4000, 5000}));
    // Ctrl-C: at once.
    net = CNet();
    net.nStopAtUs = 2500000;
    EXPECT_EQ(net.Probe({"10.0.0.7"}, options)[0].state, EProbeState::Down);
    EXPECT_EQ(net.nNowUs, 2500000);
}

TEST(Status, HostsAskedAboutAndTheirLines)
{
    CSetList book;
    for (const char* psz : {"nas 10.0.0.5 001122334455", "pc1 0.0.0.0 0A1B2C3D4E5F", "tv 10.0.0.x",
                            "caf\xE9\x1b 10.0.0.6"})
        book.AddTail(psz);
    CFakeEthers ethers;
    ethers.hosts["box"] = {1, 2, 3, 4, 5, 6};
    std::vector<CStatusHost> hosts;
    for (const char* psz : {"10.0.0.7", "0a1b.2c3d.4e5f", "tv", "box", "printer", "0.0.0.0"})
        hosts.push_back(FindStatusHost(book, ethers, psz));
    hosts.push_back(BookHosts(book).back());
    CNet net;
    CRecordingMessageBox messages;
    CAppServices services{nullptr, &net, &net, &net};
    services.pMessages = &messages;
    services.pOut = tmpfile();
    EXPECT_EQ(RunStatus(hosts, false, services), 1);
    EXPECT_EQ(
        Written(services.pOut),
        "10.0.0.7  10.0.0.7  -             down\n"
        "pc1       0.0.0.0   0A1B2C3D4E5F  unknown  (no address stored)\n"
        "tv        10.0.0.x  -             unknown  (the stored address is not an IPv4 address)\n"
        "box       -         010203040506  unknown  (no entry of the address book has its hardware "
        "address)\n"
        "printer   -         -             unknown  (not in the address book)\n"
        "pc1       0.0.0.0   0A1B2C3D4E5F  unknown  (no address stored)\n"
        "caf\xC3\xA9\\x1b  10.0.0.6  020000000006  up       5.0 ms\n");
    services.pOut = tmpfile();
    net.table.clear();
    EXPECT_EQ(RunStatus({hosts[6]}, true, services), 0);
    EXPECT_EQ(Written(services.pOut),
              "{\"name\":\"caf\xC3\xA9\\u001b\",\"ip\":\"10.0.0.6\",\"mac\":\"020000000006\","
              "\"state\":\"up\",\"rtt_ms\":5.0,\"how\":\"neighbour\",\"reason\":null}\n");
    services.pOut = tmpfile();
    EXPECT_EQ(RunStatus({hosts[2]}, false, services), 1);  // unknown is not up
    CProbeResult zero;
    zero.dRttMs = 0;
    EXPECT_NE(StatusJsonLine(hosts[6], zero).find("\"rtt_ms\":0.0,"), std::string::npos);
    EXPECT_EQ(
        StatusJsonLine(hosts[4], {}),
        R"({"name":"printer","ip":null,"mac":null,"state":"unknown","rtt_ms":null,"how":null,"reason":null})"
        "\n");
}

TEST(Status, WaitForWokenHosts)
{
    CSetList book;
    book.AddTail("nas 10.0.0.5 001122334455");
    CNet net;
    net.table.push_back(Row("10.0.0.6", {0xAA, 0, 0, 0, 0, 1}));
    EXPECT_EQ(WaitAddressOfMac(book, net, "001122334455"), NetAddr("10.0.0.5"));
    EXPECT_EQ(WaitAddressOfMac(book, net, "AA0000000001"), NetAddr("10.0.0.6"));
    EXPECT_EQ(WaitAddressOfMac(book, net, "AA0000000002"), 0u);

    net.hosts["10.0.0.5"].nUpFromMs = 3000;
    CRecordingMessageBox messages;
    CAppServices services{nullptr, &net, &net, &net};
    services.pMessages = &messages;
    services.pOut = tmpfile();
    services.pProgress = tmpfile();
    services.pStop = &net.bStop;
    const std::vector<CWaitHost> hosts = {
        {"pc1", NetAddr("10.0.0.7")}, {"nas", NetAddr("10.0.0.5")}, {"tv", 0}};
    EXPECT_EQ(WaitForHosts(hosts, 4, services), 1);
    net.nStopAtUs = net.nNowUs + 1500000;
    EXPECT_EQ(WaitForHosts({hosts[0]}, 4, services), 130);
    EXPECT_EQ(Written(services.pOut),
              "nas is up after 2 s\npc1 is not up after 4 s\ntv: no address to wait for\n"
              "pc1 is not up after 2 s\n");
    const std::string strProgress = Written(services.pProgress);
    EXPECT_EQ(strProgress.find(
                  "\rwaiting for 2 of 2 hosts, 0 s\x1b[K\rwaiting for 2 of 2 hosts, 1 s\x1b[K"),
              0u)
        << strProgress;
    EXPECT_NE(strProgress.find("\r\x1b[K\rwaiting for 1 of 2 hosts, 3 s\x1b[K"), std::string::npos)
        << strProgress;
    EXPECT_TRUE(strProgress.ends_with("\r\x1b[K")) << strProgress;  // gone before the summary
    services.pProgress = nullptr;                                   // standard error is no terminal
    net.bStop = 0;
    services.pOut = tmpfile();
    EXPECT_EQ(WaitForHosts({hosts[1]}, 4, services), 0);
}

}  // namespace
