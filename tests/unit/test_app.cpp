// Start-up: the mode, the exit status and what reaches standard error.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Version.h"
#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/NuvikApp.h"
#include "app/Via.h"
#include "app/WindowLoader.h"
#include "base/MacText.h"
#include "base/Text.h"
#include "fakes/Fakes.h"
#include "ui/NUVIKDlg.h"

namespace {

// ssh, as the test has it: the arguments it was given; what the other side
// printed and how it ended.
struct CFakeShell : IRemoteShell {
    List args, out, err;
    CShellRun result;
    CShellRun Run(const List& argsGiven, const CShellRelay& relay) override
    {
        args = argsGiven;
        std::for_each(out.begin(), out.end(), relay.onOut);
        std::for_each(err.begin(), err.end(), relay.onErr);
        return result;
    }
};

List g_shown;  // what the window's own message box showed
int g_nDialogRuns = 0;
std::string g_strBook;  // the window's address book

class AppTest : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeRoutes routes;
    CFakeResolver resolver;
    CFakeEthers ethers;
    CPosixFileSystem files;
    CFakeShell shell;
    std::string strOut, strErr;  // what reached standard output and standard error

    int Run(List args)
    {
        g_shown.clear();
        g_nDialogRuns = 0;
        sockets.ops.clear();
        sockets.sends.clear();
        messages.texts.clear();
        CCommandLine line;
        std::string strError;
        EXPECT_TRUE(ParseCommandLine(args, line, strError)) << strError;
        CAppServices services;
        services.pSockets = &sockets;
        services.pRoutes = &routes;
        services.pResolver = &resolver;
        services.pEthers = &ethers;
        services.pFiles = &files;
        services.pMessages = &messages;
        services.pShell = &shell;
        services.pfnRunDialog = [](CNUVIKDlg& dlg, const std::string&, IMessageBox&) {
            return g_strBook = dlg.m_hosts.ProfilePath(), ++g_nDialogRuns, 0;
        };
        services.pfnShowMessage = [](const std::string&, const std::string& strText) {
            return g_shown.push_back(strText), true;
        };
        services.pOut = std::tmpfile();
        services.pErr = std::tmpfile();
        CnuvikApp app("/usr/bin/nuvik.exe", std::move(line), services);
        app.InitInstance();
        strOut = Written(services.pOut);
        strErr = Written(services.pErr);
        return app.ExitCode();
    }
};

TEST_F(AppTest, SocketStartUpFailureIsReportedInEveryModeAndShownOnTheDesktop)
{
    sockets.failures["socket"] = EAFNOSUPPORT;
    for (const List& args : {List{}, List{"001122334455"}, List{"hosts.ini"}}) {
        EXPECT_EQ(Run(args), kExitNothingRan);
        EXPECT_EQ(messages.texts, List{"Windows sockets initialization failed."});
        EXPECT_EQ(sockets.ops, List{"socket"});
        EXPECT_EQ(g_nDialogRuns, 0);
        EXPECT_EQ(g_shown, args.empty() ? messages.texts : List{});
    }
}

// Options alone leave the window's mode; --profile gives it another book.
TEST_F(AppTest, OptionsWithoutArgumentsOpenTheWindowOnTheBookAskedFor)
{
    for (const List& args : {List{"--port=9", "-v"}, List{"-f", "site.ini"}}) {
        EXPECT_EQ(Run(args), kExitOk);
        EXPECT_EQ((std::tuple(g_nDialogRuns, sockets.ops, messages.texts)),
                  std::tuple(1, List{"socket", "close"}, List{}));
    }
    EXPECT_EQ(g_strBook, "site.ini");
    // A delivery that can not be is refused before anything is sent.
    routes.linkStates["if7"] = ELinkState::NoAddress;
    for (const char* psz : {"--to=0.0.0.0", "-iif7"}) {
        EXPECT_EQ(Run({psz, "001122334455"}), kExitNothingRan) << psz;
        EXPECT_EQ(sockets.sends.size(), 0u) << psz;
    }
    EXPECT_EQ(messages.texts, List{"--interface if7: the interface holds no IPv4 address"});
}

