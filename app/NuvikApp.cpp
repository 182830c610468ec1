#include "app/NuvikApp.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "Version.h"
#include "app/ExitStatus.h"
#include "app/Output.h"
#include "app/ScanMode.h"
#include "app/SystemServices.h"
#include "base/Address.h"
#include "base/PrintableText.h"
#include "hosts/HostLookUp.h"
#include "net/Resolver.h"
#include "net/SocketLayer.h"
#include "ui/HostsBook.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"
#include "wake/Listener.h"

// A mode: when it is chosen, what runs, and whether it needs the socket
// layer. The first row whose test holds is the mode.
struct CnuvikApp::CMode {
    bool (*pfnChosen)(const CCommandLine& line);
    int (CnuvikApp::*pfnRun)();
    bool bSockets;
};

const CnuvikApp::CMode CnuvikApp::s_modes[] = {
    {[](const CCommandLine& line) { return line.bHelp; }, &CnuvikApp::RunHelp, false},
    {[](const CCommandLine& line) { return line.bVersion; }, &CnuvikApp::RunVersion, false},
    {[](const CCommandLine& line) { return line.bScan; }, &CnuvikApp::RunScan, false},
    {[](const CCommandLine& line) { return line.bHosts; }, &CnuvikApp::RunHosts, true},
    {[](const CCommandLine& line) { return line.bStatus; }, &CnuvikApp::RunStatus, true},
    {[](const CCommandLine& line) { return line.bListen; }, &CnuvikApp::RunListen, true},
    {[](const CCommandLine& line) { return line.bWake; }, &CnuvikApp::RunWakeOption, true},
    {[](const CCommandLine& line) { return line.args.empty(); }, &CnuvikApp::RunWindow, true},
    {[](const CCommandLine& line) { return line.args[0].find(".ini") != std::string::npos; },
     &CnuvikApp::RunProfile, true},
    {[](const CCommandLine&) { return true; }, &CnuvikApp::RunArguments, true},
};

std::string AppNameFromPath(const std::string& strPath)
{
    std::string strName = strPath.substr(strPath.find_last_of('/') + 1);
    const size_t nDot = strName.find_last_of('.');
    if (nDot != std::string::npos && nDot != 0)
        strName.resize(nDot);
    return strName.empty() ? std::string("nuvik") : strName;
}

CnuvikApp::CnuvikApp(std::string strExePath, CCommandLine line, const CAppServices& services)
    : m_strExePath(std::move(strExePath))
    , m_strAppName(AppNameFromPath(m_strExePath))
    , m_line(std::move(line))
    , m_services(services)
    , m_profile(CProfileName::Default(m_strAppName))
{
    // Another address book: the window's, and the one names are looked up in.
    if (m_line.HasProfile()) {
        m_profile.strName = m_line.strProfile;
        m_profile.bSelected = true;
    }
}

bool CnuvikApp::InitInstance()
{
    const CMode& mode = *std::find_if(std::begin(s_modes), std::end(s_modes),
                                      [&](const CMode& row) { return row.pfnChosen(m_line); });
    IMessageBox& messages = *m_services.pMessages;
    if (mode.bSockets && !Via() && SocketStartUp(*m_services.pSockets) != 0) {
        messages.MessageBox(IDS_SOCKETS_INIT_FAILED);
        // Started from the desktop, nobody reads standard error: the window's
        // own message box says it too.
        if (m_args.empty() && m_services.pfnShowMessage)
            m_services.pfnShowMessage(m_strExePath, IDS_SOCKETS_INIT_FAILED);
        m_nExitCode = kExitNothingRan;
        return false;
    }
    // What the mode printed must have reached standard output.
    m_nExitCode = FinishOutput(m_services.pOut, messages, (this->*mode.pfnRun)());
    return false;
}

int CnuvikApp::RunHelp()
{
    std::fprintf(m_services.pOut,
                 "Usage: %1$s [OPTION...]             open the window with the address book\n"
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
                 "--status and --wait: 0 all are up; 1 some are not. Interrupted by Ctrl-C: 130,\n"
                 "by SIGTERM: 143.\n",
                 PrintableText(m_strAppName).c_str(), OptionHelp().c_str());
    return kExitOk;
}

int CnuvikApp::RunVersion()
{
    std::fprintf(m_services.pOut, "%s\n", NUVIK_TITLE);
    return kExitOk;
}

