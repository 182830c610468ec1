// The batch wake of a profile's hosts, and the profile mode of start-up.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/NuvikApp.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/TempDir.h"
#include "ui/NUVIKDlg.h"

namespace fs = std::filesystem;

namespace {

// The hardware address carried by each datagram sent.
std::vector<uint8_t> FirstAddressBytes(const CFakeSocketLayer& sockets)
{
    std::vector<uint8_t> bytes;
    for (const auto& send : sockets.Sends())
        bytes.push_back(send.data.at(6));
    return bytes;
}

TEST(WakeAllInProfile, WakesEachEntryByItsThirdFieldInListOrder)
{
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CNUVIKDlg dlg({"hosts.ini"}, {&sockets, &messages});
    for (const char* psz : {"pc1 192.168.0.10 001122334455",
                            "name-only 10.0.0.1",
                            "  spaced   10.0.0.2   AABBCCDDEEFF  ",
                            "lower 10.0.0.3 aabbccddeeff",
                            "colons 10.0.0.4 00:11:22:33:44:55",
                            "four 10.0.0.5 CCDDEEFF0011 extra",
                            "",
                            "dup 10.0.0.6 001122334455"})
        dlg.m_hosts.AddTail(psz);

    const std::vector<CBatchItem> items = dlg.WakeAllInProfile();
    EXPECT_EQ(FirstAddressBytes(sockets), (std::vector<uint8_t>{0x00, 0xAA, 0xCC, 0x00}));
    EXPECT_TRUE(messages.texts.empty());  // silent: the process has arguments

    ASSERT_EQ(items.size(), 8u);
    using S = CWakeOutcome::EStatus;
    const std::vector<S> expected = {S::Sent, S::InvalidMac, S::Sent, S::InvalidMac,
                                     S::InvalidMac, S::Sent, S::InvalidMac, S::Sent};
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].strKey, std::to_string(i));
        EXPECT_EQ(items[i].outcome.status, expected[i]) << i;
    }
    EXPECT_EQ(items[1].strEntry, "name-only 10.0.0.1");
    EXPECT_EQ(dlg.m_hosts.GetCount(), 8u);  // the list is only read
}

TEST(WakeAllInProfile, SendFailuresAreCollectedAndTheBatchGoesOn)
{
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CNUVIKDlg dlg({"hosts.ini"}, {&sockets, &messages});
    EXPECT_TRUE(dlg.WakeAllInProfile().empty());
    EXPECT_TRUE(sockets.calls.empty());

    sockets.failures["bind"] = EADDRINUSE;
    dlg.m_hosts.AddTail("a 1 001122334455");
    dlg.m_hosts.AddTail("b 2 AABBCCDDEEFF");
    const auto items = dlg.WakeAllInProfile();
    ASSERT_EQ(items.size(), 2u);
    for (const auto& item : items) {
        EXPECT_EQ(item.outcome.status, CWakeOutcome::EStatus::SendFailed);
        EXPECT_NE(item.outcome.strReason.find("in use"), std::string::npos);
    }
    EXPECT_EQ(sockets.OpenSockets(), 0u);
    EXPECT_TRUE(messages.texts.empty());
}

class ProfileModeTest : public ::testing::Test {
protected:
    CTempDir dir;
    CScopedEnv xdg{"XDG_CONFIG_HOME", dir / "config"};
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    fs::path oldCwd = fs::current_path();

    void SetUp() override { fs::current_path(dir.Path()); }
    void TearDown() override { fs::current_path(oldCwd); }

    int Run(std::vector<std::string> args)
    {
        CnuvikApp app("/usr/bin/nuvik", std::move(args), {&sockets, &messages, nullptr});
        EXPECT_FALSE(app.InitInstance());
        return app.ExitCode();
    }
};

TEST_F(ProfileModeTest, WakesTheFileInTheCurrentDirectoryAndReportsSkippedEntries)
{
    WriteBytes(dir / "hosts.ini",
               "[list]\r\n0=pc1 192.168.0.10 001122334455\r\n1=pc2 192.168.0.11\r\n"
               "2=pc3 192.168.0.12 aabbccddeeff\r\n3=pc4 192.168.0.13 AABBCCDDEEFF\r\n");
    fs::create_directories(dir / "config/nuvik");
    WriteBytes(dir / "config/nuvik/hosts.ini", "[list]\r\n0=wrong 1 CCCCCCCCCCCC\r\n");
    EXPECT_EQ(Run({"hosts.ini", "ignored 001122334455"}), kExitSomeFailed);
    EXPECT_EQ(FirstAddressBytes(sockets), (std::vector<uint8_t>{0x00, 0xAA}));
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_NE(messages.texts[0].find("1=pc2 192.168.0.11"), std::string::npos) << messages.texts[0];
    EXPECT_NE(messages.texts[0].find(kMacTextExpected), std::string::npos);
    EXPECT_NE(messages.texts[1].find("2=pc3"), std::string::npos) << messages.texts[1];
    EXPECT_FALSE(fs::exists(dir / "config/nuvik/nuvik.INI"));  // nothing is saved
}

TEST_F(ProfileModeTest, ExitStatusAndReports)
{
    const struct {
        const char* pszFile;
        const char* pszFailingOp;
        int nExit;
        size_t nSends;
        std::vector<const char*> report;  // parts of the one message, if any
    } cases[] = {
        {"a.ini.bak", nullptr, kExitOk, 1, {}},
        {"hosts.ini", "sendto", kExitSomeFailed, 1, {"0=a 1 001122334455", "unreachable"}},
        {"HOSTS.INI", nullptr, kExitSomeFailed, 0, {"HOSTS.INI", "is not a hardware address"}},  // argument mode
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszFile);
        WriteBytes(dir / c.pszFile, "[list]\n0=a 1 001122334455\n");
        sockets.calls.clear();
        sockets.failures.clear();
        messages.texts.clear();
        if (c.pszFailingOp)
            sockets.failures[c.pszFailingOp] = ENETUNREACH;
        EXPECT_EQ(Run({c.pszFile}), c.nExit);
        EXPECT_EQ(sockets.Sends().size(), c.nSends);
        EXPECT_EQ(messages.texts.size(), c.report.empty() ? 0u : 1u);
        for (const char* psz : c.report)
            EXPECT_NE(messages.texts.at(0).find(psz), std::string::npos) << messages.texts[0];
    }
}

TEST_F(ProfileModeTest, UnreadableFileSendsNothingAndExitsTwo)
{
    EXPECT_EQ(Run({"missing.ini"}), kExitNothingRan);
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"missing.ini: No such file or directory"}));
    fs::create_directory(dir / "folder.ini");
    messages.texts.clear();
    EXPECT_EQ(Run({"folder.ini"}), kExitNothingRan);
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"folder.ini: Is a directory"}));
    EXPECT_TRUE(sockets.Sends().empty());
}

} // namespace
