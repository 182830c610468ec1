#include "app/Via.h"

#include <cerrno>
#include <cstdio>

#include "Version.h"
#include "app/AppServices.h"
#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/SystemServices.h"
#include "base/Error.h"
#include "base/Text.h"

namespace {

// How long ssh may take to connect, and how long a connection may stay
// silent (ServerAliveInterval × ServerAliveCountMax) before it counts as lost.
constexpr const char* kConnectTimeout = "ConnectTimeout=10";
constexpr const char* kAliveInterval = "ServerAliveInterval=5";
constexpr const char* kAliveCount = "ServerAliveCountMax=3";

// ssh's last line: what went wrong, in its words.
std::string LastLine(const std::string& strLog)
{
    std::string strLast;
    size_t nStart = 0;
    while (nStart < strLog.size()) {
        size_t nEnd = strLog.find('\n', nStart);
        nEnd = nEnd == std::string::npos ? strLog.size() : nEnd;
        if (const std::string strLine = TrimBlanks(strLog.substr(nStart, nEnd - nStart));
            !strLine.empty())
            strLast = strLine;
        nStart = nEnd + 1;
    }
    return strLast;
}

// Why ssh failed (its own exit status 255), in one line.
std::string SshFailure(const CCommandLine& line, const std::string& strLog, bool bHeard,
                       bool bWakesSent)
{
    const std::string& strHost = line.strVia;
    const std::string strSaid = " (ssh said: " + LastLine(strLog) + ")";
    if (strLog.find("Host key verification failed") != std::string::npos)
        return "the host key of " + strHost + " is not known here, or is not the one known" +
            strSaid + ": check it, then connect once with ssh " + strHost + " to keep it";
    if (strLog.find("Permission denied") != std::string::npos)
        return "authentication refused by " + strHost + strSaid;
    // ssh's own failures to connect start with its name; a session that ends
    // says so in other words ("Connection to HOST closed by remote host.").
    if (!bHeard && !bWakesSent && LastLine(strLog).starts_with("ssh: "))
        return "cannot reach " + strHost + strSaid;
    if (line.nWaitSeconds && bWakesSent)
        return "the connection to " + strHost +
            " was lost while waiting: the wakes were sent, whether the hosts came up is not "
            "known" +
            strSaid;
    return "the connection to " + strHost + " was lost" +
        (line.nWaitSeconds ? ": whether the wakes were sent is not known" : "") + strSaid;
}

}  // namespace

void CViaMessageBox::MessageBox(const std::string& strText)
{
    const std::lock_guard lock(m_mutex);
    std::fputc(kViaMessage, stderr);
    m_messages.MessageBox(strText);
}

std::vector<CRemoteHost> RemoteHostsOf(const std::vector<std::string>& args)
{
    std::vector<CRemoteHost> hosts;
    for (size_t i = 0; i + kRemoteHostFields <= args.size(); i += kRemoteHostFields)
        hosts.push_back({args[i], args[i + 1], args[i + 2], args[i + 3], args[i + 4]});
    return hosts;
}

std::vector<std::string> RemoteArguments(const CCommandLine& line,
                                         const std::vector<CRemoteHost>& hosts)
{
    std::vector<std::string> args{"--via-request=" + std::to_string(kViaRequestVersion)};
    const auto Add = [&](bool bGiven, const std::string& strArg) {
        if (bGiven)
            args.push_back(strArg);
    };
    if (line.bScan || line.bListen) {
        Add(line.bScan, line.bScanRange ? "--scan=" + line.strScanRange : "--scan");
        Add(line.bScan, "--json");  // read here, and shown as asked
        Add(line.bListen, "--listen=" + std::to_string(line.nListenPort));
        Add(!line.strInterface.empty(), "--interface=" + line.strInterface);
        return args;
    }
    Add(line.bStatus, "--status");
    Add(line.bJson, "--json");
    Add(!line.bStatus, "--wake");
    Add(line.nPort != 4000, "--port=" + std::to_string(line.nPort));
    Add(!line.strTo.empty(), "--to=" + line.strTo);
    Add(!line.strInterface.empty(), "--interface=" + line.strInterface);
    Add(line.nRepeat != 1, "--repeat=" + std::to_string(line.nRepeat));
    Add(line.bVerbose, "--verbose");
    Add(line.nWaitSeconds > 0, "--wait=" + std::to_string(line.nWaitSeconds));
    args.emplace_back("--");
    for (const CRemoteHost& host : hosts)
        args.insert(args.end(),
                    {host.strShown, host.strName, host.strIp, host.strMac, host.strNote});
    return args;
}

