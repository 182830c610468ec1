// The batch wake of a profile's hosts, and the exit statuses and reports of
// the profile mode. The packets on the wire are checked end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/NuvikApp.h"
#include "fakes/FakeRoutes.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/TempDir.h"
#include "ui/NUVIKDlg.h"

namespace fs = std::filesystem;

namespace {

using S = CWakeOutcome::EStatus;

TEST(WakeAllInProfile, WakesEachEntryByItsThirdFieldInListOrder)
{
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CNUVIKDlg dlg({"hosts.ini"}, {&sockets, &messages});
    const std::vector<std::pair<const char*, S>> entries = {
        {"pc1 192.168.0.10 001122334455", S::Sent},        {"name-only 10.0.0.1", S::InvalidMac},
        {"  spaced   10.0.0.2   AABBCCDDEEFF  ", S::Sent}, {"lower 10.0.0.3 aabbccddeeff", S::InvalidMac},
        {"colons 10.0.0.4 00:11:22:33:44:55", S::InvalidMac}, {"four 10.0.0.5 CCDDEEFF0011 extra", S::Sent},
        {"", S::InvalidMac},                               {"dup 10.0.0.6 001122334455", S::Sent}};
    for (const auto& entry : entries)
        dlg.m_hosts.AddTail(entry.first);

    const std::vector<CBatchItem> items = dlg.WakeAllInProfile();
    ASSERT_EQ(items.size(), entries.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].strKey, std::to_string(i));
        EXPECT_EQ(items[i].outcome.status, entries[i].second) << i;
    }
    EXPECT_EQ(sockets.Sends().at(2).data.at(6), 0xCC);  // the third field, not the last
    EXPECT_TRUE(messages.texts.empty());  // silent: the process has arguments
}

TEST(ProfileMode, ExitStatusAndReports)
{
    CTempDir dir;
    CScopedEnv xdg("XDG_CONFIG_HOME", dir / "config");
    fs::create_directory(dir / "folder.ini");
    const std::string strSkipped = ": skipped, the third field is not a hardware address (" + std::string(kMacTextExpected) + ")";
    const std::string strInUse = ": not woken: bind to UDP port 4000: Address already in use";
    // With no route for the limited broadcast, vb takes the datagram and vc does not.
    const std::string strPartly = ": woken, but the send to 255.255.255.255 port 4000 failed on vc (Network is down)";
    const struct {
        const char* pszFile;
        const char* pszText;  // nothing: made beforehand
        const char* pszFailingOp;
        int nErrno;
        int nExit;
        size_t nSends;
        std::vector<std::string> reports;  // after the file's path; a failed send does not end the batch
    } cases[] = {
        {"a.ini.bak", "[list]\n0=a 1 001122334455\n", nullptr, 0, kExitOk, 1, {}},
        {"hosts.ini", "[list]\n0=a 1 001122334455\n1=b 2 AABBCCDDEEFF\n", "bind", EADDRINUSE, kExitSomeFailed, 0,
         {" [list] 0=a 1 001122334455" + strInUse, " [list] 1=b 2 AABBCCDDEEFF" + strInUse}},
        {"norouted.ini", "[list]\n0=a 1 001122334455\n", "sendto", ENETUNREACH, kExitOk, 3,
         {" [list] 0=a 1 001122334455" + strPartly}},
        {"skip.ini", "[list]\r\n0=pc2 192.168.0.11\r\n", nullptr, 0, kExitSomeFailed, 0, {" [list] 0=pc2 192.168.0.11" + strSkipped}},
        {"folder.ini", nullptr, nullptr, 0, kExitNothingRan, 0, {": Is a directory"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszFile);
        if (c.pszText)
            WriteBytes(dir / c.pszFile, c.pszText);
        CFakeSocketLayer sockets;
        CRecordingMessageBox messages;
        CFakeRoutes routes;
        routes.links = {{2, "vb"}, {3, "vc"}};
        sockets.linkFailures[3] = ENETDOWN;
        if (c.pszFailingOp)
            sockets.failures[c.pszFailingOp] = c.nErrno;
        CnuvikApp app("/usr/bin/nuvik", {dir / c.pszFile}, {.pSockets = &sockets, .pMessages = &messages, .pRoutes = &routes});
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.ExitCode(), c.nExit);
        EXPECT_EQ(sockets.Sends().size(), c.nSends);
        EXPECT_EQ(sockets.OpenSockets(), 0u);
        std::vector<std::string> reports;
        for (const auto& strReport : c.reports)
            reports.push_back(dir / c.pszFile + strReport);
        EXPECT_EQ(messages.texts, reports);
    }
    EXPECT_FALSE(fs::exists(dir / "config"));  // nothing is saved
}

} // namespace
