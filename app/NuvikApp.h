#pragma once
// The application: start-up, and the choice of mode from the command line.
#include <string>
#include <vector>

#include "hosts/ProfileName.h"

class ISocketLayer;
class IMessageBox;
class IRouteTable;
class CNUVIKDlg;

// Exit statuses of the process.
enum : int {
    kExitOk = 0,        // every wake asked for was sent
    kExitSomeFailed = 1,// an argument or entry was not valid, or a send failed
    kExitNothingRan = 2 // nothing could run: start-up failure, unreadable profile, no window
};

// Runs the dialog mode on a dialog object; returns the exit status.
using DialogRunner = int (*)(CNUVIKDlg& dlg, const std::string& strExePath, IMessageBox& messages);

// Shows one message in the window's message box, without the window;
// false when there is no window to show it with.
using DialogMessage = bool (*)(const std::string& strExePath, const std::string& strText);

struct CAppServices {
    ISocketLayer* pSockets = nullptr;
    IMessageBox* pMessages = nullptr;       // command-line messages
    DialogRunner pfnRunDialog = nullptr;    // dialog mode
    DialogMessage pfnShowMessage = nullptr; // dialog mode's start-up failure
    IRouteTable* pRoutes = nullptr;         // which link a wake leaves by
};

class CnuvikApp {
public:
    CnuvikApp(std::string strExePath, std::vector<std::string> args, CAppServices services);

    // Start-up; always returns false, the process then ends with ExitCode().
    bool InitInstance();
    int ExitCode() const { return m_nExitCode; }

    const std::string& AppName() const { return m_strAppName; }

private:
    void WakeArguments(CNUVIKDlg& dlg);
    void WakeProfile(CNUVIKDlg& dlg);

    std::string m_strExePath;
    std::string m_strAppName;
    std::vector<std::string> m_args;
    CAppServices m_services;
    CProfileName m_profile;  // the address book's file
    int m_nExitCode = kExitOk;
};

// The executable's file name without directory and extension.
std::string AppNameFromPath(const std::string& strPath);
