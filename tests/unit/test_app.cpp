// Start-up: the mode, the exit status and what reaches standard error.
#include <sys/stat.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "Version.h"
#include "app/NuvikApp.h"
#include "app/StandardDescriptors.h"
#include "app/WindowLoader.h"
#include "fakes/Fakes.h"
#include "wake/MacText.h"

namespace {

List g_shown;  // what the window's own message box showed
int g_nDialogRuns = 0;

class AppTest : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeRoutes routes;

    int Run(List args)
    {
        g_shown.clear();
        g_nDialogRuns = 0;
        sockets.calls.clear();
        messages.texts.clear();
        const CAppServices services{
            &sockets, &messages, [](CNUVIKDlg&, const std::string&, IMessageBox&) { return ++g_nDialogRuns, 0; },
            [](const std::string&, const std::string& strText) { return g_shown.push_back(strText), true; }, &routes};
        CnuvikApp app("/usr/bin/nuvik.exe", std::move(args), services);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.AppName(), "nuvik");
        return app.ExitCode();
    }
};

TEST_F(AppTest, SocketStartUpFailureIsReportedInEveryModeAndShownOnTheDesktop)
{
    sockets.failures["socket"] = EAFNOSUPPORT;
    for (const List& args : {List{}, List{"001122334455"}, List{"hosts.ini"}}) {
        EXPECT_EQ(Run(args), kExitNothingRan);
        EXPECT_EQ(messages.texts, List{"Windows sockets initialization failed."});
        EXPECT_EQ(sockets.Ops(), List{"socket"});
        EXPECT_EQ(g_nDialogRuns, 0);
        EXPECT_EQ(g_shown, args.empty() ? messages.texts : List{});
    }
}

// Entries are woken by their third field, on the link their second field
// names (10.0.3.5 lives on the link of interface 3).
TEST_F(AppTest, ProfileModeWakesEveryHostOfOneRegularFile)
{
    routes.routes = {{"10.0.3.5", CFakeRoutes::Route(3)}, {"255.255.255.255", CFakeRoutes::Route(2)}};
    ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);           // would block an ordinary open
    const bool bDevice = MakeZeroDevice(dir / "zero.ini");             // would never end
    const std::string strNoHost = ": holds no host to wake (no entry 0 in section [list])";
    const std::string strSkipped = ": skipped, the third field is not a hardware address (" + std::string(kMacTextExpected) + ")";
    const struct {
        const char* pszName;
        const char* pszText;  // nullptr: made above, or missing
        int nExit;
        std::vector<std::pair<int, unsigned>> sent;  // each datagram's first address byte, and its link
        List said;                                   // after the file's path
    } cases[] = {
        {"fifo.ini", nullptr, kExitNothingRan, {}, {": is a FIFO, not a regular file"}},
        {"zero.ini", nullptr, kExitNothingRan, {}, {": is a character device, not a regular file"}},
        {"missing.ini", nullptr, kExitNothingRan, {}, {": No such file or directory"}},
        {"empty.ini", "", kExitSomeFailed, {}, {strNoHost}},
        {"other.ini", "[hosts]\n0=pc 1 001122334455\n", kExitSomeFailed, {}, {strNoHost}},
        {"cr.ini", "[list]\r0=a 1 001122334455\r1=b 2 AABBCCDDEEFF\r", kExitOk, {{0x00, 0}, {0xAA, 0}}, {}},
        {"a.ini.bak",
         "[list]\n0=pc1 10.0.3.5 001122334455\n1=nameonly 10.0.0.1\n2=  spaced   10.0.0.2   AABBCCDDEEFF  \n"
         "3=lower 1 aabbccddeeff\n4=four 1 CCDDEEFF0011 extra\n",
         kExitSomeFailed, {{0x00, 3}, {0xAA, 0}, {0xCC, 0}},
         {" [list] 1=nameonly 10.0.0.1" + strSkipped, " [list] 3=lower 1 aabbccddeeff" + strSkipped}},
    };
    for (const auto& c : cases) {
        if (c.pszText)
            WriteBytes(dir / c.pszName, c.pszText);
        if (!bDevice && &c == &cases[1])
            continue;
        EXPECT_EQ(Run({dir / c.pszName, "AABBCCDDEEFF"}), c.nExit) << c.pszName;
        std::vector<std::pair<int, unsigned>> sent;
        for (const auto& send : sockets.Sends())
            sent.emplace_back(send.data.at(6), send.nIfIndex);
        EXPECT_EQ(sent, c.sent) << c.pszName;
        List said;
        for (const std::string& strSaid : c.said)
            said.push_back(dir / c.pszName + strSaid);
        EXPECT_EQ(messages.texts, said);
    }
}

