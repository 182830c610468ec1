// Hardware address text, magic packet layout and the socket calls of a wake.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "fakes/FakeRoutes.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "ui/NUVIKDlg.h"
#include "wake/MacText.h"
#include "wake/MagicPacket.h"

namespace {

using Ops = std::vector<std::string>;

TEST(MacTextTest, CutsToLeadingRunAndAcceptsExactlyTwelve)
{
    const struct {
        const char* pszText;
        bool bValid;
        const char* pszAfter;  // the text after the check
    } cases[] = {
        {"001122334455", true, "001122334455"},
        {"0A1B2C3D4E5F", true, "0A1B2C3D4E5F"},
        {"0a1b2c3d4e5f", false, "0"},           // lower-case digits end the run
        {"00-11-22-33-44-55", false, "00"},
        {"001122334455XYZ", true, "001122334455"},
        {"0011223344556", false, "0011223344556"},
        {"00112233445", false, "00112233445"},
        {"", false, ""},
        {" 001122334455", false, ""},
    };
    for (const auto& c : cases) {
        std::string strMac = c.pszText;
        EXPECT_EQ(CutToMacText(strMac), c.bValid) << c.pszText;
        EXPECT_EQ(strMac, c.pszAfter) << c.pszText;
    }
}

TEST(MacTextTest, HexPairToByteReadsPairsAsStrtolDoes)
{
    EXPECT_EQ(HexPairToByte("FF"), 255);
    EXPECT_EQ(HexPairToByte("00"), 0);
    EXPECT_EQ(HexPairToByte("7"), 7);
    EXPECT_EQ(HexPairToByte("a0"), 0xA0);
    EXPECT_EQ(HexPairToByte("A0F"), 0);
    EXPECT_EQ(HexPairToByte("ZZ"), 0);
}

TEST(MagicPacketTest, SixFFThenSixteenCopiesInTextOrder)
{
    const CMagicPacket packet = BuildMagicPacket(MacTextToBytes("00A0C9123456"));
    ASSERT_EQ(packet.size(), 102u);
    const uint8_t expected[6] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(packet[i], 0xFF) << i;
    for (size_t k = 0; k < 16; ++k)
        for (size_t j = 0; j < 6; ++j)
            EXPECT_EQ(packet[6 + 6 * k + j], expected[j]) << "copy " << k << " byte " << j;

    const CMagicPacket allFF = BuildMagicPacket(MacTextToBytes("FFFFFFFFFFFF"));
    EXPECT_EQ(std::count(allFF.begin(), allFF.end(), 0xFF), 102);
}

TEST(SendMagicPacketTest, CallsInOrderWithTheWakeParameters)
{
    CFakeSocketLayer sockets;
    EXPECT_TRUE(SendMagicPacket(sockets, BuildMagicPacket(MacTextToBytes("001122334455"))).bSent);
    ASSERT_EQ(sockets.Ops(), (Ops{"socket", "bind", "setsockopt", "sendto", "close"}));

    const auto& calls = sockets.calls;
    EXPECT_EQ(calls[0].args, (std::vector<int>{AF_INET, SOCK_DGRAM, 0}));
    EXPECT_EQ(calls[1].addr.sin_family, AF_INET);
    EXPECT_EQ(calls[1].addr.sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_EQ(calls[1].addr.sin_port, htons(4000));
    EXPECT_EQ(calls[2].args, (std::vector<int>{SOL_SOCKET, SO_BROADCAST, 1, 4}));
    EXPECT_EQ(calls[3].args, (std::vector<int>{0}));
    EXPECT_EQ(calls[3].addr.sin_addr.s_addr, htonl(INADDR_BROADCAST));
    EXPECT_EQ(calls[3].addr.sin_port, htons(4000));
    EXPECT_EQ(calls[3].data.size(), 102u);
    for (const auto& call : calls)
        EXPECT_EQ(call.hSocket, calls[0].hSocket) << call.strOp;
    EXPECT_EQ(sockets.OpenSockets(), 0u);
}

TEST(SendMagicPacketTest, EachFailureClosesWhatWasOpenedAndSaysWhy)
{
    const struct {
        const char* pszOp;
        int nErrno;
        Ops ops;
        std::vector<const char*> reason;  // parts of the reason
    } cases[] = {
        {"socket", EMFILE, {"socket"}, {"create a UDP socket"}},
        {"bind", EADDRINUSE, {"socket", "bind", "close"}, {"port 4000", "Address already in use"}},
        {"sendto", ENETUNREACH, {"socket", "bind", "setsockopt", "sendto", "close"}, {"unreachable"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszOp);
        CFakeSocketLayer sockets;
        sockets.failures[c.pszOp] = c.nErrno;
        const CSendResult result = SendMagicPacket(sockets, BuildMagicPacket(MacTextToBytes("001122334455")));
        EXPECT_FALSE(result.bSent);
        EXPECT_EQ(sockets.Ops(), c.ops);
        EXPECT_EQ(sockets.OpenSockets(), 0u);
        for (const char* psz : c.reason)
            EXPECT_NE(result.Reason().find(psz), std::string::npos) << result.Reason();
    }
}

// WakeHost: interactive calls (no first argument) speak in message boxes,
// silent calls (any first argument, even an empty one) only return.
class WakeHostTest : public ::testing::Test {
protected:
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;

    CWakeOutcome::EStatus Wake(std::vector<std::string> args, const char* pszMac)
    {
        CNUVIKDlg dlg(std::move(args), {&sockets, &messages});
        dlg.m_strMac = pszMac;
        const auto status = dlg.WakeHost().status;
        strMacAfter = dlg.m_strMac;
        return status;
    }
    std::string strMacAfter;
};

TEST_F(WakeHostTest, InvalidAddressSendsNothingAndSpeaksOnlyInteractively)
{
    EXPECT_EQ(Wake({""}, "00-11-22-33-44-55"), CWakeOutcome::EStatus::InvalidMac);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(Wake({}, "001122aabbcc"), CWakeOutcome::EStatus::InvalidMac);
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"Invalid MAC address"}));
    EXPECT_TRUE(sockets.calls.empty());
}

