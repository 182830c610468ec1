// Is it up: the probe engine on a simulated network, the hosts --status asks
// about, its output, and --wait.
#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "app/StatusMode.h"
#include "fakes/FakeNet.h"
#include "fakes/Fakes.h"

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
        hosts["10.9.0.7"] = {false, false, false, false};  // behind the gateway, nobody
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
    std::string Sent()
    {
        std::string str;
        for (const auto& [nMs, strWhat] : sent)
            str += (str.empty() ? "" : ",") + strWhat;
        return str;
    }
};

TEST(ProbeEngine, EachWayOfTheLadderAndWhatItDecides)
{
    const std::string kTcp9 = "tcp:22 10.9.0.5,tcp:80 10.9.0.5,tcp:443 10.9.0.5,tcp:445 10.9.0.5,tcp:3389 10.9.0.5";
    const struct {
        std::set<E> refused;
        const char* pszAddr;
        uint16_t wEntry;  // the neighbour entry before, 0: none
        EProbeState state;
        EProbeHow how;
        double dRttMs;
        std::string strSent, strReasonOrMac;
    } cases[] = {
        {{}, "10.0.0.5", 0, EProbeState::Up, EProbeHow::Echo, 10, "echo 10.0.0.5", "020000000005"},
        {{E::EchoDgram}, "10.0.0.5", 0, EProbeState::Up, EProbeHow::Echo, 10, "echo 10.0.0.5", "020000000005"},
        {kNoIcmp, "10.0.0.5", 0, EProbeState::Up, EProbeHow::Neighbour, 5, "udp:9 10.0.0.5", "020000000005"},
        {kNoIcmp, "10.0.0.7", 0, EProbeState::Down, EProbeHow::Neighbour, -1, "udp:9 10.0.0.7", ""},
        {{}, "10.0.0.6", 0, EProbeState::Up, EProbeHow::Neighbour, 5, "echo 10.0.0.6", "020000000006"},
        {kNoIcmp, "10.9.0.5", 0, EProbeState::Up, EProbeHow::Tcp, 5, kTcp9, ""},
        {kNoIcmp, "10.9.0.7", 0, EProbeState::Down, EProbeHow::Tcp, -1, "tcp:22 10.9.0.7,tcp:80 10.9.0.7,tcp:443 10.9.0.7,tcp:445 10.9.0.7,tcp:3389 10.9.0.7", ""},
        {{}, "10.9.0.7", 0, EProbeState::Down, EProbeHow::Echo, -1, "echo 10.9.0.7", ""},
        // An entry the kernel would not ask about for seconds: TCP as well.
        {kNoIcmp, "10.0.0.9", NUD_STALE, EProbeState::Up, EProbeHow::Tcp, 5, "udp:9 10.0.0.9,tcp:22 10.0.0.9,tcp:80 10.0.0.9,tcp:443 10.0.0.9,tcp:445 10.0.0.9,tcp:3389 10.0.0.9", "010203040506"},
        {kNoIcmp, "10.0.0.5", NUD_REACHABLE, EProbeState::Up, EProbeHow::Neighbour, -1, "udp:9 10.0.0.5", "010203040506"},
        {{E::EchoDgram, E::EchoRaw, E::Udp, E::Tcp}, "10.0.0.5", 0, EProbeState::Unknown, EProbeHow::None, -1, "", "no way to probe it"},
        {{}, "10.0.0.8", 0, EProbeState::Unknown, EProbeHow::None, -1, "", "no route to it"},
        {{}, "0.0.0.0", 0, EProbeState::Unknown, EProbeHow::None, -1, "", "no address stored"},
        {{}, "255.255.255.255", 0, EProbeState::Unknown, EProbeHow::None, -1, "", "not the address of one host"},
    };
    for (const auto& c : cases) {
        CNet net;
        net.refused = c.refused;
        if (c.wEntry)
            net.table.push_back(Row(c.pszAddr, {1, 2, 3, 4, 5, 6}, ~0u, 2)), net.table.back().wState = c.wEntry;
        const CProbeResult result = net.Probe({c.pszAddr})[0];
        SCOPED_TRACE(c.pszAddr + std::string(" ") + net.Sent());
        EXPECT_EQ(result.state, c.state);
        EXPECT_EQ(result.how, c.how);
        EXPECT_EQ(result.dRttMs, c.dRttMs);
        EXPECT_EQ(net.Sent(), c.strSent);
        EXPECT_EQ(result.state == EProbeState::Unknown ? result.strReason : result.strMac, c.strReasonOrMac);
        EXPECT_EQ(result.bKnownBefore, c.wEntry != 0);
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
    EXPECT_EQ(std::count_if(net.sent.begin(), net.sent.end(), [](auto& s) { return s.second == "udp:9 10.0.0.5"; }), 1);
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
    EXPECT_TRUE(std::all_of(results.begin() + 3, results.end(), [](auto& r) { return r.state == EProbeState::Down; }));
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
    options.onUp = [&](size_t i, const CProbeResult& result) { up.push_back(static_cast<int64_t>(i) * 100000 + result.nUpAtMs); };
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
    for (const char* psz : {"nas 10.0.0.5 001122334455", "pc1 0.0.0.0 0A1B2C3D4E5F", "tv 10.0.0.x", "caf\xE9\x1b 10.0.0.6"})
        book.AddTail(psz);
    CFakeEthers ethers;
    ethers.hosts["box"] = {1, 2, 3, 4, 5, 6};
    const struct {
        const char* pszHost;
        const char* pszLine;
    } cases[] = {
        {"NAS", "nas 10.0.0.5 001122334455 up 10.0 ms"},
        {"00:11:22:33:44:55", "nas 10.0.0.5 001122334455 up 10.0 ms"},
        {"10.0.0.5", "nas 10.0.0.5 001122334455 up 10.0 ms"},
        {"10.0.0.7", "10.0.0.7 10.0.0.7 - down"},
        {"0a1b.2c3d.4e5f", "pc1 0.0.0.0 0A1B2C3D4E5F unknown (no address stored)"},
        {"tv", "tv 10.0.0.x - unknown (the stored address is not an IPv4 address)"},
        {"box", "box - 010203040506 unknown (no entry of the address book has its hardware address)"},
        {"printer", "printer - - unknown (not in the address book)"},
        {"caf\xC3\xA9\x1b", "caf\xC3\xA9\\x1b 10.0.0.6 020000000006 up 5.0 ms"},  // echo ignored
    };
    std::vector<CStatusHost> hosts;
    for (const auto& c : cases)
        hosts.push_back(FindStatusHost(book, ethers, c.pszHost));
    hosts.back() = BookHosts(book).back();
    CNet net;
    CRecordingMessageBox messages;
    CTempDir dir;
    FILE* pOut = fopen((dir / "out").c_str(), "w+");
    CStatusServices services{&net, &net, &net, &messages, pOut};
    EXPECT_EQ(RunStatus(hosts, false, services), 1);
    EXPECT_EQ(RunStatus({hosts[0], hosts[8]}, true, services), 0);
    fclose(pOut);
    std::istringstream out(ReadBytes(dir / "out"));
    std::string strLine;
    for (const auto& c : cases) {
        std::getline(out, strLine);
        std::istringstream words(strLine);
        std::string strWord, strWords;
        while (words >> strWord)
            strWords += (strWords.empty() ? "" : " ") + strWord;
        EXPECT_EQ(strWords, c.pszLine);
        EXPECT_EQ(strLine.find_first_not_of(' ', strLine.find(' ')), 10u + (c.pszHost[3] == '\xC3')) << strLine;
    }
    std::getline(out, strLine);
    EXPECT_EQ(strLine, R"({"name":"nas","ip":"10.0.0.5","mac":"001122334455","state":"up","rtt_ms":10.0,"how":"echo","reason":null})");
    std::getline(out, strLine);
    EXPECT_EQ(nlohmann::json::parse(strLine)["name"], "caf\xC3\xA9\x1b");  // not UTF-8: as the window shows it
    EXPECT_EQ(StatusJsonLine(hosts[7], {}), R"({"name":"printer","ip":null,"mac":null,"state":"unknown","rtt_ms":null,"how":null,"reason":null})" "\n");
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
    CTempDir dir;
    FILE* pOut = fopen((dir / "out").c_str(), "w");
    FILE* pProgress = fopen((dir / "progress").c_str(), "w");
    CStatusServices services{&net, &net, &net, &messages, pOut, pProgress, &net.bStop};
    const std::vector<CWaitHost> hosts = {{"pc1", NetAddr("10.0.0.7")}, {"nas", NetAddr("10.0.0.5")}, {"tv", 0}};
    EXPECT_EQ(WaitForHosts(hosts, 4, services), 1);
    net.nStopAtUs = net.nNowUs + 1500000;
    EXPECT_EQ(WaitForHosts({hosts[0]}, 4, services), 130);
    fclose(pOut);
    fclose(pProgress);
    EXPECT_EQ(ReadBytes(dir / "out"), "nas is up after 2 s\npc1 is not up after 4 s\ntv: no address to wait for\n"
                                      "pc1 is not up after 2 s\n");
    const std::string strProgress = ReadBytes(dir / "progress");
    EXPECT_EQ(strProgress.find("\rwaiting for 2 of 2 hosts, 0 s\x1b[K\rwaiting for 2 of 2 hosts, 1 s\x1b[K"), 0u) << strProgress;
    EXPECT_NE(strProgress.find("\r\x1b[K\rwaiting for 1 of 2 hosts, 3 s\x1b[K"), std::string::npos) << strProgress;
}

TEST(Status, Options)
{
    const struct {
        List args;
        const char* pszParsed;
    } cases[] = {
        {{"--status", "--json"}, "status json wait=0 "},
        {{"-w", "x", "--wait"}, "wait=60 [x]"},
        {{"f.ini", "--wait=3600"}, "wait=3600 [f.ini]"},
        {{"x", "--wait=3601"}, "error: --wait '3601': not a number of seconds from 1 to 3600"},
        {{"x", "--wait=0"}, "error: --wait '0': not a number of seconds from 1 to 3600"},
        {{"--wait"}, "error: --wait waits for woken hosts: give hosts to wake, or a profile file"},
        {{"--status", "-w", "x"}, "error: --status only asks: it does not go with --wake"},
        {{"--status", "x", "--wait"}, "error: --status only asks: it does not go with --wait"},
        {{"x", "--json"}, "error: --json goes with --status or --scan"},
    };
    for (const auto& c : cases) {
        CCommandLine line;
        std::string strError;
        const std::string strParsed = !ParseCommandLine(c.args, line, strError) ? "error: " + strError
            : std::string(line.bStatus ? "status " : "") + (line.bJson ? "json " : "") + "wait=" + std::to_string(line.nWaitSeconds) + " ";
        std::string strArgs;
        for (const std::string& strArg : line.args)
            strArgs += "[" + strArg + "]";
        EXPECT_EQ(strParsed + (strParsed.starts_with("error") ? "" : strArgs), c.pszParsed);
    }
}

} // namespace
