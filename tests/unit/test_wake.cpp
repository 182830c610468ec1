// Hardware address text, magic packet layout and the socket calls of a wake.
#include <gtest/gtest.h>

#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "ui/NUVIKDlg.h"
#include "wake/MacText.h"
#include "wake/MagicPacket.h"

namespace {

struct CMacCase {
    const char* pszText;
    bool bValid;
    const char* pszAfter;  // m_strMac after the check
};

class MacTextTest : public ::testing::TestWithParam<CMacCase> {};

TEST_P(MacTextTest, CutsToLeadingRunAndAcceptsExactlyTwelve)
{
    std::string strMac = GetParam().pszText;
    EXPECT_EQ(CutToMacText(strMac), GetParam().bValid) << GetParam().pszText;
    EXPECT_EQ(strMac, GetParam().pszAfter);
}

INSTANTIATE_TEST_SUITE_P(Cases, MacTextTest, ::testing::Values(
    CMacCase{"001122334455", true, "001122334455"},
    CMacCase{"0A1B2C3D4E5F", true, "0A1B2C3D4E5F"},
    CMacCase{"0a1b2c3d4e5f", false, "0"},
    CMacCase{"00-11-22-33-44-55", false, "00"},
    CMacCase{"00:11:22:33:44:55", false, "00"},
    CMacCase{"001122334455XYZ", true, "001122334455"},
    CMacCase{"001122334455 trailing", true, "001122334455"},
    CMacCase{"001122334455-", true, "001122334455"},
    CMacCase{"0011223344556", false, "0011223344556"},
    CMacCase{"00112233445", false, "00112233445"},
    CMacCase{"", false, ""},
    CMacCase{" 001122334455", false, ""},
    CMacCase{"GG1122334455", false, ""}),
    [](const ::testing::TestParamInfo<CMacCase>& info) { return "case" + std::to_string(info.index); });

TEST(HexPairToByteTest, ReadsPairsAsStrtolDoes)
{
    EXPECT_EQ(HexPairToByte("FF"), 255);
    EXPECT_EQ(HexPairToByte("00"), 0);
    EXPECT_EQ(HexPairToByte("7"), 7);
    EXPECT_EQ(HexPairToByte("a0"), 0xA0);
    EXPECT_EQ(HexPairToByte("A0F"), 0);
    EXPECT_EQ(HexPairToByte(""), 0);
    EXPECT_EQ(HexPairToByte("ZZ"), 0);
    EXPECT_EQ(HexPairToByte("-1") & 0xFF, 0xFF);  // callers keep the low 8 bits
}

TEST(MagicPacketTest, SixFFThenSixteenCopiesInTextOrder)
{
    const CMagicPacket packet = BuildMagicPacket(MacTextToBytes("00A0C9123456"));
    ASSERT_EQ(packet.size(), 102u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(packet[i], 0xFF) << i;
    const uint8_t expected[6] = {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56};
    for (size_t k = 0; k < 16; ++k)
        for (size_t j = 0; j < 6; ++j)
            EXPECT_EQ(packet[6 + 6 * k + j], expected[j]) << "copy " << k << " byte " << j;
}

TEST(MagicPacketTest, AllFFAddressGivesAllFFPacket)
{
    const CMagicPacket packet = BuildMagicPacket(MacTextToBytes("FFFFFFFFFFFF"));
    for (uint8_t b : packet)
        EXPECT_EQ(b, 0xFF);
}

TEST(SendMagicPacketTest, CallsInOrderWithTheWakeParameters)
{
    CFakeSocketLayer sockets;
    const CSendResult result = SendMagicPacket(sockets, BuildMagicPacket(MacTextToBytes("001122334455")));
    EXPECT_TRUE(result.bSent);
    ASSERT_EQ(sockets.Ops(), (std::vector<std::string>{"socket", "bind", "setsockopt", "sendto", "close"}));

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
    for (size_t i = 1; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].hSocket, calls[0].hSocket + 0) << calls[i].strOp;
    EXPECT_EQ(sockets.OpenSockets(), 0u);
}

TEST(SendMagicPacketTest, BindFailureClosesAndReportsTheReason)
{
    CFakeSocketLayer sockets;
    sockets.failures["bind"] = EADDRINUSE;
    const CSendResult result = SendMagicPacket(sockets, BuildMagicPacket(MacTextToBytes("001122334455")));
    EXPECT_FALSE(result.bSent);
    EXPECT_EQ(sockets.Ops(), (std::vector<std::string>{"socket", "bind", "close"}));
    EXPECT_EQ(sockets.OpenSockets(), 0u);
    EXPECT_NE(result.Reason().find("port 4000"), std::string::npos) << result.Reason();
    EXPECT_NE(result.Reason().find("Address already in use"), std::string::npos) << result.Reason();
}

TEST(SendMagicPacketTest, SendFailureStillClosesAndIsReported)
{
    CFakeSocketLayer sockets;
    sockets.failures["sendto"] = ENETUNREACH;
    const CSendResult result = SendMagicPacket(sockets, BuildMagicPacket(MacTextToBytes("001122334455")));
    EXPECT_FALSE(result.bSent);
    EXPECT_EQ(sockets.Ops().back(), "close");
    EXPECT_EQ(sockets.OpenSockets(), 0u);
    EXPECT_NE(result.Reason().find("unreachable"), std::string::npos) << result.Reason();
}

TEST(SendMagicPacketTest, SocketFailureTouchesNothingElse)
{
    CFakeSocketLayer sockets;
    sockets.failures["socket"] = EMFILE;
    EXPECT_FALSE(SendMagicPacket(sockets, BuildMagicPacket(MacTextToBytes("001122334455"))).bSent);
    EXPECT_EQ(sockets.Ops(), (std::vector<std::string>{"socket"}));
}

// WakeHost: interactive calls (no first argument) speak in message boxes,
// silent calls (any first argument, even an empty one) only return.
class WakeHostTest : public ::testing::Test {
protected:
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CNUVIKDlg Dlg(std::vector<std::string> args) { return CNUVIKDlg(std::move(args), {&sockets, &messages}); }
};

TEST_F(WakeHostTest, SilentInvalidSendsNothingAndShowsNothing)
{
    CNUVIKDlg dlg = Dlg({""});
    dlg.m_strMac = "00-11-22-33-44-55";
    EXPECT_EQ(dlg.WakeHost().status, CWakeOutcome::EStatus::InvalidMac);
    EXPECT_TRUE(sockets.calls.empty());
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(WakeHostTest, InteractiveInvalidShowsTheMessageAndOpensNoSocket)
{
    CNUVIKDlg dlg = Dlg({});
    dlg.m_strMac = "001122aabbcc";
    dlg.WakeHost();
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"Invalid MAC address"}));
    EXPECT_TRUE(sockets.calls.empty());
}