int CnuvikApp::RunScan()
{
    const CScanRequest request{m_line.bScanRange, m_line.strScanRange, m_line.bAdd, m_line.bJson,
                               m_line.strInterface};
    const CStopOnSignals stop;  // what was found so far is still shown
    if (!Via())
        return RunScanMode(request, m_profile, m_services);
    return RunScanMode(request, m_profile, m_services, [&](std::vector<CScanHost>& found) {
        bool bStrange = false;
        const int nExit = RunVia(m_line, {}, m_services, [&](const std::string& strLine) {
            CScanHost host;
            if (ScanHostOfJson(strLine, host))
                found.push_back(std::move(host));
            else
                bStrange = true;
        });
        if (bStrange)
            m_services.pMessages->MessageBox("--via " + m_line.strVia +
                                             ": the scan over there answered lines that are not "
                                             "hosts; they are left out");
        return nExit;
    });
}

int CnuvikApp::RunStatus()
{
    const CStopOnSignals stop;  // the hosts asked so far are still shown
    if (m_line.nViaRequest) {
        std::vector<CStatusHost> hosts;
        for (const CRemoteHost& host : RemoteHostsOf(m_args))
            hosts.push_back({host.strName, host.strIp, host.strMac, StoredAddress(host.strIp), 0,
                             host.strNote});
        return ::RunStatus(hosts, m_line.bJson, m_services);
    }
    if (!Via())
        return RunStatusCommand(m_line, m_profile, m_services);
    return RunStatusCommand(
        m_line, m_profile, m_services, [&](const std::vector<CStatusHost>& hosts) {
            std::vector<CRemoteHost> remote;
            for (const CStatusHost& host : hosts)
                remote.push_back({{}, host.strName, host.strIp, host.strMac, host.strProblem});
            return RunVia(m_line, remote, m_services);
        });
}

int CnuvikApp::RunListen()
{
    if (Via())
        return RunVia(m_line, {}, m_services);
    IMessageBox& messages = *m_services.pMessages;
    const CStatus status =
        ListenForWakes(m_line.nListenPort, m_services.pOut,
                       [&](const std::string& strNote) { messages.MessageBox(strNote); });
    if (status.Ok())
        return kExitOk;
    messages.MessageBox(status.strError);
    return kExitNothingRan;
}

bool CnuvikApp::ResolveDelivery(CDelivery& delivery)
{
    IMessageBox& messages = *m_services.pMessages;
    delivery.nPort = m_line.nPort;
    if (!m_line.strTo.empty()) {
        const std::string& strTo = m_line.strTo;
        if (!ParseDotted(strTo, delivery.dwTo)) {
            if (strTo.find_first_not_of("0123456789.") == std::string::npos) {
                messages.MessageBox("--to " + strTo + ": " + kDottedExpected);
                return false;
            }
            CHostRecord record;
            if (const int nError = m_services.pResolver->GetHostByName(strTo, record)) {
                messages.MessageBox("--to " + strTo + ": no IPv4 address for this name (" +
                                    ResolverErrorText(nError) + ")");
                return false;
            }
            delivery.dwTo = record.addresses.front();
        }
        if (delivery.dwTo == 0) {
            messages.MessageBox("--to " + strTo + ": 0.0.0.0 is no address to send to");
            return false;
        }
        if (Via())  // looked up here: the other side gets the address
            m_line.strTo = DottedText(delivery.dwTo);
    }
    if (m_line.strInterface.empty() || Via())  // --via: an interface over there
        return true;
    const std::string strWhat = "--interface " + m_line.strInterface + ": ";
    switch (m_services.pRoutes->FindLink(m_line.strInterface, delivery.nInterface)) {
    case ELinkState::Missing: messages.MessageBox(strWhat + "no such interface"); return false;
    case ELinkState::Down: messages.MessageBox(strWhat + "the interface is down"); return false;
    case ELinkState::NoAddress:
        messages.MessageBox(strWhat + "the interface holds no IPv4 address");
        return false;
    case ELinkState::Usable: break;
    }
    return true;
}

