// --via: the request a command line becomes, the quoting that carries it,
// and what becomes of what comes back.
#include <cstdio>

#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/NuvikApp.h"
#include "app/Via.h"
#include "base/Text.h"
#include "fakes/Fakes.h"

namespace {

constexpr char kPrefix[] = "command -v nuvik >/dev/null || exit 127; exec nuvik";

// The words /bin/sh makes of the text after "printf '%s\0'".
List ShellWords(const std::string& strWords)
{
    std::FILE* pPipe = popen(("printf '%s\\0'" + strWords).c_str(), "r");
    std::string strOut;
    for (int c; (c = std::fgetc(pPipe)) != EOF;)
        strOut += static_cast<char>(c);
    pclose(pPipe);
    List words;
    for (size_t nStart = 0, nEnd; (nEnd = strOut.find('\0', nStart)) != std::string::npos;
         nStart = nEnd + 1)
        words.push_back(strOut.substr(nStart, nEnd - nStart));
    return words;
}

TEST(ShellQuoted, EveryValueComesBackFromTheShellAsTheSameOneWord)
{
    const List values = {"",
                         "two words",
                         "'",
                         "''",
                         "it's'",
                         "\"",
                         "a\\b",
                         "$(touch x)",
                         "`id`",
                         "$HOME",
                         "; true && false|",
                         "-n",
                         "--",
                         "*",
                         "~root",
                         "a\nb",
                         "\t \r",
                         "!x",
                         "\x01\xff\x7f",
                         "'\\''",
                         "#c",
                         "{a,b}"};
    std::string strWords;
    for (const std::string& strValue : values)
        strWords += " " + ShellQuoted(strValue);
    EXPECT_EQ(ShellWords(strWords), values);
}

// ssh, started by the test: the arguments it was given, and what the other
// side printed and how it ended.
class CFakeShell : public IRemoteShell {
public:
    List args;
    CShellRun result;
    List out, err;
    CShellRun Run(const List& argsGiven, const CShellRelay& relay) override
    {
        args = argsGiven;
        for (const std::string& strLine : out)
            relay.onOut(strLine);
        for (const std::string& strLine : err)
            relay.onErr(strLine);
        return result;
    }
};

class ViaTest : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CFakeRoutes routes;
    CFakeResolver resolver;
    CFakeEthers ethers;
    CPosixFileSystem files;
    CRecordingMessageBox messages;
    CFakeShell shell;
    std::string strOut, strErr;

    void SetUp() override
    {
        WriteBytes(dir / "book.ini", "[list]\n0=nas 10.0.3.5 001122334455\n1=bad 10.0.3.6 xyz\n");
        resolver.forward["bcast.example"] = {"", {NetAddr("10.0.3.255")}};
        routes.routes = {{"255.255.255.255", CFakeRoutes::Route(2)}};
    }

    int Run(const List& args)
    {
        messages.texts.clear();
        shell.args.clear();
        CCommandLine line;
        std::string strError;
        const bool bListen = std::any_of(args.begin(), args.end(), [](const std::string& str) {
            return str.starts_with("--listen");
        });
        List all = bListen ? List{} : List{"--profile", dir / "book.ini"};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_TRUE(ParseCommandLine(all, line, strError)) << strError;
        CAppServices services;
        services.pSockets = &sockets;
        services.pRoutes = &routes;
        services.pResolver = &resolver;
        services.pEthers = &ethers;
        services.pFiles = &files;
        services.pMessages = &messages;
        services.pShell = &shell;
        services.pOut = std::tmpfile();
        services.pErr = std::tmpfile();
        CnuvikApp app("nuvik", std::move(line), services);
        app.InitInstance();
        strOut = Written(services.pOut);
        strErr = Written(services.pErr);
        return app.ExitCode();
    }

    // The arguments of the nuvik over there, joined by "|"; "" when ssh
    // did not run.
    std::string Request() const
    {
        if (shell.args.empty())
            return "";
        const std::string& strCommand = shell.args.back();
        EXPECT_TRUE(strCommand.starts_with(kPrefix)) << strCommand;
        std::string strJoined;
        for (const std::string& strArg : ShellWords(strCommand.substr(sizeof kPrefix - 1)))
            strJoined += (strJoined.empty() ? "" : "|") + strArg;
        return strJoined;
    }
};

