#pragma once
// The entry point of the window module (a shared library loaded with dlopen
// in dialog mode only). The module is built with the same compiler and
// standard library as the executable; only this header and the pure
// interfaces it names cross the boundary.
#include <cstddef>

class IDialogEvents;
class IHostsEvents;

constexpr int kWindowModuleAbi = 2;

struct CWindowRequest {
    int nAbi = kWindowModuleAbi;
    IDialogEvents* pDialog = nullptr;  // the dialog object
    const char* pszAppName = "nuvik";  // message box captions
    const char* pszTitle = "";         // "NUVIK 1.0.3"
    const char* pszVersion = "";       // "1.0.3", for the About box
};

// Runs the main window modally until the dialog ends. Returns 0 when the
// window ran; otherwise writes one line saying why it could not (no display,
// ...) into pszError and returns non-zero.
extern "C" int NuvikRunWindow(const CWindowRequest* pRequest, char* pszError, size_t nErrorSize);
using PFNNUVIKRUNWINDOW = int (*)(const CWindowRequest*, char*, size_t);
constexpr const char* kWindowEntryPoint = "NuvikRunWindow";

// Shows pszText in a message box captioned pRequest->pszAppName (no dialog is
// needed) and returns when it is closed: 0, or non-zero with the reason in
// pszError (no display, ...).
extern "C" int NuvikShowMessage(const CWindowRequest* pRequest, const char* pszText, char* pszError,
                                size_t nErrorSize);
using PFNNUVIKSHOWMESSAGE = int (*)(const CWindowRequest*, const char*, char*, size_t);
constexpr const char* kMessageEntryPoint = "NuvikShowMessage";

// The hosts window: the hosts book it shows (the core's side).
struct CHostsRequest {
    int nAbi = kWindowModuleAbi;
    IHostsEvents* pHosts = nullptr;
    const char* pszAppName = "nuvik";  // message box captions
    const char* pszTitle = "";         // "NUVIK Hosts"
};

// Runs the hosts window until it is closed: 0, or non-zero with the reason
// in pszError (no display, ...).
extern "C" int NuvikRunHostsWindow(const CHostsRequest* pRequest, char* pszError,
                                   size_t nErrorSize);
using PFNNUVIKRUNHOSTSWINDOW = int (*)(const CHostsRequest*, char*, size_t);
constexpr const char* kHostsEntryPoint = "NuvikRunHostsWindow";