TEST_F(WakeHostTest, SilentValidWithTrailingTextSendsAndShortens)
{
    EXPECT_EQ(Wake({"001122334455XYZ"}, "001122334455XYZ"), CWakeOutcome::EStatus::Sent);
    EXPECT_EQ(strMacAfter, "001122334455");
    EXPECT_EQ(Wake({"a"}, "AABBCCDDEEFF"), CWakeOutcome::EStatus::Sent);
    const auto sends = sockets.Sends();
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].data[6], 0x00);
    EXPECT_EQ(sends[0].data[11], 0x55);
    EXPECT_EQ(sends[1].data[6], 0xAA);
    EXPECT_NE(sends[0].hSocket, sends[1].hSocket);  // a socket of its own for each call
    EXPECT_EQ(sockets.OpenSockets(), 0u);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(WakeHostTest, SendFailureIsShownInteractivelyAndReturnedSilently)
{
    sockets.failures["bind"] = EADDRINUSE;
    CNUVIKDlg silent({"x"}, {&sockets, &messages});
    silent.m_strMac = "001122334455";
    const CWakeOutcome outcome = silent.WakeHost();
    EXPECT_EQ(outcome.status, CWakeOutcome::EStatus::SendFailed);
    EXPECT_NE(outcome.strReason.find("Address already in use"), std::string::npos);
    EXPECT_TRUE(messages.texts.empty());

    EXPECT_EQ(Wake({}, "001122334455"), CWakeOutcome::EStatus::SendFailed);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("Address already in use"), std::string::npos);
}