// Entries are woken by their third field, on the link their second field
// names (10.0.3.5 lives on the link of interface 3).
TEST_F(AppTest, ProfileModeWakesEveryHostOfOneRegularFile)
{
    routes.routes = {{"10.0.3.5", CFakeRoutes::Route(3)},
                     {"255.255.255.255", CFakeRoutes::Route(2)}};
    ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);  // would block an ordinary open
    const bool bDevice = MakeZeroDevice(dir / "zero.ini");   // would never end
    const std::string strNoHost = ": holds no host to wake (no entry 0 in section [list])";
    const std::string strSkipped = ": skipped, the third field is not a hardware address (" +
        std::string(kMacTextExpected) + ")";
    // pszText: nullptr: made above, or missing
    // sent: each datagram's first address byte, and its link
    // said: after the file's path
    const struct {
        const char* pszName;
        const char* pszText;
        int nExit;
        std::vector<std::pair<int, unsigned>> sent;
        List said;
    } cases[] = {
        {"fifo.ini", nullptr, kExitNothingRan, {}, {": is a FIFO, not a regular file"}},
        {"zero.ini", nullptr, kExitNothingRan, {}, {": is a character device, not a regular file"}},
        {"missing.ini", nullptr, kExitNothingRan, {}, {": No such file or directory"}},
        {"empty.ini", "", kExitSomeFailed, {}, {strNoHost}},
        {"a.ini.bak",
         "[list]\n0=pc1 10.0.3.5 001122334455\n1=nameonly 10.0.0.1\n2=  spaced   10.0.0.2   "
         "AABBCCDDEEFF  \n"
         "3=lower 1 aabbccddeeff\n4=four 1 CCDDEEFF0011 extra\n",
         kExitSomeFailed,
         {{0x00, 3}, {0xAA, 0}, {0xCC, 0}},
         {" [list] 1=nameonly 10.0.0.1" + strSkipped,
          " [list] 3=lower 1 aabbccddeeff" + strSkipped}},
    };
    for (const auto& c : cases) {
        if (c.pszText)
            WriteBytes(dir / c.pszName, c.pszText);
        if (!bDevice && &c == &cases[1])
            continue;
        EXPECT_EQ(Run({dir / c.pszName, "AABBCCDDEEFF"}), c.nExit) << c.pszName;
        std::vector<std::pair<int, unsigned>> sent;
        for (const auto& send : sockets.sends)
            sent.emplace_back(send.data.at(6), send.nIfIndex);
        EXPECT_EQ(sent, c.sent) << c.pszName;
        List said;
        for (const std::string& strSaid : c.said)
            said.push_back(dir / c.pszName + strSaid);
        EXPECT_EQ(messages.texts, said);
    }
}

// What a command line parses to, in short: the options that differ from
// their defaults, then the arguments; or the error.
std::string Parsed(const List& args)
{
    CCommandLine line;
    std::string strError;
    if (!ParseCommandLine(args, line, strError))
        return "error: " + strError;
    std::string str = std::string(line.bWake ? "wake " : "") + (line.bVerbose ? "verbose " : "");
    str += line.HasProfile() ? "profile=" + line.strProfile + " " : "";
    str += line.nPort != 4000 ? "port=" + std::to_string(line.nPort) + " " : "";
    str += line.strTo.empty() ? "" : "to=" + line.strTo + " ";
    str += line.strInterface.empty() ? "" : "if=" + line.strInterface + " ";
    str += line.nRepeat != 1 ? "repeat=" + std::to_string(line.nRepeat) + " " : "";
    str += line.bListen ? "listen=" + std::to_string(line.nListenPort) + " " : "";
    str += std::string(line.bStatus ? "status " : "") + (line.bJson ? "json " : "") +
        (line.nWaitSeconds ? "wait=" + std::to_string(line.nWaitSeconds) + " " : "") +
        (line.bScan ? "scan=" + line.strScanRange + " " : "") + (line.bAdd ? "add " : "");
    for (const std::string& strArg : line.args)
        str += "[" + strArg + "]";
    return str;
}

