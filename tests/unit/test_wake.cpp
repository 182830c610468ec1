// The hardware address text, the magic packet, the socket calls of a wake and
// the link it leaves by.
#include "base/MacText.h"
#include "fakes/Fakes.h"
#include "ui/NUVIKDlg.h"
#include "wake/MagicPacket.h"
#include "wake/Waker.h"

namespace {

TEST(MacText, CutsToTheLeadingRunOfDigitsAndAcceptsExactlyTwelve)
{
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"0A1B2C3D4E5F", true, "0A1B2C3D4E5F"},
        {"0a1b2c3d4e5f", false, "0"},
        {"001122334455XYZ", true, "001122334455"},
        {"0011223344556", false, "0011223344556"},
    };
    for (const auto& [pszText, bValid, pszAfter] : cases) {
        std::string strMac = pszText;
        EXPECT_EQ(std::pair(CutToMacText(strMac), strMac),
                  std::pair(bValid, std::string(pszAfter)));
    }
    EXPECT_EQ(std::vector({HexPairToByte("7"), HexPairToByte("a0"), HexPairToByte("A0F")}),
              std::vector({7, 160, 0}));
}

// Any common form of a hardware address, to its twelve-digit text ("" when
// it is none).
TEST(MacText, AnyFormTakesPairsQuadsAndEitherCaseEachWithItsSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"0a1B2c3D4e5F", "0A1B2C3D4E5F"},
        {"02:00:00:00:00:ab", "0200000000AB"},
        {"02-00-00-00-00-AB", "0200000000AB"},
        {"0200.0000.00ab", "0200000000AB"},
        {"0200:0000:00ab", ""},
    };
    std::string strNul;
    EXPECT_FALSE(ParseAnyMac(std::string("0200000000A\0", 12), strNul));
    for (const auto& [pszText, pszMac] : cases) {
        std::string strMac;
        EXPECT_EQ(std::pair(ParseAnyMac(pszText, strMac), strMac),
                  std::pair(*pszMac != '\0', std::string(pszMac)))
            << pszText;
    }
}

// What the listener says of a datagram: the length, then every copy.
TEST(MagicPacket, TheListenerTakesOnlyTheExactPacket)
{
    std::vector<uint8_t> data(200, 0x5A);
    const CMagicPacket packet = BuildMagicPacket({0, 0x11, 0x22, 0x33, 0x44, 0x55});
    std::copy(packet.begin(), packet.end(), data.begin());
    std::string strMac;
    EXPECT_EQ(CheckMagicPacket(data.data(), 103, strMac), "not well formed: 103 bytes, not 102");
    EXPECT_EQ(CheckMagicPacket(data.data(), 102, strMac) + " " + strMac,
              "well formed 001122334455");
    data[101] = 0;
    EXPECT_EQ(CheckMagicPacket(data.data(), 102, strMac),
              "not well formed: copy 16 of the address differs from the first");
}

// The waker's socket calls; interface 2 holds the default route, a host may
// live on the link of interface 3.
class WakeTest : public ::testing::Test {
protected:
    CFakeSocketLayer sockets;
    CFakeRoutes routes;
    List lines;
    bool bVerbose = false;  // a line for each datagram

    CWakeOutcome Wake(const char* pszMac, const char* pszIp = "", CDelivery delivery = {})
    {
        CWakeOptions options{delivery};
        if (bVerbose)
            options.onDatagram = [this](const std::string& strLine) { lines.push_back(strLine); };
        return CWaker(sockets, &routes, options).Wake({"pc", pszIp, pszMac});
    }
    std::pair<CWakeOutcome::EStatus, std::string> Outcome(const CWakeOutcome& outcome)
    {
        return {outcome.status, outcome.strReason};
    }
};