TEST_F(WakeHostTest, SilentValidWithTrailingTextSendsAndShortens)
{
    CNUVIKDlg dlg = Dlg({"001122334455XYZ"});
    dlg.m_strMac = "001122334455XYZ";
    EXPECT_EQ(dlg.WakeHost().status, CWakeOutcome::EStatus::Sent);
    EXPECT_EQ(dlg.m_strMac, "001122334455");
    ASSERT_EQ(sockets.Sends().size(), 1u);
    EXPECT_EQ(sockets.Sends()[0].data[6], 0x00);
    EXPECT_EQ(sockets.Sends()[0].data[11], 0x55);
}

TEST_F(WakeHostTest, SendFailureIsShownInteractivelyAndReturnedSilently)
{
    sockets.failures["bind"] = EADDRINUSE;
    CNUVIKDlg silent = Dlg({"x"});
    silent.m_strMac = "001122334455";
    const CWakeOutcome outcome = silent.WakeHost();
    EXPECT_EQ(outcome.status, CWakeOutcome::EStatus::SendFailed);
    EXPECT_NE(outcome.strReason.find("Address already in use"), std::string::npos);
    EXPECT_TRUE(messages.texts.empty());

    CNUVIKDlg interactive = Dlg({});
    interactive.m_strMac = "001122334455";
    interactive.WakeHost();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("Address already in use"), std::string::npos);
}

TEST_F(WakeHostTest, BackToBackCallsEachUseTheirOwnSocket)
{
    CNUVIKDlg dlg = Dlg({"a"});
    for (const char* psz : {"001122334455", "AABBCCDDEEFF", "FFFFFFFFFFFF"}) {
        dlg.m_strMac = psz;
        dlg.WakeHost();
    }
    const auto sends = sockets.Sends();
    ASSERT_EQ(sends.size(), 3u);
    EXPECT_NE(sends[0].hSocket, sends[1].hSocket);
    EXPECT_EQ(sends[1].data[6], 0xAA);
    EXPECT_EQ(sends[2].data[6], 0xFF);
    EXPECT_EQ(sockets.OpenSockets(), 0u);
}

} // namespace
