// nuvik: wakes computers on the local network with the Wake-on-LAN magic packet.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Version.h"
#include "app/NuvikApp.h"
#include "app/ScanMode.h"
#include "app/WindowLoader.h"
#include "discovery/Netlink.h"
#include "net/SocketLayer.h"
#include "ui/MessageBox.h"
#include "ui/PrintableText.h"

namespace {
void PrintUsage(const std::string& strAppName)
{
    std::printf(
        "Usage: %1$s                  open the window (address book, wake, lookup)\n"
        "       %1$s MAC [MAC ...]    wake each hardware address, in order\n"
        "       %1$s FILE.ini         wake every host of a profile file\n"
        "       %1$s --help | --version\n"
        "\n"
        "MAC is twelve hexadecimal digits 0-9 and A-F with no separators,\n"
        "for example 001122334455. Each host gets one magic packet, sent from\n"
        "UDP port 4000 to 255.255.255.255 port 4000.\n"
        "\n"
        "Exit status: 0 all sent; 1 an address was not valid or a send failed;\n"
        "2 nothing could run.\n",
        PrintableText(strAppName).c_str());
}
// What was printed must have reached standard output: a full disk or a
// closed file is reported, not taken for success.
int FinishOutput(const std::string& strAppName)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return kExitOk;
    const int nError = errno;
    CStreamMessageBox(strAppName).MessageBox("cannot write to standard output: " + ErrorText(nError));
    return kExitNothingRan;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string strExePath = argc > 0 && argv[0] ? argv[0] : "nuvik";
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        PrintUsage(AppNameFromPath(strExePath));
        return FinishOutput(AppNameFromPath(strExePath));
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("%s\n", NUVIK_TITLE);
        return FinishOutput(AppNameFromPath(strExePath));
    }

    if (WantsScan(args))
        return RunScanCommand(AppNameFromPath(strExePath), args);

    CPosixSocketLayer sockets;
    CNetlinkRouteTable routes;
    CStreamMessageBox messages(AppNameFromPath(strExePath));
    CnuvikApp app(strExePath, std::move(args),
                  CAppServices{&sockets, &messages, &RunDialogMode, &ShowDialogMessage, &routes});
    app.InitInstance();
    return app.ExitCode();
}