TEST_F(WakeTest, FailuresCloseWhatWasOpenedAndSayWhy)
{
    using E = CWakeOutcome::EStatus;
    const List kAll = {"socket", "bind", "setsockopt", "send", "close"};
    const std::tuple<const char*, int, List, const char*> cases[] = {
        {"socket", EMFILE, {"socket"}, "create a UDP socket: Too many open files"},
        {"bind", EACCES, {"socket", "bind", "close"}, "bind to UDP port 4000: Permission denied"},
        {"send", EPERM, kAll, "send to 255.255.255.255 port 4000: Operation not permitted"},
        {"short", 0, kAll, "send to 255.255.255.255 port 4000: the datagram was cut short"},
    };
    routes.addresses = {
        {2, "vb", NetAddr("10.0.2.1"), 24}};  // only an unreachable network goes out of every link
    for (const auto& [pszOp, nErrno, ops, pszReason] : cases) {
        sockets = CFakeSocketLayer();
        sockets.failures[pszOp] = nErrno;
        sockets.bShortSends = nErrno == 0;
        EXPECT_EQ(Outcome(Wake("001122334455")), std::pair(E::SendFailed, std::string(pszReason)));
        EXPECT_EQ(sockets.ops, ops);
        EXPECT_EQ(sockets.nOpen, 0);
    }
    bVerbose = true;
    EXPECT_EQ(Wake("001122aabbcc").status, E::InvalidMac);
    EXPECT_EQ(lines, List{});
    // Port 4000 taken by another program: a port the kernel picks, and said.
    sockets = CFakeSocketLayer();
    sockets.failures["bind"] = EADDRINUSE;
    EXPECT_EQ(Wake("001122334455").status, E::Sent);
    EXPECT_EQ(
        lines,
        List{"pc 001122334455 to 255.255.255.255 port 4000 by the kernel's route (default route), "
             "from port 40000 (4000 is taken)"});
}

TEST_F(WakeTest, TheHostsOwnLinkOnlyWhenItsRouteIsOnAnotherLink)
{
    const CRouteInfo onB = CFakeRoutes::Route(2), onC = CFakeRoutes::Route(3),
                     viaC = CFakeRoutes::Route(3, "10.0.3.1"), blackhole{RTN_BLACKHOLE, 3, 0};
    const std::optional<CRouteInfo> none;
    // bTableRead: the on-link routes: 10.0.3.0/24 by 3, the default by 2
    // nLink: 0: by the default route
    const std::tuple<const char*, std::optional<CRouteInfo>, std::optional<CRouteInfo>, bool,
                     unsigned, int>
        cases[] = {
            {"10.0.3.5", onC, onB, false, 3, 2},       {"10.0.3.5", onB, onB, false, 0, 2},
            {"10.0.3.5", viaC, onB, false, 0, 2},      {"10.0.3.5", none, onB, false, 0, 2},
            {"10.0.3.5", blackhole, onB, false, 0, 2}, {"10.0.3.5", onC, none, false, 3, 2},
            {"10.0.3.5", onC, onB, true, 3, 2},        {"10.0.2.5", onB, onB, true, 0, 1},
            {"0.0.0.0", onC, onB, false, 0, 0},        {"10.0.3", onC, onB, false, 0, 0},
        };
    for (const auto& [pszIp, host, broadcast, bTableRead, nLink, nLookUps] : cases) {
        SCOPED_TRACE(pszIp);
        routes = CFakeRoutes();
        if (host)
            routes.routes[pszIp] = *host;
        if (broadcast)
            routes.routes["255.255.255.255"] = *broadcast;
        routes.bLinkRoutesRead = bTableRead;
        routes.linkRoutes = {{NetAddr("10.0.3.0"), 24, 3}, {0, 0, 2}};
        sockets = CFakeSocketLayer();
        EXPECT_EQ(Wake("001122334455", pszIp).status, CWakeOutcome::EStatus::Sent);
        EXPECT_EQ(sockets.sends.at(0).nIfIndex, nLink);
        EXPECT_EQ(routes.nLookUps, nLookUps);
    }
    // A batch reads them once; a link the host's route chose that fails is
    // not left for another.
    routes = CFakeRoutes();
    routes.routes = {{"10.0.3.5", onC}, {"10.0.3.6", onC}, {"255.255.255.255", onB}};
    routes.addresses = {{2, "vb", NetAddr("10.0.2.1"), 24}};
    CWaker batch(sockets, &routes);
    batch.Wake({"a", "10.0.3.5", "001122334455"});
    batch.Wake({"b", "10.0.3.6", "001122334455"});
    EXPECT_EQ(routes.nLookUps, 3);
    sockets = CFakeSocketLayer();
    sockets.linkFailures[3] = ENETUNREACH;
    EXPECT_EQ(
        Outcome(Wake("001122334455", "10.0.3.5")),
        std::pair(CWakeOutcome::EStatus::SendFailed,
                  std::string("send to 255.255.255.255 port 4000 on if3: Network is unreachable")));
    EXPECT_EQ(sockets.sends.size(), 1u);
    // A destination of the user's own goes by its route, and only by it.
    sockets = CFakeSocketLayer();
    sockets.linkFailures[0] = ENETUNREACH;
    EXPECT_EQ(Wake("001122334455", "10.0.3.5", {9, NetAddr("10.0.3.255"), 0}).status,
              CWakeOutcome::EStatus::SendFailed);
    EXPECT_EQ(sockets.sends.size(), 1u);
}