CWakeOptions CnuvikApp::WakeOptions(const CDelivery& delivery)
{
    CWakeOptions options{delivery, m_line.nRepeat, m_services.pfnPause, {}};
    if (m_line.bVerbose)
        options.onDatagram = [pOut = m_services.pOut](const std::string& strLine) {
            std::fprintf(pOut, "%s\n", PrintableText(strLine).c_str());
            std::fflush(pOut);  // as it happens, also from the window
        };
    return options;
}

CNUVIKDlg CnuvikApp::MakeDialog(const CDelivery& delivery)
{
    CDlgServices services;
    services.pSockets = m_services.pSockets;
    services.pMessages = m_services.pMessages;
    services.pProfile = &m_profile;
    services.pFiles = m_services.pFiles;
    services.pResolver = m_services.pResolver;
    services.pPlatform = m_services.pPlatform;
    services.pNeighbours = m_services.pNeighbours;
    services.pRoutes = m_services.pRoutes;
    services.wake = WakeOptions(delivery);
    return CNUVIKDlg(m_args, std::move(services));
}

void CnuvikApp::TellOutcome(const std::string& strWhat, const CWakeOutcome& outcome,
                            const std::string& strInvalid)
{
    IMessageBox& messages = *m_services.pMessages;
    switch (outcome.status) {
    case CWakeOutcome::EStatus::Sent:
        if (!outcome.strReason.empty())
            messages.MessageBox(strWhat + " woken, but the " + outcome.strReason);
        return;
    case CWakeOutcome::EStatus::InvalidMac: messages.MessageBox(strInvalid); break;
    case CWakeOutcome::EStatus::SendFailed:
        messages.MessageBox(strWhat + " not woken: " + outcome.strReason);
        break;
    }
    m_nExitCode = kExitSomeFailed;
}

int CnuvikApp::RunWindow()
{
    CDelivery delivery;
    if (!ResolveDelivery(delivery))
        return kExitNothingRan;
    CNUVIKDlg dlg = MakeDialog(delivery);
    return m_services.pfnRunDialog
        ? m_services.pfnRunDialog(dlg, m_strExePath, *m_services.pMessages)
        : kExitNothingRan;
}

int CnuvikApp::RunHosts()
{
    CDelivery delivery;
    if (!ResolveDelivery(delivery) || !m_services.pfnRunHosts)
        return kExitNothingRan;
    CHostsServices services;
    services.pSockets = m_services.pSockets;
    services.pProfile = &m_profile;
    services.pFiles = m_services.pFiles;
    services.makeProbeKit = m_services.makeProbeKit;
    services.reverseLookup = m_services.reverseLookup;
    services.wake = WakeOptions(delivery);
    services.wake.pfnPause = m_services.pfnPause;
    services.nowMs = m_services.nowMs;
    CHostsBook book(std::move(services));
    if (const CStatus loaded = book.Load(); !loaded.Ok())
        m_services.pMessages->MessageBox(loaded.strError +
                                         " (it is kept as it is until a change replaces it)");
    return m_services.pfnRunHosts(book, m_strExePath, *m_services.pMessages);
}

void CnuvikApp::PlanWait(const std::string& strName, const std::string& strIp,
                         const std::string& strMac, const CSetList& book)
{
    uint32_t dwAddr = StoredAddress(strIp);
    if (dwAddr == 0 && !strMac.empty())
        dwAddr = WaitAddressOfMac(book, *m_services.pNeighbours, strMac);
    m_waits.push_back({strName, dwAddr, strMac});
}

int CnuvikApp::WakeAndWait(const std::function<void()>& wake)
{
    if (m_line.nWaitSeconds <= 0) {
        wake();
        return m_nExitCode;
    }
    const int nWait = WaitForWoken(
        m_waits, m_line.nWaitSeconds, m_services,
        [&] {
            wake();
            if (m_line.nViaRequest)  // for the side that sent the request, should the connection go
                std::fputs(kViaWakesSent, m_services.pErr);
        },
        m_line.bJson);
    return nWait >= kExitStopped ? nWait : std::max(m_nExitCode, nWait);
}

int CnuvikApp::ForwardWakes(const std::vector<CRemoteHost>& hosts)
{
    if (hosts.empty())  // each one was told already
        return m_nExitCode;
    const int nExit = RunVia(m_line, hosts, m_services);
    return nExit >= kExitStopped || nExit == kExitNothingRan ? nExit : std::max(m_nExitCode, nExit);
}
