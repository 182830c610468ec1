// Is it up: the probe engine on a simulated network, the hosts --status asks
// about, its output, and --wait.
#include "app/StatusMode.h"
#include "base/Text.h"
#include "fakes/FakeNet.h"
#include "fakes/Fakes.h"
#include "hosts/HostLookUp.h"
#include "hosts/SetList.h"

namespace {

using E = EProbeSocket;
const std::set<E> kNoIcmp = {E::EchoDgram, E::EchoRaw};
const std::string kTcp = "tcp:22,tcp:80,tcp:443,tcp:445,tcp:3389";

struct CNet : CFakeNet {
    CNet()
    {
        hosts["10.0.0.5"] = {};
        hosts["10.0.0.6"] = {true, false};  // ignores echo
        hosts["10.0.0.9"] = {true, false};
        hosts["10.0.0.11"] = {true, true, true, true, true, 20};  // slower
        hosts["10.9.0.5"] = {false};
        hosts["10.9.0.6"] = {false, false, true, true, false};  // refuses every connection
        hosts["10.9.0.7"] = {false, false, false, false};       // behind the gateway, nobody
        noRoute.insert("10.0.0.8");
        local.insert("10.0.0.1"), hosts["10.0.0.1"] = {};
    }
    // addrs: "A.B.C.D", or "A.B.C.D/MAC" for the hardware address it should answer with.
    std::vector<CProbeResult> Probe(const List& addrs, CProbeOptions options = {})
    {
        std::vector<CProbeTarget> targets;
        for (const std::string& str : addrs)
            targets.push_back(
                {NetAddr(str.substr(0, str.find('/')).c_str()), 0,
                 str.find('/') == std::string::npos ? "" : str.substr(str.find('/') + 1)});
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
    void Entry(const char* pszAddr, uint16_t wState, int64_t nConfirmedAgoUs)
    {
        table.push_back(Row(pszAddr, {1, 2, 3, 4, 5, 6}, ~0u, 2, wState));
        confirmedUs[NetAddr(pszAddr)] = nNowUs - nConfirmedAgoUs;
    }
};

std::string Outcome(const CProbeResult& r)
{
    return std::string(ProbeStateName(r.state)) + " " + ProbeHowName(r.how) + " " +
        std::to_string(int(r.dRttMs)) + " " + (r.state == EProbeState::Up ? r.strMac : r.strReason);
}

TEST(ProbeEngine, EachWayOfTheLadderAndWhatCountsAsAnAnswer)
{
    const std::string strNoEcho =
        "no ICMP socket (Permission denied: the group is outside the sysctl "
        "net.ipv4.ping_group_range; Operation not permitted: a raw socket needs the "
        "capability CAP_NET_RAW)";
    // wEntry: the state of its neighbour entry, confirmed 2 s before; 0: none
    const std::tuple<std::set<E>, const char*, uint16_t, std::string, std::string> cases[] = {
        {{}, "10.0.0.5", 0, "up echo 10 020000000005", "echo"},
        {{E::EchoDgram}, "10.0.0.5", 0, "up echo 10 020000000005", "echo"},
        {kNoIcmp, "10.0.0.5", 0, "up neighbour 5 020000000005", "udp:9"},
        {kNoIcmp, "10.0.0.7", 0, "down neighbour -1 ", "udp:9"},
        {{}, "10.0.0.6", 0, "up neighbour 5 020000000006", "echo"},
        {kNoIcmp, "10.9.0.5", 0, "up tcp 5 ", kTcp},
        {kNoIcmp, "10.9.0.7", 0, "down tcp -1 ", kTcp},
        {kNoIcmp, "10.9.0.6", 0, "up tcp 5 ", kTcp},
        // Behind a gateway, TCP only when the echo got no answer.
        {{}, "10.9.0.5", 0, "up echo 5 ", "echo"},
        {{}, "10.9.0.7", 0, "down tcp -1 ", "echo," + kTcp},
        // A stale entry is checked again by the kernel, five seconds on: no TCP.
        {kNoIcmp, "10.0.0.9", NUD_STALE, "up neighbour 5005 020000000009", "udp:9"},
        {{}, "10.0.0.9", NUD_STALE, "up neighbour 5005 020000000009", "echo"},
        // An entry reachable from before is no answer now.
        {{}, "10.0.0.7", NUD_REACHABLE, "down echo -1 ", "echo"},
        {kNoIcmp, "10.0.0.7", NUD_REACHABLE,
         "unknown  -1 its neighbour entry was confirmed before this probe, and without an ICMP "
         "socket "
         "nothing asks the host again until the entry goes stale (" +
             strNoEcho + ")",
         "udp:9"},
        {{E::EchoDgram, E::EchoRaw, E::Udp, E::Tcp},
         "10.0.0.5",
         0,
         "unknown  -1 no way to probe it: " + strNoEcho + " and no UDP socket (Permission denied)",
         ""},
        {{}, "10.0.0.8", 0, "unknown  -1 no route to it", ""},
        {{}, "10.0.0.1", 0, "up echo 10 ", "echo"},  // this machine
        {{}, "0.0.0.0", 0, "unknown  -1 no address stored", ""},
        {{}, "224.0.0.1", 0, "unknown  -1 not the address of one host", ""},
        // Another machine answers for its address.
        {kNoIcmp, "10.0.0.5/0A0000000005", 0,
         "down neighbour -1 its address is held by 020000000005", "udp:9"},
        {kNoIcmp, "10.0.0.5/02:00:00:00:00:05", 0, "up neighbour 5 020000000005", "udp:9"},
    };
    for (const auto& [refused, pszAddr, wEntry, strOutcome, strSent] : cases) {
        CNet net;
        net.refused = refused;
        if (wEntry)
            net.Entry(pszAddr, wEntry, 2000000);
        EXPECT_EQ(Outcome(net.Probe({pszAddr})[0]), strOutcome) << pszAddr;
        EXPECT_EQ(net.Sent(), strSent) << pszAddr;
    }
}

TEST(ProbeEngine, ManyAtOnceEachWithItsOwnTimeWithinTheTablesRoom)
{
    // One round for all, each address once, each answer with its own time.
    CNet net;
    net.refused = kNoIcmp;
    auto results = net.Probe({"10.0.0.5", "10.9.0.5", "10.0.0.5", "10.0.0.11"});
    EXPECT_EQ(net.nNowUs, 1020000);
    EXPECT_EQ(std::tuple(results[2].how, results[0].dRttMs, results[3].dRttMs),
              std::tuple(EProbeHow::Neighbour, 5, 20));
    EXPECT_EQ(net.Sent(), "udp:9," + kTcp + ",udp:9");
    List addrs;
    for (int i = 0; i < 60; ++i)
        addrs.push_back("10.0.1." + std::to_string(i));
    // Below gc_thresh2 when the run fits there, other namespaces' entries
    // counted; else below gc_thresh3; at least one probe always in flight.
    const std::tuple<unsigned, unsigned, unsigned, size_t, int64_t> rooms[] = {
        {400, 512, 1024, 460, 2000000},  // fits: all at once, below 512
        {480, 512, 1024, 540, 2000000},  // does not: below 1024
        // Room for 24: a batch, then one at a time until the kernel has failed
        // them (three seconds after their probes).
        {120, 150, 160, 146, 8000000},
        // None: one at a time, and it ends (each entry held three seconds).
        {1100, 512, 1024, 1103, 61000000},
    };
    for (const auto& [nOthers, nThresh2, nThresh3, nMost, nEndUs] : rooms) {
        net = CNet();
        net.load = {nOthers, nThresh2, nThresh3};
        List notes;
        CProbeOptions options;
        options.onNote = [&](const std::string& strNote) { notes.push_back(strNote); };
        results = net.Probe(addrs, options);
        EXPECT_EQ(std::tuple(net.nMostEntries, net.nNowUs, net.sent.size(), notes.size()),
                  std::tuple(nMost, nEndUs, 60u, nEndUs > 2000000 ? 1u : 0u))
            << nOthers;
        EXPECT_TRUE(std::all_of(results.begin(), results.end(),
                                [](auto& r) { return r.state == EProbeState::Down; }));
    }
    // Lost notifications: the table is read whole.
    net = CNet();
    net.bLoseNotices = true;
    net.refused = kNoIcmp;
    EXPECT_EQ(net.Probe({"10.0.0.5"})[0].how, EProbeHow::Neighbour);
    EXPECT_EQ(net.nNowUs, 1005000);
    // Connection attempts: a few at a time, however many hosts lie behind the gateway.
    net = CNet();
    net.refused = kNoIcmp;
    addrs.clear();
    for (int i = 0; i < 40; ++i)
        addrs.push_back("10.9.1." + std::to_string(i)),
            net.hosts[addrs.back()] = {false, false, false, false};
    net.Probe(addrs);
    EXPECT_EQ(std::tuple(net.nMostTcp, net.sent.size()),
              std::tuple(kMaxTcpOpen - kMaxTcpOpen % 5, 200u));
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
        up.push_back(static_cast<int64_t>(i) * 100000 + result.nUpAtMs * 10 + result.nProbe);
    };
    const auto results = net.Probe({"10.0.0.7", "10.0.0.5"}, options);
    EXPECT_EQ(up, std::vector<int64_t>{130103});  // up from 2.5 s, its fourth probe at 3 s
    EXPECT_EQ(results[0].state, EProbeState::Down);
    EXPECT_EQ(net.nNowUs, 6000000);
    std::vector<int64_t> asked;
    for (const auto& [nMs, strWhat] : net.sent)
        if (strWhat == "echo 10.0.0.7")
            asked.push_back(nMs);
    EXPECT_EQ(asked, (std::vector<int64_t>{1000, 2000, 3000, 4000, 5000}));
    // Ctrl-C: at once; what was not decided is unknown.
    net = CNet();
    net.nStopAtUs = 2500000;
    EXPECT_EQ(Outcome(net.Probe({"10.0.0.7"}, options)[0]), "unknown  -1 interrupted");
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
    const CHostFinder finder(book, "b.ini", {&ethers});
    for (const char* psz : {"10.0.0.7", "0a1b.2c3d.4e5f", "tv", "box", "printer", "0.0.0.0"})
        hosts.push_back(FindStatusHost(finder, psz));
    hosts.push_back(BookHosts(book).back());
    hosts.push_back(BookHosts(book).front());  // another machine holds its address
    CNet net;
    net.refused = kNoIcmp;
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
        "printer   -         -             unknown  (no such host: not a hardware address, no name "
        "in the address book b.ini, not an IPv4 address, none in the ethers database)\n"
        "0.0.0.0   0.0.0.0   -             unknown  (no address stored)\n"
        "caf\xC3\xA9\\x1b  10.0.0.6  020000000006  up       5.0 ms\n"
        "nas       10.0.0.5  001122334455  down     (its address is held by 020000000005)\n");
    services.pOut = tmpfile();
    net.table.clear();
    EXPECT_EQ(RunStatus({hosts[6]}, true, services), 0);
    EXPECT_EQ(Written(services.pOut),
              "{\"name\":\"caf\xC3\xA9\\u001b\",\"ip\":\"10.0.0.6\",\"mac\":\"020000000006\","
              "\"state\":\"up\",\"rtt_ms\":5.0,\"how\":\"neighbour\",\"reason\":null,\"held_by\":"
              "null}\n");
    services.pOut = tmpfile();
    EXPECT_EQ(RunStatus({hosts[6], hosts[1]}, false, services), 1);  // one unknown
    services.pOut = tmpfile();
    EXPECT_EQ(RunStatus({hosts[7]}, true, services), 1);
    EXPECT_NE(Written(services.pOut).find("\"held_by\":\"020000000005\""), std::string::npos);
    // What a terminal obeys or reorders by is escaped too; U+00A0, ZWJ and é stay.
    EXPECT_EQ(JsonControlsEscaped("\"a\x7F\xC2\x85\xC2\x9F\xC2\xA0\xE2\x80\xAE\xE2\x81\xA6\xD8\x9C"
                                  "\xE2\x80\x8D\xC3\xA9\""),
              "\"a\\u007f\\u0085\\u009f\xC2\xA0\\u202e\\u2066\\u061c\xE2\x80\x8D\xC3\xA9\"");
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
    std::vector<CWaitHost> hosts = {{"pc1", NetAddr("10.0.0.7")},
                                    {"nas", NetAddr("10.0.0.5")},
                                    {"tv", 0},
                                    {"gone", NetAddr("10.0.0.9")}};
    std::string strWakes;
    // gone's wake failed: not waited for, nothing said of it.
    const auto Wake = [&] {
        strWakes += std::to_string(net.nNowUs / 1000) + "=" + net.Sent() + ";";
        for (size_t i = 0; i < 3; ++i)
            hosts[i].bWoken = true;
    };
    EXPECT_EQ(WaitForHosts(hosts, 4, services, Wake), 1);
    EXPECT_EQ(strWakes, "1000=echo,echo,echo;");  // right after the first probes
    net.nStopAtUs = net.nNowUs + 1500000;
    std::vector<CWaitHost> first = {hosts[0]};
    EXPECT_EQ(WaitForHosts(first, 4, services, [] {}), 130);
    net.bStop = 0;
    std::vector<CWaitHost> up = {{"nas", NetAddr("10.0.0.5"), "", true}};  // up before its wake
    EXPECT_EQ(WaitForHosts(up, 4, services, [] {}), 0);
    EXPECT_EQ(Written(services.pOut),
              "nas is up after 2 s\npc1 is not up after 4 s\ntv: no address to wait for\n"
              "pc1 is not up after 2 s\nnas was up before its wake\n");
    const std::string strProgress = Written(services.pProgress);
    EXPECT_TRUE(strProgress.ends_with("\r\x1b[K")) << strProgress;  // gone before the summary
    services.pOut = tmpfile();
    services.pProgress = nullptr;
    std::vector<CWaitHost> json = {up[0], hosts[2], {"pc\x1b", NetAddr("10.0.0.7"), "A1", true}};
    EXPECT_EQ(WaitForHosts(
                  json, 4, services, [] {}, true),
              1);
    EXPECT_EQ(Written(services.pOut),
              R"({"name":"nas","ip":"10.0.0.5","mac":null,"state":"up","after_s":0,)"
              R"("reason":"up before its wake"})"
              "\n"
              R"({"name":"tv","ip":null,"mac":null,"state":"unknown","after_s":null,)"
              R"("reason":"no address to wait for"})"
              "\n"
              R"({"name":"pc\u001b","ip":"10.0.0.7","mac":"A1","state":"down","after_s":4,)"
              R"("reason":null})"
              "\n");
}

}  // namespace