// The link a wake leaves by. Interface 2 is the limited broadcast's (the
// default route's), 3 another link.
TEST_F(WakeHostTest, TheHostsOwnLinkOnlyWhenItsRouteIsOnAnotherLink)
{
    const CRouteInfo onB = CFakeRoutes::Route(2), onC = CFakeRoutes::Route(3), viaC = CFakeRoutes::Route(3, "10.0.3.1");
    const std::optional<CRouteInfo> none;
    const struct {
        const char* pszIp;
        std::optional<CRouteInfo> host, broadcast;
        bool bTableRead;  // the on-link routes: 10.0.3.0/24 by 3, and the default by 2
        unsigned nLink;   // 0: by the default route, a plain sendto
        int nLookUps;
    } cases[] = {
        {"10.0.3.5", onC, onB, false, 3, 2},
        {"10.0.3.5", onB, onB, false, 0, 2},   // the default route's own link
        {"10.0.3.5", viaC, onB, false, 0, 2},  // behind a gateway
        {"10.0.3.5", none, onB, false, 0, 2},  // no route, or the lookup failed
        {"10.0.3.5", onC, none, false, 3, 2},  // no route for the limited broadcast
        {"10.0.3.5", onC, onB, true, 3, 2},
        {"10.0.2.5", onB, onB, true, 0, 1},    // no other link's route covers it: no lookup
        {"0.0.0.0", onC, onB, false, 0, 0},    // unknown: no lookup at all
        {"", onC, onB, false, 0, 0},
        {"10.0.3", onC, onB, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszIp) + " case " + std::to_string(&c - cases));
        CFakeRoutes routes;
        if (c.host)
            routes.routes[c.pszIp] = *c.host;
        if (c.broadcast)
            routes.routes["255.255.255.255"] = *c.broadcast;
        routes.bLinkRoutesRead = c.bTableRead;
        routes.linkRoutes = {{inet_addr("10.0.3.0"), 24, 3}, {0, 0, 2}};
        sockets = CFakeSocketLayer();
        CNUVIKDlg dlg({"hosts.ini"}, {&sockets, &messages, nullptr, {}, nullptr, nullptr, nullptr, &routes});
        dlg.m_strMac = "001122334455";
        dlg.m_strIp = c.pszIp;
        EXPECT_EQ(dlg.WakeHost().status, CWakeOutcome::EStatus::Sent);
        EXPECT_EQ(sockets.Ops(), (Ops{"socket", "bind", "setsockopt", c.nLink ? "sendmsg" : "sendto", "close"}));
        EXPECT_EQ(sockets.Sends().at(0).nIfIndex, c.nLink);
        EXPECT_EQ(sockets.Sends().at(0).addr.sin_addr.s_addr, htonl(INADDR_BROADCAST));
        EXPECT_EQ(routes.nLookUps, c.nLookUps);
    }
}

// A batch reads the routes once; the window, which lives long, for each wake.
TEST_F(WakeHostTest, TheWindowReadsTheRoutesAfreshForEachWake)
{
    CFakeRoutes routes;
    routes.routes["10.0.3.5"] = CFakeRoutes::Route(3);
    CNUVIKDlg dlg({}, {&sockets, &messages, nullptr, {}, nullptr, nullptr, nullptr, &routes});
    for (unsigned nBroadcastLink : {2u, 3u}) {
        routes.routes["255.255.255.255"] = CFakeRoutes::Route(nBroadcastLink);
        dlg.m_strMac = "001122334455";
        dlg.m_strIp = "10.0.3.5";
        dlg.WakeHost();
    }
    EXPECT_EQ(sockets.Sends().at(0).nIfIndex, 3u);
    EXPECT_EQ(sockets.Sends().at(1).nIfIndex, 0u);  // the default route has moved to the host's link
}

// With no route for the limited broadcast at all, every interface that can
// broadcast gets the datagram on the same socket; one that takes it is enough.
TEST_F(WakeHostTest, NoBroadcastRouteSendsOutOfEveryLink)
{
    CFakeRoutes routes;
    routes.links = {{2, "vb"}, {3, "vc"}};
    const CDlgServices services{&sockets, &messages, nullptr, {}, nullptr, nullptr, nullptr, &routes};
    sockets.failures["sendto"] = ENETUNREACH;
    sockets.linkFailures[3] = ENETDOWN;
    CNUVIKDlg window({}, services);
    window.m_strMac = "001122334455";
    CWakeOutcome outcome = window.WakeHost();
    EXPECT_EQ(outcome.status, CWakeOutcome::EStatus::Sent);
    EXPECT_EQ(sockets.Ops(), (Ops{"socket", "bind", "setsockopt", "sendto", "sendmsg", "sendmsg", "close"}));
    EXPECT_EQ(sockets.Sends().at(2).nIfIndex, 3u);
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"The wake-up packet for 001122334455 was sent, but the send to "
                                                        "255.255.255.255 port 4000 failed on vc (Network is down)"}));

    sockets.linkFailures[2] = EPERM;
    CNUVIKDlg silent({"x"}, services);
    silent.m_strMac = "001122334455";
    outcome = silent.WakeHost();
    EXPECT_EQ(outcome.status, CWakeOutcome::EStatus::SendFailed);
    EXPECT_EQ(outcome.strReason,
              "send to 255.255.255.255 port 4000 failed on vb (Operation not permitted), vc (Network is down)");
    EXPECT_EQ(sockets.OpenSockets(), 0u);
}

} // namespace