TEST(StreamMessageBox, WritesOneLineWithControlBytesAndBrokenUtf8Escaped)
{
    std::FILE* pFile = std::tmpfile();
    CStreamMessageBox box("nu\x1bvik", pFile);
    // A title sequence, NUL, a line break, the last C1 control (APC), DEL, a lone
    // Latin-1 byte, an overlong, a surrogate, a sequence cut short, one above U+10FFFF; the
    // direction controls (RLO, RLM, LRI, PDI, ALM) beside characters that
    // stay (U+202F, U+2065, U+200D); then UTF-8 that stays.
    const char kText[] = "\x1b]0;x\x07|\0|\r\n|\xC2\x9F|\x7F|B\xFCro|\xC0\xAF|\xE0\x80\xAF|\xED\xA0\x80|\xE6\x97(|\xF4\x90\x80\x80|"
                         "a\xE2\x80\xAE" "exe.txt\xE2\x80\x8F\xE2\x81\xA6\xE2\x81\xA9\xD8\x9C|\xE2\x80\xAF\xE2\x81\xA5\xE2\x80\x8D|"
                         "B\xC3\xBCro \xE6\x97\xA5\xF0\x9F\x92\xBB";
    box.MessageBox(std::string(kText, sizeof kText - 1));
    std::rewind(pFile);
    char sz[256] = "";
    const size_t n = std::fread(sz, 1, sizeof sz, pFile);
    std::fclose(pFile);
    EXPECT_EQ(std::string(sz, n), "nu\\x1bvik: \\x1b]0;x\\x07|\\x00|\\x0d\\x0a|\\xc2\\x9f|\\x7f|B\\xfcro|\\xc0\\xaf|"
                                  "\\xe0\\x80\\xaf|\\xed\\xa0\\x80|\\xe6\\x97(|\\xf4\\x90\\x80\\x80|a\\u202Eexe.txt\\u200F\\u2066\\u2069\\u061C|"
                                  "\xE2\x80\xAF\xE2\x81\xA5\xE2\x80\x8D|B\xC3\xBCro \xE6\x97\xA5\xF0\x9F\x92\xBB\n");
}

// Started with standard descriptors closed, nuvik opens the null device on
// them before anything else, so that no file or connection takes their place.
TEST(StandardDescriptors, EachClosedOneIsOpenedOnTheNullDevice)
{
    CTempDir dir;
    WriteBytes(dir / "null", "");
    struct stat null {}, st {};
    stat((dir / "null").c_str(), &null);
    for (const std::vector<int>& closed : {std::vector<int>{2}, {0, 2}, {0, 1, 2}, {1}}) {
        EXPECT_EXIT({
            std::for_each(closed.begin(), closed.end(), close);
            bool bOk = OpenClosedStandardDescriptors((dir / "null").c_str());
            for (int h = 0; h <= 2; ++h)  // the closed ones, and only they, read and write the null device
                bOk = bOk && fstat(h, &st) == 0 && (st.st_ino == null.st_ino) == (std::count(closed.begin(), closed.end(), h) > 0) &&
                      (st.st_ino != null.st_ino || (fcntl(h, F_GETFL) & O_ACCMODE) == O_RDWR);
            std::_Exit(bOk ? 0 : 1);
        }, ::testing::ExitedWithCode(0), "") << closed.size();
    }
}

// Without /proc the executable is known by the path it was started with;
// what is not beside it is looked for where it was built to be installed.
// In a private mount namespace: no /proc, an empty /usr/local.
TEST(WindowLoader, WithoutProcFindsTheExecutableAndTheInstalledFiles)
{
    const std::string strExeDir = std::filesystem::canonical("/proc/self/exe").parent_path();
    EXPECT_EXIT({
        bool bOk = unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   umount2("/proc", MNT_DETACH) == 0 && mount("tmpfs", "/usr/local", "tmpfs", 0, nullptr) == 0;
        bOk = bOk && FindHelpPage("not-in-any-path") == strExeDir + "/" NUVIK_DATA_RELDIR "/help.html";
        std::filesystem::create_directories(NUVIK_DATA_DIR);
        std::filesystem::create_directories(NUVIK_MODULE_DIR);
        WriteBytes(NUVIK_DATA_DIR "/help.html", "");
        WriteBytes(NUVIK_MODULE_DIR "/" NUVIK_MODULE_NAME, "not a module");
        bOk = bOk && FindHelpPage("not-in-any-path") == NUVIK_DATA_DIR "/help.html";
        CRecordingMessageBox messages;
        CNUVIKDlg dlg({}, CDlgServices{});
        bOk = bOk && RunDialogMode(dlg, "not-in-any-path", messages) == kExitNothingRan &&
              messages.texts.at(0).starts_with("cannot open the window: " NUVIK_MODULE_DIR "/" NUVIK_MODULE_NAME);
        std::_Exit(bOk ? 0 : 1);
    }, ::testing::ExitedWithCode(0), "");
}

} // namespace
