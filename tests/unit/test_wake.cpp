// The hardware address text, the magic packet, the socket calls of a wake and
// the link it leaves by.
#include "fakes/Fakes.h"
#include "wake/Listener.h"
#include "wake/MacText.h"
#include "wake/MagicPacket.h"

namespace {

TEST(MacText, CutsToTheLeadingRunOfDigitsAndAcceptsExactlyTwelve)
{
    const struct {
        const char* pszText;
        bool bValid;
        const char* pszAfter;
    } cases[] = {
        {"0A1B2C3D4E5F", true, "0A1B2C3D4E5F"},
        {"0a1b2c3d4e5f", false, "0"},
        {"00-11-22-33-44-55", false, "00"},
        {"001122334455XYZ", true, "001122334455"},
        {"0011223344556", false, "0011223344556"},
        {"00112233445", false, "00112233445"},
        {" 001122334455", false, ""},
    };
    for (const auto& c : cases) {
        std::string strMac = c.pszText;
        EXPECT_EQ(CutToMacText(strMac), c.bValid) << c.pszText;
        EXPECT_EQ(strMac, c.pszAfter) << c.pszText;
    }
    EXPECT_EQ(std::vector({HexPairToByte("7"), HexPairToByte("a0"), HexPairToByte("A0F")}),
              std::vector({7, 160, 0}));
}

// Any common form of a hardware address, to its twelve-digit text ("" when
// it is none).
TEST(MacText, AnyFormTakesPairsQuadsAndEitherCaseWithOneSeparatorThroughout)
{
    const struct {
        const char* pszText;
        const char* pszMac;
    } cases[] = {
        {"0a1B2c3D4e5F", "0A1B2C3D4E5F"},
        {"02:00:00:00:00:ab", "0200000000AB"},
        {"02-00-00-00-00-AB", "0200000000AB"},
        {"0200.0000.00ab", "0200000000AB"},
        {"02:00-00:00:00:ab", ""},
        {"02.00.00.00.00.ab", ""},
        {"0200:0000:00ab", ""},
        {"0200000000AB0", ""},
        {"0200000000AG", ""},
        {"2:00:00:00:00:ab:", ""},
        {"020:00:00:00:0:ab", ""},
        {"02:00:00:00:00:a b", ""},
        {"", ""},
    };
    std::string strNul;
    EXPECT_FALSE(ParseAnyMac(std::string("0200000000A\0", 12), strNul));
    for (const auto& c : cases) {
        std::string strMac;
        EXPECT_EQ(ParseAnyMac(c.pszText, strMac), *c.pszMac != '\0') << c.pszText;
        EXPECT_EQ(strMac, c.pszMac) << c.pszText;
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

// WakeHost with its socket calls: interactive calls (no first argument)
// speak in message boxes, silent ones only return. Interface 2 holds the
// default route; a host may live on the link of interface 3.
class WakeTest : public ::testing::Test {
protected:
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeRoutes routes;

    CWakeOutcome Wake(List args, const char* pszMac, const char* pszIp = "")
    {
        CNUVIKDlg dlg(std::move(args),
                      {&sockets, &messages, nullptr, {}, nullptr, nullptr, nullptr, &routes});
        dlg.m_strMac = pszMac;
        dlg.m_strIp = pszIp;
        return dlg.WakeHost();
    }
};

TEST_F(WakeTest, FailuresCloseWhatWasOpenedAndSayWhyInteractivelyOnly)
{
    const struct {
        const char* pszOp;
        int nErrno;
        List ops;
        const char* pszReason;
    } cases[] = {
        {"socket", EMFILE, {"socket"}, "create a UDP socket: Too many open files"},
        {"bind",
         EADDRINUSE,
         {"socket", "bind", "close"},
         "bind to UDP port 4000: Address already in use"},
        {"sendto",
         EPERM,
         {"socket", "bind", "setsockopt", "sendto", "close"},
         "send to 255.255.255.255 port 4000: Operation not permitted"},
        {"short",
         0,
         {"socket", "bind", "setsockopt", "sendto", "close"},
         "send to 255.255.255.255 port 4000: the datagram was cut short"},
    };
    routes.links = {{2, "vb"}};  // only an unreachable network sends out of every link
    for (const auto& c : cases) {
        for (bool bInteractive : {false, true}) {
            sockets = CFakeSocketLayer();
            sockets.failures[c.pszOp] = c.nErrno;
            sockets.bShortSends = c.nErrno == 0;
            messages.texts.clear();
            const CWakeOutcome outcome = Wake(bInteractive ? List{} : List{""}, "001122334455");
            EXPECT_EQ((std::tuple(outcome.status, outcome.strReason)),
                      std::tuple(CWakeOutcome::EStatus::SendFailed, c.pszReason));
            EXPECT_EQ(sockets.Ops(), c.ops);
            EXPECT_EQ(sockets.nOpen, 0);
            EXPECT_EQ(messages.texts.size(), bInteractive ? 1u : 0u) << c.pszOp;
        }
    }
    EXPECT_EQ(Wake({}, "001122aabbcc").status, CWakeOutcome::EStatus::InvalidMac);
    EXPECT_EQ(messages.texts.back(), "Invalid MAC address");
}

TEST_F(WakeTest, TheHostsOwnLinkOnlyWhenItsRouteIsOnAnotherLink)
{
    const CRouteInfo onB = CFakeRoutes::Route(2), onC = CFakeRoutes::Route(3),
                     viaC = CFakeRoutes::Route(3, "10.0.3.1");
    const std::optional<CRouteInfo> none;
    // bTableRead: the on-link routes: 10.0.3.0/24 by 3, the default by 2
    // nLink: 0: by the default route
    const struct {
        const char* pszIp;
        std::optional<CRouteInfo> host, broadcast;
        bool bTableRead;
        unsigned nLink;
        int nLookUps;
    } cases[] = {
        {"10.0.3.5", onC, onB, false, 3, 2},  {"10.0.3.5", onB, onB, false, 0, 2},
        {"10.0.3.5", viaC, onB, false, 0, 2}, {"10.0.3.5", none, onB, false, 0, 2},
        {"10.0.3.5", onC, none, false, 3, 2}, {"10.0.3.5", onC, onB, true, 3, 2},
        {"10.0.2.5", onB, onB, true, 0, 1},   {"0.0.0.0", onC, onB, false, 0, 0},
        {"10.0.3", onC, onB, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        routes = CFakeRoutes();
        if (c.host)
            routes.routes[c.pszIp] = *c.host;
        if (c.broadcast)
            routes.routes["255.255.255.255"] = *c.broadcast;
        routes.bLinkRoutesRead = c.bTableRead;
        routes.linkRoutes = {{NetAddr("10.0.3.0"), 24, 3}, {0, 0, 2}};
        sockets = CFakeSocketLayer();
        EXPECT_EQ(Wake({"hosts.ini"}, "001122334455", c.pszIp).status, CWakeOutcome::EStatus::Sent);
        EXPECT_EQ(sockets.Sends().at(0).strOp, c.nLink ? "sendmsg" : "sendto");
        EXPECT_EQ(sockets.Sends().at(0).nIfIndex, c.nLink);
        EXPECT_EQ(routes.nLookUps, c.nLookUps);
    }
    // A batch reads them once; a link the host's route chose that fails is
    // not left for another.
    routes = CFakeRoutes();
    routes.routes = {{"10.0.3.5", onC}, {"10.0.3.6", onC}, {"255.255.255.255", onB}};
    routes.links = {{2, "vb"}};
    CLinkChooser batch(&routes);
    EXPECT_EQ(batch.Choose(NetAddr("10.0.3.5")).nLink + batch.Choose(NetAddr("10.0.3.6")).nLink,
              6u);
    EXPECT_EQ(routes.nLookUps, 3);
    sockets = CFakeSocketLayer();
    sockets.linkFailures[3] = ENETUNREACH;
    const CWakeOutcome outcome = Wake({"x"}, "001122334455", "10.0.3.5");
    EXPECT_EQ((std::tuple(outcome.status, outcome.strReason)),
              std::tuple(CWakeOutcome::EStatus::SendFailed,
                         "send to 255.255.255.255 port 4000 on if3: Network is unreachable"));
    EXPECT_EQ(sockets.Sends().size(), 1u);
    // A destination of the user's own goes by its route, and only by it.
    CLinkChooser to(&routes, {4000, NetAddr("10.0.3.255"), 0});
    const CDestination dest = to.Choose(NetAddr("10.0.3.5"));
    EXPECT_EQ(std::tuple(dest.nLink, dest.why), std::tuple(0u, ELinkWhy::Destination));
    routes.routes["10.0.3.255"] = CFakeRoutes::Route(0);
    EXPECT_EQ(to.LinkNameOf(dest), "the kernel's route");
    sockets.failures["sendto"] = ENETUNREACH;
    EXPECT_EQ(SendMagicPacket(sockets, BuildMagicPacket({}), &to, 0).sent.size(), 0u);
    // The window reads the routes afresh for each wake: they may have changed.
    routes = CFakeRoutes();
    routes.routes["10.0.3.5"] = onC;
    CNUVIKDlg window({}, {&sockets, &messages, nullptr, {}, nullptr, nullptr, nullptr, &routes});
    for (unsigned nBroadcastLink : {3u, 2u}) {
        routes.routes["255.255.255.255"] = CFakeRoutes::Route(nBroadcastLink);
        window.m_strMac = "001122334455";
        window.m_strIp = "10.0.3.5";
        window.WakeHost();
    }
    EXPECT_EQ(sockets.Sends().back().nIfIndex, 3u);
}

// The window's "OK" too sends as many datagrams as asked, where asked, a
// pause between them, and describes each.
TEST_F(WakeTest, TheWindowTakesTheDeliveryOptions)
{
    static int s_nPausedMs = 0;
    List lines;
    CDlgServices services{&sockets, &messages, nullptr, {}, nullptr, nullptr, nullptr, &routes};
    services.delivery = {9, NetAddr("10.0.3.255"), 5};
    services.nRepeat = 3;
    services.pfnPause = [](int nMs) { s_nPausedMs += nMs; };
    services.onDatagram = [&](const std::string& strLine) { lines.push_back(strLine); };
    CNUVIKDlg window({}, services);
    window.m_strMac = "001122334455";
    window.m_strName = "pc";
    EXPECT_EQ(window.WakeHost().status, CWakeOutcome::EStatus::Sent);
    EXPECT_EQ(s_nPausedMs, 2 * kRepeatPauseMs);
    EXPECT_EQ(lines, List(3, "pc 001122334455 to 10.0.3.255 port 9 by if5 (named)"));
}

// No route for the limited broadcast at all: every link that can broadcast
// gets the datagram on the same socket; one that takes it is enough.
TEST_F(WakeTest, NoBroadcastRouteSendsOutOfEveryLink)
{
    routes.links = {{2, "vb"}, {3, "vc"}};
    sockets.failures["sendto"] = ENETUNREACH;
    sockets.linkFailures[3] = ENETDOWN;
    EXPECT_EQ(Wake({}, "001122334455").status, CWakeOutcome::EStatus::Sent);
    EXPECT_EQ(sockets.Ops(),
              List({"socket", "bind", "setsockopt", "sendto", "sendmsg", "sendmsg", "close"}));
    EXPECT_EQ(messages.texts,
              List{"The wake-up packet for 001122334455 was sent, but the send to "
                   "255.255.255.255 port 4000 failed on vc (Network is down)"});
    sockets.linkFailures[2] = EPERM;
    const CWakeOutcome outcome = Wake({"x"}, "001122334455");
    EXPECT_EQ((std::tuple(outcome.status, outcome.strReason)),
              std::tuple(CWakeOutcome::EStatus::SendFailed,
                         "send to 255.255.255.255 port 4000 failed on vb (Operation not "
                         "permitted), vc (Network is down)"));
    EXPECT_EQ(sockets.nOpen, 0);
    sockets.linkFailures.clear();
    sockets.bShortSends = true;  // a link that took part of it did not get it
    EXPECT_EQ(Wake({"x"}, "001122334455").strReason,
              "send to 255.255.255.255 port 4000 failed on vb (the datagram "
              "was cut short), vc (the datagram was cut short)");
}

}  // namespace
