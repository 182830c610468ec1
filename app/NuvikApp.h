#pragma once
// The application: start-up, and the choice of mode from the command line,
// made in one table.
#include <functional>
#include <string>
#include <vector>

#include "app/AppServices.h"
#include "app/CommandLine.h"
#include "app/StatusMode.h"
#include "app/Via.h"
#include "hosts/ProfileName.h"
#include "wake/Waker.h"

class CNUVIKDlg;
class CSetList;

class CnuvikApp {
public:
    CnuvikApp(std::string strExePath, CCommandLine line, const CAppServices& services);

    // Start-up; always returns false, the process then ends with ExitCode().
    bool InitInstance();
    int ExitCode() const { return m_nExitCode; }

private:
    struct CMode;
    static const CMode s_modes[];

    int RunHelp();
    int RunVersion();
    int RunScan();
    int RunStatus();
    int RunListen();
    int RunWakeOption();
    int RunWindow();
    int RunHosts();
    int RunProfile();
    int RunArguments();

    bool ResolveDelivery(CDelivery& delivery);
    CWakeOptions WakeOptions(const CDelivery& delivery);
    CNUVIKDlg MakeDialog(const CDelivery& delivery);
    // Tells what became of a wake that did not simply work; one that was not
    // sent makes the exit status 1.
    void TellOutcome(const std::string& strWhat, const CWakeOutcome& outcome,
                     const std::string& strInvalid);
    // The hint for a bare argument that is not a hardware address text.
    std::string InvalidArgumentText(CNUVIKDlg& dlg, const std::string& strArg);
    // --wait: a host to wait for, planned before its wake (a bare hardware
    // address: the address of its book entry, else of its neighbour entry).
    void PlanWait(const std::string& strName, const std::string& strIp, const std::string& strMac,
                  const CSetList& book);
    // Runs wake, and with --wait the wait around it: the wakes leave right
    // after the hosts' first probes. The exit status.
    int WakeAndWait(const std::function<void()>& wake);
    // --via: the wakes of the hosts, with --wait the wait, on the other
    // machine. The exit status, with what failed here counted in.
    int ForwardWakes(const std::vector<CRemoteHost>& hosts);
    // Wakes the hosts here, in rounds, the messages calling each strShown.
    int WakeHere(const std::vector<CRemoteHost>& hosts, const CDelivery& delivery,
                 const CSetList& book);
    bool Via() const { return !m_line.strVia.empty(); }

    std::string m_strExePath;
    std::string m_strAppName;
    CCommandLine m_line;
    std::vector<std::string>& m_args = m_line.args;
    CAppServices m_services;
    CProfileName m_profile;  // the address book's file
    int m_nExitCode = 0;
    bool m_bBookLoaded = false;
    std::vector<CWaitHost> m_waits;  // for --wait, in the order of the hosts woken
};

// The executable's file name without directory and extension.
std::string AppNameFromPath(const std::string& strPath);