// The window's "OK" sends as many datagrams as asked, where asked, a pause
// between them, and describes each; it reads the routes afresh each time.
TEST_F(WakeTest, TheWindowTakesTheDeliveryOptions)
{
    static int s_nPausedMs = 0;
    CDlgServices services{&sockets, nullptr, nullptr, nullptr, {},
                          nullptr,  nullptr, nullptr, &routes};
    services.wake = {{9, NetAddr("10.0.3.255"), 5},
                     3,
                     [](int nMs) { s_nPausedMs += nMs; },
                     [&](const std::string& strLine) { lines.push_back(strLine); }};
    CNUVIKDlg window({}, services);
    window.m_strMac = "001122334455";
    window.m_strName = "pc";
    EXPECT_EQ(window.WakeHost().status, CWakeOutcome::EStatus::Sent);
    EXPECT_EQ(s_nPausedMs, 2 * kRepeatPauseMs);
    EXPECT_EQ(lines, List(3, "pc 001122334455 to 10.0.3.255 port 9 by if5 (named)"));
    CNUVIKDlg plain({},
                    {&sockets, nullptr, nullptr, nullptr, {}, nullptr, nullptr, nullptr, &routes});
    routes.routes["10.0.3.5"] = CFakeRoutes::Route(3);
    for (unsigned nBroadcastLink : {3u, 2u}) {
        routes.routes["255.255.255.255"] = CFakeRoutes::Route(nBroadcastLink);
        plain.m_strMac = "001122334455";
        plain.m_strIp = "10.0.3.5";
        plain.WakeHost();
    }
    EXPECT_EQ(sockets.sends.back().nIfIndex, 3u);
}

// No route for the limited broadcast at all: every link that can broadcast
// gets the datagram on the same socket, once however many addresses it
// holds; one that takes it is enough.
TEST_F(WakeTest, NoBroadcastRouteSendsOutOfEveryLink)
{
    routes.addresses = {{2, "vb", NetAddr("10.0.2.1"), 24},
                        {3, "vc", NetAddr("10.0.3.1"), 24},
                        {3, "vc", NetAddr("10.0.4.1"), 24}};
    sockets.linkFailures = {{0, ENETUNREACH}, {3, ENETDOWN}};  // 0: by the routes
    bVerbose = true;
    EXPECT_EQ(
        Outcome(Wake("001122334455")),
        std::pair(CWakeOutcome::EStatus::Sent,
                  std::string("send to 255.255.255.255 port 4000 failed on vc (Network is down)")));
    EXPECT_EQ(sockets.ops, List({"socket", "bind", "setsockopt", "send", "send", "send", "close"}));
    EXPECT_EQ(lines, List{"pc 001122334455 to 255.255.255.255 port 4000 by vb (every link)"});
    sockets.linkFailures[2] = EPERM;
    EXPECT_EQ(Outcome(Wake("001122334455")),
              std::pair(CWakeOutcome::EStatus::SendFailed,
                        std::string("send to 255.255.255.255 port 4000 failed on vb (Operation not "
                                    "permitted), vc (Network is down)")));
    EXPECT_EQ(sockets.nOpen, 0);
    sockets.linkFailures = {{0, ENETUNREACH}};
    sockets.bShortSends = true;  // a link that took part of it did not get it
    EXPECT_EQ(Wake("001122334455").strReason,
              "send to 255.255.255.255 port 4000 failed on vb (the datagram was cut short), vc "
              "(the datagram was cut short)");
}

}  // namespace
