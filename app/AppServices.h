#pragma once
// The services every mode runs on: the platform's, behind their interfaces,
// and where output goes. The real ones are made once, by CSystemServices;
// the tests give fakes.
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class CHostsBook;
class CNUVIKDlg;
struct CProbeKit;
class IEthers;
class IFileSystem;
class IMessageBox;
class INeighbourTable;
class IProbePlatform;
class IRemoteShell;
class IResolver;
class IRouteTable;
class ISocketLayer;

// Runs the dialog mode on a dialog object; returns the exit status.
using DialogRunner = int (*)(CNUVIKDlg& dlg, const std::string& strExePath, IMessageBox& messages);
// Runs the hosts window on a hosts book; returns the exit status.
using HostsRunner = int (*)(CHostsBook& book, const std::string& strExePath, IMessageBox& messages);
// Shows one message in the window's message box, without the window; false
// when there is no window to show it with.
using DialogMessage = bool (*)(const std::string& strExePath, const std::string& strText);

struct CAppServices {
    ISocketLayer* pSockets = nullptr;
    IRouteTable* pRoutes = nullptr;          // routes and links
    INeighbourTable* pNeighbours = nullptr;  // the neighbour table
    IProbePlatform* pPlatform = nullptr;     // --status, --wait, --scan, "MAC"
    IResolver* pResolver = nullptr;          // --to NAME, "MAC"
    IEthers* pEthers = nullptr;              // --wake NAME
    IFileSystem* pFiles = nullptr;           // the address book's file
    IRemoteShell* pShell = nullptr;          // --via: the system's ssh
    // A reverse look-up that may run on other threads (the scan's names).
    std::function<bool(uint32_t, std::string&)> reverseLookup;
    IMessageBox* pMessages = nullptr;        // what went wrong: standard error
    DialogRunner pfnRunDialog = nullptr;     // dialog mode
    DialogMessage pfnShowMessage = nullptr;  // dialog mode's start-up failure
    HostsRunner pfnRunHosts = nullptr;       // the hosts window
    // A probe kit for each thread that probes (the hosts window's workers).
    std::function<std::unique_ptr<CProbeKit>()> makeProbeKit;
    std::function<int64_t()> nowMs;       // a monotonic clock, in milliseconds
    void (*pfnPause)(int nMs) = nullptr;  // between rounds of --repeat; null: none
    std::FILE* pOut = stdout;             // the lines of every mode
    std::FILE* pErr = stderr;             // --via: the other side's messages, as they come
    std::FILE* pProgress = nullptr;       // a progress line; null: standard error is no terminal
    // Set to the number of the signal (Ctrl-C, SIGTERM) that asks a mode
    // that waits to stop.
    const volatile sig_atomic_t* pStop = nullptr;
};

// The exit status of a run a signal stopped (128 + its number: 130 for
// Ctrl-C, 143 for SIGTERM); 0 when none did.
inline int StoppedExit(const CAppServices& services)
{
    return services.pStop && *services.pStop ? 128 + *services.pStop : 0;
}
