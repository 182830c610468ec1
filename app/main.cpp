// nuvik: wakes computers on the local network with the Wake-on-LAN magic packet.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Version.h"
#include "app/CommandLine.h"
#include "app/NuvikApp.h"
#include "app/ScanMode.h"
#include "app/StandardDescriptors.h"
#include "app/WindowLoader.h"
#include "discovery/Netlink.h"
#include "net/SocketLayer.h"
#include "ui/MessageBox.h"
#include "ui/PrintableText.h"

namespace {
void PrintUsage(const std::string& strAppName)
{
    std::printf("Usage: %1$s [OPTION...]             open the window with the address book\n"
                "       %1$s [OPTION...] MAC...      wake each hardware address, in order\n"
                "       %1$s [OPTION...] FILE.ini    wake every host of a profile file\n"
                "       %1$s [OPTION...] -w HOST...  wake hosts, by any address form or by name\n"
                "       %1$s --listen[=PORT]         show the magic packets that arrive here\n"
                "       %1$s --status [HOST...]      is it up? (no HOST: every host of the book)\n"
                "       %1$s --scan[=CIDR] [--add]   list the hosts of the attached links\n"
                "\n"
                "MAC is twelve hexadecimal digits 0-9 and A-F with no separators, for example\n"
                "001122334455. Each host gets one magic packet from UDP port 4000.\n"
                "\n"
                "%2$s"
                "\n"
                "Exit status: 0 all sent; 1 an address was not valid, a host was not found or a\n"
                "send failed; 2 nothing could run (a bad option, an unreadable address book).\n"
                "--status and --wait: 0 all are up; 1 some are not; 130 --wait was interrupted.\n",
                PrintableText(strAppName).c_str(), OptionHelp().c_str());
}
// What was printed must have reached standard output: a full disk or a
// closed file is reported, not taken for success.
int FinishOutput(const std::string& strAppName)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return kExitOk;
    const int nError = errno;
    CStreamMessageBox(strAppName)
        .MessageBox("cannot write to standard output: " + ErrorText(nError));
    return kExitNothingRan;
}

}  // namespace

int main(int argc, char** argv)
{
    OpenClosedStandardDescriptors();
    const std::string strExePath = argc > 0 && argv[0] ? argv[0] : "nuvik";
    const std::string strAppName = AppNameFromPath(strExePath);
    CCommandLine line;
    std::string strError;
    if (!ParseCommandLine({argv + (argc > 0 ? 1 : 0), argv + argc}, line, strError)) {
        CStreamMessageBox(strAppName).MessageBox(strError + " (see " + strAppName + " --help)");
        return kExitNothingRan;
    }
    if (line.bHelp) {
        PrintUsage(strAppName);
        return FinishOutput(strAppName);
    }
    if (line.bVersion) {
        std::printf("%s\n", NUVIK_TITLE);
        return FinishOutput(strAppName);
    }

    if (line.bScan)
        return RunScanCommand(strAppName, line);

    CPosixSocketLayer sockets;
    CNetlinkRouteTable routes;
    CStreamMessageBox messages(strAppName);
    CAppServices services{&sockets, &messages, &RunDialogMode, &ShowDialogMessage, &routes};
    services.pfnPause = &PauseMs;
    CnuvikApp app(strExePath, std::move(line), services);
    app.InitInstance();
    // The lines of --verbose and --listen must have reached standard output.
    const int nOutput = FinishOutput(strAppName);
    return nOutput != kExitOk ? nOutput : app.ExitCode();
}