TEST(CommandLine, OptionsAnywhereValuesCheckedAndWhatIsLeftInOrder)
{
    const struct {
        List args;
        const char* pszParsed;
    } cases[] = {
        {{"a", "-w", "--port=9", "b", "--to", "10.0.0.255", "-vi", "eth0", "--repeat", "100"},
         "wake verbose port=9 to=10.0.0.255 if=eth0 repeat=100 [a][b]"},
        {{"--profile", "x.ini", "--", "--port", "-v"}, "profile=x.ini [--port][-v]"},
        {{"--port", "65535", "--listen"},
         "error: --listen only receives: it takes no host and no other option"},
        {{"--listen=80"}, "listen=80 "},
        {{"--help", "--port=0"}, "error: --port '0': not a port number from 1 to 65535"},
        {{"--port=9x"}, "error: --port '9x': not a port number from 1 to 65535"},
        {{"--repeat=0"}, "error: --repeat '0': not a number from 1 to 100"},
        {{"--port"}, "error: --port needs a value (N)"},
        {{"--port=9", "--port", "9"}, "error: --port is given more than once"},
        {{"--wake"}, "error: --wake needs at least one host"},
        {{"-w", "x", "--wait"}, "wake wait=60 [x]"},
        {{"f.ini", "--wait=3600"}, "wait=3600 [f.ini]"},
        {{"x", "--wait=0"}, "error: --wait '0': not a number of seconds from 1 to 3600"},
        {{"--status", "--wait"}, "error: --status only asks: it does not go with --wait"},
        {{"--status", "-i", "eth0"},
         "error: --status wakes nothing: --port, --to, --interface, --repeat and --verbose do not "
         "go with it"},
        {{"x", "--json"}, "error: --json goes with --status, --scan or --wait"},
        {{"--scan", "--json", "--add"}, "json scan= add "},
        {{"--scan", "10.0.0.0/24"},
         "error: --scan finds hosts: it takes no host, and no --wake or --listen"},
        {{"--profile="}, "error: --profile '': the value is empty"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parsed(c.args), c.pszParsed) << ::testing::PrintToString(c.args);
}

TEST_F(AppTest, ViaShowsWhatComesBackAsItIsAndSaysFailuresInWords)
{
    const std::string kNoSsh = "there is no ssh here: install the OpenSSH client (apt-get",
                      kOld = "nuvik: unknown option --via-request (see nuvik --help)\n",
                      kDenied = "me@far: Permission denied (publickey).",
                      kRefused = "ssh: connect to host far port 22: Connection refused";
    // strSaid: the one line said here, after "--via far: "; or what is relayed
    const struct {
        CShellRun result;
        List err;
        int nExit;
        std::string strSaid;
    } cases[] = {
        {{0, ENOENT, ""}, {}, 2, kNoSsh},
        {{2, 0, ""}, {kOld}, 2, "the nuvik on far is too old for --via: it needs"},
        {{255, 0, kDenied + "\n"}, {}, 2, "authentication refused by far (ssh said: " + kDenied},
        {{255, 0, "Broken pipe\n"}, {}, 2, "the connection to far was lost: whether the wakes"},
        {{255, 0, kRefused + "\n"}, {}, 2, "cannot reach far (ssh said: " + kRefused},
        {{1, 0, ""},
         {"\x02nuvik: a note\n", "\x01wakes sent\n", "the shell's\n"},
         1,
         "nuvik: a note\nthe shell's\n"},
    };
    for (const auto& c : cases) {
        shell.result = c.result;
        shell.err = c.err;
        shell.out = c.result.nExit == 255 ? List{} : List{"nas is up after 3 s\n", "no line feed"};
        EXPECT_EQ(Run({"--via", "far", "-w", "001122334455", "--wait=9"}), c.nExit) << c.strSaid;
        EXPECT_EQ(strOut, shell.out.empty() ? "" : "nas is up after 3 s\nno line feed");
        const std::string strSaid = messages.texts.empty() ? strErr : messages.texts.at(0);
        EXPECT_TRUE(strSaid.starts_with(c.nExit == 2 ? "--via far: " + c.strSaid : c.strSaid))
            << strSaid;
        EXPECT_EQ(messages.texts.size() + (strErr.empty() ? 0 : 1), 1u) << c.strSaid;
    }
    // Through ssh with no prompt, terminal or forwarding, and bounded waits.
    const List& args = shell.args;
    EXPECT_EQ(List(args.end() - 3, args.end() - 1), (List{"--", "far"}));
    for (const char* psz : {"BatchMode=yes", "-T", "-a", "-x", "ConnectTimeout=10",
                            "ServerAliveInterval=5", "ServerAliveCountMax=3"})
        EXPECT_NE(std::find(args.begin(), args.end() - 3, psz), args.end() - 3) << psz;
}

TEST(StreamMessageBox, WritesOneLineWithControlBytesAndBrokenUtf8Escaped)
{
    std::FILE* pFile = std::tmpfile();
    CStreamMessageBox box("nu\x1bvik", pFile);
    // A title sequence, NUL, a line break, the last C1 control (APC), DEL, a lone
    // Latin-1 byte, an overlong, a surrogate, a sequence cut short, one above U+10FFFF; the
    // direction controls (RLO, RLM, LRI, PDI, ALM) beside characters that
    // stay (U+202F, U+2065, U+200D); then UTF-8 that stays.
    const char kText[] =
        "\x1b]0;x\x07|\0|\r\n|\x1F|\xC2\x9F|\xC2\xA0|\x7F|B\xFCro|\xC0\xAF|\xE0\x80\xAF|"
        "\xED\xA0\x80|\xE6\x97(|"
        "\xF4\x90\x80\x80|"
        "a\xE2\x80\xAE"
        "exe.txt\xE2\x80\x8F\xE2\x81\xA6\xE2\x81\xA9\xD8\x9C|\xE2\x80\xAF\xE2\x81\xA5\xE2\x80\x8D|"
        "B\xC3\xBCro \xE6\x97\xA5\xF0\x9F\x92\xBB";
    box.MessageBox(std::string(kText, sizeof kText - 1));
    EXPECT_EQ(Written(pFile),
              "nu\\x1bvik: "
              "\\x1b]0;x\\x07|\\x00|\\x0d\\x0a|\\x1f|\\xc2\\x9f|\xC2\xA0|\\x7f|B\\xfcro|\\xc0\\xaf|"
              "\\xe0\\x80\\xaf|\\xed\\xa0\\x80|\\xe6\\x97(|\\xf4\\x90\\x80\\x80|a\\u202Eexe."
              "txt\\u200F\\u2066\\u2069\\u061C|"
              "\xE2\x80\xAF\xE2\x81\xA5\xE2\x80\x8D|B\xC3\xBCro \xE6\x97\xA5\xF0\x9F\x92\xBB\n");
}

// Without /proc the executable is known by the path it was started with;
// what is not beside it is looked for where it was built to be installed.
// In a private mount namespace: no /proc, an empty /usr/local.
TEST(WindowLoader, WithoutProcFindsTheExecutableAndTheInstalledFiles)
{
    const std::string strExeDir = std::filesystem::canonical("/proc/self/exe").parent_path();
    EXPECT_EXIT(
        {
            bool bOk = unshare(CLONE_NEWNS) == 0 &&
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                umount2("/proc", MNT_DETACH) == 0 &&
                mount("tmpfs", "/usr/local", "tmpfs", 0, nullptr) == 0;
            bOk = bOk &&
                FindHelpPage("not-in-any-path") == strExeDir + "/" NUVIK_DATA_RELDIR "/help.html";
            std::filesystem::create_directories(NUVIK_DATA_DIR);
            std::filesystem::create_directories(NUVIK_MODULE_DIR);
            WriteBytes(NUVIK_DATA_DIR "/help.html", "");
            WriteBytes(NUVIK_MODULE_DIR "/" NUVIK_MODULE_NAME, "not a module");
            bOk = bOk && FindHelpPage("not-in-any-path") == NUVIK_DATA_DIR "/help.html";
            CRecordingMessageBox messages;
            CFakeSocketLayer sockets;
            CNUVIKDlg dlg({}, {&sockets});
            bOk = bOk && RunDialogMode(dlg, "not-in-any-path", messages) == kExitNothingRan &&
                messages.texts.at(0).starts_with("cannot open the window: " NUVIK_MODULE_DIR
                                                 "/" NUVIK_MODULE_NAME);
            std::_Exit(bOk ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
