// Start-up: mode choice, exit statuses and what reaches standard error.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "app/NuvikApp.h"
#include "fakes/FakeRoutes.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/TempDir.h"
#include "ui/NUVIKDlg.h"

namespace {

int g_nDialogRuns = 0;
int FakeRunDialog(CNUVIKDlg& dlg, const std::string&, IMessageBox&)
{
    ++g_nDialogRuns;
    return dlg.IsInteractive() ? 0 : 99;
}
std::vector<std::string> g_shown;  // texts shown by the window's message box
bool FakeShowMessage(const std::string&, const std::string& strText)
{
    g_shown.push_back(strText);
    return true;
}

class AppTest : public ::testing::Test {
protected:
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeRoutes routes;

    int Run(std::vector<std::string> args)
    {
        g_nDialogRuns = 0;
        g_shown.clear();
        sockets.calls.clear();
        messages.texts.clear();
        CnuvikApp app("/usr/bin/nuvik", std::move(args), {&sockets, &messages, &FakeRunDialog, &FakeShowMessage, &routes});
        EXPECT_FALSE(app.InitInstance());
        return app.ExitCode();
    }
    bool Reported(size_t i, const char* psz) const
    {
        return i < messages.texts.size() && messages.texts[i].find(psz) != std::string::npos;
    }
};

TEST_F(AppTest, ApplicationNameIsTheFileNameWithoutExtension)
{
    EXPECT_EQ(AppNameFromPath("./build/nuvik.exe"), "nuvik");
    EXPECT_EQ(AppNameFromPath("nuvik"), "nuvik");
    EXPECT_EQ(AppNameFromPath("/opt/my.tools/wol"), "wol");
}

TEST_F(AppTest, SocketStartUpFailureIsReportedInEveryModeAndNothingElseHappens)
{
    sockets.failures["socket"] = EAFNOSUPPORT;
    for (auto args : {std::vector<std::string>{}, {"001122334455"}, {"hosts.ini"}}) {
        EXPECT_EQ(Run(args), kExitNothingRan);
        EXPECT_EQ(messages.texts, (std::vector<std::string>{"Windows sockets initialization failed."}));
        EXPECT_EQ(sockets.Ops(), (std::vector<std::string>{"socket"}));
        EXPECT_EQ(g_nDialogRuns, 0);
        // Started from the desktop, the window's message box says it too.
        EXPECT_EQ(g_shown, args.empty() ? messages.texts : std::vector<std::string>{});
    }
}

TEST_F(AppTest, ProfileModeReadsARegularFileOnceAndNeedsAHostInIt)
{
    CTempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);  // would block an ordinary open
    std::filesystem::create_symlink("/dev/zero", dir / "zero.ini");  // would never end
    const struct {
        const char* pszName;
        const char* pszText;  // nullptr: made above
        int nExit;
        const char* pszSaid;
        size_t nSends;
    } cases[] = {
        {"fifo.ini", nullptr, kExitNothingRan, "fifo.ini: is a FIFO, not a regular file", 0},
        {"zero.ini", nullptr, kExitNothingRan, "zero.ini: is a character device, not a regular file", 0},
        {"missing.ini", nullptr, kExitNothingRan, "missing.ini: No such file or directory", 0},
        {"empty.ini", "", kExitSomeFailed, "empty.ini: holds no host to wake", 0},
        {"section.ini", "[list]\r\n", kExitSomeFailed, "section.ini: holds no host to wake", 0},
        {"other.ini", "[hosts]\n0=pc 1 001122334455\n", kExitSomeFailed, "other.ini: holds no host to wake", 0},
        {"cr.ini", "[list]\r0=a 1 001122334455\r1=b 2 AABBCCDDEEFF\r", kExitOk, nullptr, 2},
    };
    for (const auto& c : cases) {
        if (c.pszText)
            WriteBytes(dir / c.pszName, c.pszText);
        EXPECT_EQ(Run({dir / c.pszName}), c.nExit) << c.pszName;
        EXPECT_EQ(sockets.Sends().size(), c.nSends) << c.pszName;
        EXPECT_EQ(messages.texts.size(), c.pszSaid ? 1u : 0u) << c.pszName;
        if (c.pszSaid)
            EXPECT_TRUE(Reported(0, (dir / c.pszSaid).c_str())) << messages.texts[0];
    }
}

