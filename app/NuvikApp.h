#pragma once
// The application: start-up, and the choice of mode from the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/StatusMode.h"
#include "hosts/ProfileName.h"

class ISocketLayer;
class IMessageBox;
class IRouteTable;
class IResolver;
class IEthers;
class CNUVIKDlg;
class CSetList;
struct CDelivery;
struct CWakeOutcome;

// Exit statuses of the process.
enum : int {
    kExitOk = 0,          // every wake asked for was sent
    kExitSomeFailed = 1,  // an argument or entry was not valid, or a send failed
    kExitNothingRan = 2   // nothing could run: start-up failure, unreadable profile, no window
};

// Runs the dialog mode on a dialog object; returns the exit status.
using DialogRunner = int (*)(CNUVIKDlg& dlg, const std::string& strExePath, IMessageBox& messages);

// Shows one message in the window's message box, without the window;
// false when there is no window to show it with.
using DialogMessage = bool (*)(const std::string& strExePath, const std::string& strText);

struct CAppServices {
    ISocketLayer* pSockets = nullptr;
    IMessageBox* pMessages = nullptr;        // command-line messages
    DialogRunner pfnRunDialog = nullptr;     // dialog mode
    DialogMessage pfnShowMessage = nullptr;  // dialog mode's start-up failure
    IRouteTable* pRoutes = nullptr;          // which link a wake leaves by
    IResolver* pResolver = nullptr;          // --to NAME; nullptr: the system's
    IEthers* pEthers = nullptr;              // --wake NAME; nullptr: the system's
    void (*pfnPause)(int nMs) = nullptr;     // between rounds of --repeat; nullptr: none
    std::FILE* pOut = nullptr;               // --verbose, --listen; nullptr: standard output
};

// Sleeps for nMs milliseconds.
void PauseMs(int nMs);

class CnuvikApp {
public:
    CnuvikApp(std::string strExePath, CCommandLine line, CAppServices services);

    // Start-up; always returns false, the process then ends with ExitCode().
    bool InitInstance();
    int ExitCode() const { return m_nExitCode; }

    const std::string& AppName() const { return m_strAppName; }

private:
    bool ResolveDelivery(CDelivery& delivery, IResolver& resolver);
    void WakeArguments(CNUVIKDlg& dlg);
    void WakeProfile(CNUVIKDlg& dlg);
    void WakeHosts(CNUVIKDlg& dlg, IEthers& ethers);
    // Runs wakeRound once per datagram each host is to get, with a pause in
    // between; bFirst is true for the first round, which alone reports.
    template <typename F>
    void InRounds(F wakeRound);
    // The hint for a bare argument that is not a hardware address text.
    std::string InvalidArgumentText(CNUVIKDlg& dlg, const std::string& strArg);
    void PrintLine(const std::string& strLine);
    // --wait: a host woken, by the address it was woken with (a bare
    // hardware address: its book entry's, else its neighbour entry's).
    void NoteWoken(const std::string& strName, const std::string& strIp, const std::string& strMac,
                   const CSetList& book);

    std::string m_strExePath;
    std::string m_strAppName;
    CCommandLine m_line;
    std::vector<std::string>& m_args = m_line.args;
    CAppServices m_services;
    CProfileName m_profile;  // the address book's file
    int m_nExitCode = kExitOk;
    bool m_bBookLoaded = false;
    std::vector<CWaitHost> m_woken;  // for --wait
};

// The executable's file name without directory and extension.
std::string AppNameFromPath(const std::string& strPath);
