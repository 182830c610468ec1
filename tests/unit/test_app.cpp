// Start-up: mode choice, exit statuses and what reaches standard error.
#include <gtest/gtest.h>

#include "app/NuvikApp.h"
#include "fakes/FakeRoutes.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "ui/NUVIKDlg.h"

namespace {

int g_nDialogRuns = 0;
int FakeRunDialog(CNUVIKDlg& dlg, const std::string&, IMessageBox&)
{
    ++g_nDialogRuns;
    return dlg.IsInteractive() ? 0 : 99;
}

class AppTest : public ::testing::Test {
protected:
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeRoutes routes;

    int Run(std::vector<std::string> args)
    {
        g_nDialogRuns = 0;
        sockets.calls.clear();
        messages.texts.clear();
        CnuvikApp app("/usr/bin/nuvik", std::move(args), {&sockets, &messages, &FakeRunDialog, &routes});
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
    }
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