std::string RemoteCommand(const std::vector<std::string>& args)
{
    std::string strCommand = "command -v nuvik >/dev/null || exit 127; exec nuvik";
    for (const std::string& strArg : args)
        strCommand += " " + ShellQuoted(strArg);
    return strCommand;
}

std::vector<std::string> SshArguments(const std::string& strHost, const std::string& strCommand)
{
    return {"-o", "BatchMode=yes", "-T", "-a",        "-x", "-o",    kConnectTimeout,
            "-o", kAliveInterval,  "-o", kAliveCount, "--", strHost, strCommand};
}

int RunVia(const CCommandLine& line, const std::vector<CRemoteHost>& hosts,
           const CAppServices& services, const std::function<void(const std::string&)>& onOut)
{
    IMessageBox& messages = *services.pMessages;
    const std::string strWhere = "--via " + line.strVia + ": ";
    bool bHeard = false, bWakesSent = false;
    std::string strSaid;  // ssh's lines, and any other that is no message of nuvik's
    CShellRelay relay;
    relay.pStop = services.pStop;
    relay.onOut = [&](const std::string& strLine) {
        bHeard = true;
        if (onOut)
            return onOut(strLine);
        std::fwrite(strLine.data(), 1, strLine.size(), services.pOut);
        std::fflush(services.pOut);
    };
    relay.onErr = [&](const std::string& strLine) {
        if (strLine.starts_with(kViaSignal)) {
            bWakesSent = bWakesSent || strLine == kViaWakesSent;
        } else if (strLine.starts_with(kViaMessage)) {
            bHeard = true;
            std::fwrite(strLine.data() + 1, 1, strLine.size() - 1, services.pErr);
            std::fflush(services.pErr);
        } else {
            strSaid += strLine;
        }
    };
    const CStopOnSignals stop;  // Ctrl-C ends the other side too, with its last lines
    const CShellRun run = services.pShell->Run(
        SshArguments(line.strVia, RemoteCommand(RemoteArguments(line, hosts))), relay);
    if (run.nSpawnError == ENOENT) {
        messages.MessageBox(strWhere +
                            "there is no ssh here: install the OpenSSH client (apt-get install "
                            "openssh-client)");
        return kExitNothingRan;
    }
    if (run.nSpawnError) {
        messages.MessageBox(strWhere + "cannot start ssh: " + ErrorText(run.nSpawnError));
        return kExitNothingRan;
    }
    if (const int nStopped = StoppedExit(services))
        return nStopped;
    if (run.nExit == 127) {  // from the shell: no nuvik in its PATH
        messages.MessageBox(strWhere + "there is no nuvik on " + line.strVia +
                            " to run the request: install it there, in a directory of the PATH "
                            "of its ssh sessions");
        return kExitNothingRan;
    }
    // An older nuvik's refusal of the request, before any mode ran.
    if (run.nExit == kExitNothingRan && strSaid.find("--via-request") != std::string::npos) {
        messages.MessageBox(strWhere + "the nuvik on " + line.strVia +
                            " is too old for --via: it needs version " NUVIK_VERSION
                            " or later (one that reads requests of version " +
                            std::to_string(kViaRequestVersion) + ")");
        return kExitNothingRan;
    }
    if (run.nExit != 255) {
        std::fputs(strSaid.c_str(), services.pErr);  // the remote shell's, say
        return run.nExit;
    }
    messages.MessageBox(strWhere + SshFailure(line, run.strLog + strSaid, bHeard, bWakesSent));
    return kExitNothingRan;
}