TEST(StreamMessageBox, WritesOneLineWithControlBytesAndBrokenUtf8Escaped)
{
    std::FILE* pFile = std::tmpfile();
    ASSERT_NE(pFile, nullptr);
    CStreamMessageBox box("nu\x1bvik", pFile);
    // A title sequence, NUL, a line break, a C1 control (CSI), DEL, a lone
    // Latin-1 byte, an overlong and a surrogate; then UTF-8 that stays.
    const char kText[] = "\x1b]0;x\x07|\0|\r\n|\xC2\x9B|\x7F|B\xFCro|\xC0\xAF|\xED\xA0\x80|B\xC3\xBCro \xE6\x97\xA5\xF0\x9F\x92\xBB";
    box.MessageBox(std::string(kText, sizeof kText - 1));
    std::rewind(pFile);
    char sz[256] = "";
    const size_t n = std::fread(sz, 1, sizeof sz, pFile);
    std::fclose(pFile);
    EXPECT_EQ(std::string(sz, n), "nu\\x1bvik: \\x1b]0;x\\x07|\\x00|\\x0d\\x0a|\\xc2\\x9b|\\x7f|B\\xfcro|\\xc0\\xaf|"
                                  "\\xed\\xa0\\x80|B\xC3\xBCro \xE6\x97\xA5\xF0\x9F\x92\xBB\n");
}

TEST_F(AppTest, ModeAndExitStatusFollowTheArguments)
{
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(g_nDialogRuns, 1);

    EXPECT_EQ(Run({"001122334455", "AABBCCDDEEFF"}), kExitOk);
    EXPECT_EQ(sockets.Sends().size(), 2u);
    EXPECT_TRUE(messages.texts.empty());

    EXPECT_EQ(Run({""}), kExitSomeFailed);  // an empty argument is still argument mode
    EXPECT_EQ(g_nDialogRuns, 0);
    EXPECT_TRUE(sockets.Sends().empty());
}

TEST_F(AppTest, ArgumentModeWakesValidOnesInOrderAndReportsTheRest)
{
    EXPECT_EQ(Run({"001122334455", "00-11-22-33-44-55", "AABBCCDDEEFF"}), kExitSomeFailed);
    const auto sends = sockets.Sends();
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].data[6], 0x00);
    EXPECT_EQ(sends[1].data[6], 0xAA);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(Reported(0, "00-11-22-33-44-55"));
    EXPECT_TRUE(Reported(0, "001122334455"));  // the example of the form
    EXPECT_EQ(g_nDialogRuns, 0);

    sockets.failures["bind"] = EADDRINUSE;
    EXPECT_EQ(Run({"001122334455", "AABBCCDDEEFF"}), kExitSomeFailed);
    ASSERT_EQ(messages.texts.size(), 2u);  // the later argument is still tried
    EXPECT_TRUE(Reported(1, "AABBCCDDEEFF"));
    EXPECT_TRUE(Reported(1, "Address already in use"));

    // No route for the limited broadcast: vb takes the datagram, vc does not.
    sockets.failures = {{"sendto", ENETUNREACH}};
    sockets.linkFailures[3] = ENETDOWN;
    routes.links = {{2, "vb"}, {3, "vc"}};
    EXPECT_EQ(Run({"001122334455"}), kExitOk);
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"001122334455 woken, but the send to 255.255.255.255 port "
                                                        "4000 failed on vc (Network is down)"}));
}

} // namespace