// Names are found here; the other side gets addresses, and the options that go along.
TEST_F(ViaTest, TheRequestCarriesAddressesAndTheOptionsThatGoAlong)
{
    const std::string strBook = dir / "book.ini";
    const struct {
        List args;
        std::string strRequest;
        List said;  // here
    } cases[] = {
        {{"-w", "nas", "10.0.3.5", "bad", "-v", "--to", "bcast.example", "-i", "eth9", "--port=9",
          "--repeat=2", "--wait=5"},
         "--via-request=1|--wake|--port=9|--to=10.0.3.255|--interface=eth9|--repeat=2|--verbose|"
         "--wait=5|--|nas|nas|10.0.3.5|001122334455||10.0.3.5 (nas)|nas|10.0.3.5|001122334455|",
         {"bad: the address book's entry holds no hardware address (\"xyz\", " +
          std::string(kMacTextExpected) + ")"}},
        {{"001122334455", "--wait=3", "AABBCCDDEEFF"},
         "--via-request=1|--wake|--wait=3|--|001122334455|||001122334455|10.0.3.5|"
         "AABBCCDDEEFF|||AABBCCDDEEFF|",
         {}},
        {{strBook},
         "--via-request=1|--wake|--|" + strBook +
             " [list] 0=nas 10.0.3.5 001122334455:|nas|10.0.3.5|001122334455|",
         {strBook +
          " [list] 1=bad 10.0.3.6 xyz: skipped, the third field is not a hardware "
          "address (" +
          kMacTextExpected + ")"}},
        {{"--status", "--json", "nas", "10.0.9.9"},
         "--via-request=1|--status|--json|--||nas|10.0.3.5|001122334455|||10.0.9.9|10.0.9.9||",
         {}},
        {{"--scan=10.0.0.0/24", "--add", "-i", "eth1"},
         "--via-request=1|--scan=10.0.0.0/24|--json|--interface=eth1",
         {"0 hosts added to " + strBook + ", 0 updated, 0 known already"}},
        {{"--listen=9"}, "--via-request=1|--listen=9", {}},
        {{"-w", "ghost"}, "", {"\"ghost\": "}},  // nothing left to send
    };
    for (const auto& c : cases) {
        List args{"--via", "me@far"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Run(args);
        EXPECT_EQ(Request(), c.strRequest) << c.args.front();
        EXPECT_EQ(sockets.sends.size(), 0u) << c.args.front();
        ASSERT_EQ(messages.texts.size(), c.said.size()) << c.args.front();
        for (size_t i = 0; i < c.said.size(); ++i)
            EXPECT_TRUE(messages.texts[i].starts_with(c.said[i])) << messages.texts[i];
    }
    // ssh: no prompt, terminal or forwarding, bounded; the host never an option.
    Run({"--via", "me@far", "001122334455"});
    const List& args = shell.args;
    ASSERT_GE(args.size(), 3u);
    EXPECT_EQ(List(args.end() - 3, args.end() - 1), (List{"--", "me@far"}));
    for (const char* psz : {"BatchMode=yes", "-T", "-a", "-x", "ConnectTimeout=10",
                            "ServerAliveInterval=5", "ServerAliveCountMax=3"})
        EXPECT_NE(std::find(args.begin(), args.end() - 3, psz), args.end() - 3) << psz;
}

TEST_F(ViaTest, WhatComesBackIsShownAsItIsAndFailuresAreSaidInWords)
{
    const std::string strOld = "nuvik: unknown option --via-request (see nuvik --help)\n";
    const struct {
        List args;
        CShellRun result;
        List out, err;
        int nExit;
        std::string strSaid;  // the start of the one line said here, after "--via far: "
        std::string strOut, strErr;
    } cases[] = {
        {{},
         {0, ENOENT, ""},
         {},
         {},
         2,
         "there is no ssh here: install the OpenSSH client (apt-get install openssh-client)"},
        {{}, {127, 0, ""}, {}, {}, 2, "there is no nuvik on far to run the request"},
        {{}, {2, 0, ""}, {}, {strOld}, 2, "the nuvik on far is too old for --via: it needs"},
        {{},
         {2, 0, ""},
         {},
         {"\x02nuvik: no such interface\n"},
         2,
         "",
         "",
         "nuvik: no such interface\n"},
        {{},
         {255, 0, "No ED25519 host key is known for far.\r\nHost key verification failed.\r\n"},
         {},
         {},
         2,
         "the host key of far is not known here, or is not the one known (ssh said: Host key "
         "verification failed.)"},
        {{},
         {255, 0, "me@far: Permission denied (publickey).\r\n"},
         {},
         {},
         2,
         "authentication refused by far (ssh said: me@far: Permission denied (publickey).)"},
        {{"--wait=9"},
         {255, 0, ""},
         {},
         {"\x01wakes sent\n", "Connection to far closed.\r\n"},
         2,
         "the connection to far was lost while waiting: the wakes were sent, whether the hosts "
         "came up is not known (ssh said: Connection to far closed.)"},
        {{"--wait=9"},
         {255, 0, "Timeout, server far not responding.\n"},
         {},
         {},
         2,
         "the connection to far was lost: whether the wakes were sent is not known"},
        {{},
         {255, 0, "ssh: connect to host far port 22: Connection refused\n"},
         {},
         {},
         2,
         "cannot reach far (ssh said: ssh: connect to host far port 22: Connection refused)"},
        {{"--wait=9"},
         {1, 0, ""},
         {"nas is up after 3 s\n", "no line feed"},
         {"\x02nuvik: a note\n", "\x01wakes sent\n", "a line of the remote shell\n"},
         1,
         "",
         "nas is up after 3 s\nno line feed",
         "nuvik: a note\na line of the remote shell\n"},
    };
    for (const auto& c : cases) {
        shell.result = c.result;
        shell.out = c.out;
        shell.err = c.err;
        List args{"--via", "far", "-w", "001122334455"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Run(args), c.nExit) << c.strSaid;
        EXPECT_EQ((std::tuple(strOut, strErr)), std::tuple(c.strOut, c.strErr)) << c.strSaid;
        ASSERT_EQ(messages.texts.size(), c.strSaid.empty() ? 0u : 1u) << c.strSaid;
        if (!c.strSaid.empty())
            EXPECT_TRUE(messages.texts[0].starts_with("--via far: " + c.strSaid))
                << messages.texts[0];
    }
}

// The scan over there answers JSON; the lines here are a local scan's, and
// the hosts go into the book here.
TEST_F(ViaTest, ScanAddKeepsTheHostsFoundOverThereInTheBookHere)
{
    shell.out = {R"({"name":"pc.lan","ip":"10.0.3.7","mac":"AABBCCDDEEFF","interface":"eth1"})"
                 "\n",
                 R"({"name":"10.0.3.5","ip":"10.0.3.5","mac":"001122334455","interface":"eth1"})"
                 "\n",
                 "{\"ip\":\"10.0.3.8\",\"mac\":\"junk\"}\n"};
    shell.err = {"\x02nuvik: 2 hosts found among 254 addresses\n"};
    EXPECT_EQ(Run({"--via", "far", "--scan", "--add"}), kExitOk);
    EXPECT_EQ(strOut, "pc.lan 10.0.3.7 AABBCCDDEEFF\n10.0.3.5 10.0.3.5 001122334455\n");
    EXPECT_EQ(strErr, "nuvik: 2 hosts found among 254 addresses\n");
    EXPECT_EQ(messages.texts,
              (List{"--via far: the scan over there answered lines that are not hosts; they are "
                    "left out",
                    "1 host added to " + dir / "book.ini" + ", 0 updated, 1 known already"}));
    EXPECT_NE(ReadBytes(dir / "book.ini").find("=pc.lan 10.0.3.7 AABBCCDDEEFF"), std::string::npos);
    // Stopped over there: what was found is shown, the book left alone.
    shell.result.nExit = 130;
    shell.out.resize(1);
    WriteBytes(dir / "book.ini", "");
    EXPECT_EQ(Run({"--via", "far", "--scan", "--add"}), 130);
    EXPECT_EQ(strOut, "pc.lan 10.0.3.7 AABBCCDDEEFF\n");
    EXPECT_EQ(ReadBytes(dir / "book.ini"), "");
}

// The other side: the hosts come whole, as found by the side that sent them.
TEST_F(ViaTest, TheRequestIsReadAsItWasWritten)
{
    routes.routes["10.0.3.9"] = CFakeRoutes::Route(3);
    EXPECT_EQ(Run({"--via-request=1", "-w", "-v", "--", "a (pc)", "pc", "10.0.3.9", "001122334455",
                   "", "b", "", "", "AABBCCDDEEFF", ""}),
              kExitOk);
    ASSERT_EQ(sockets.sends.size(), 2u);
    EXPECT_EQ((std::tuple(sockets.sends[0].nIfIndex, sockets.sends[1].data.at(6))),
              std::tuple(3u, 0xAA));
    EXPECT_TRUE(strOut.starts_with("pc 001122334455 to ")) << strOut;
    EXPECT_NE(strOut.find("\nAABBCCDDEEFF to "), std::string::npos) << strOut;
    for (const List& args :
         {List{"--via-request=2", "--listen"}, List{"--via-request=1", "-w", "x"},
          List{"--via=-oProxyCommand=x", "-w", "x"}, List{"--via", "far"}}) {
        CCommandLine line;
        std::string strError;
        EXPECT_FALSE(ParseCommandLine(args, line, strError)) << args[0];
    }
}

}  // namespace
