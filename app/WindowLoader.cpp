#include "app/WindowLoader.h"

#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "Version.h"
#include "app/ExitStatus.h"
#include "app/NuvikApp.h"
#include "ui/HostsBook.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/WindowModule.h"

namespace {

std::string RealPath(const std::string& strPath)
{
    char* pszReal = strPath.empty() ? nullptr : ::realpath(strPath.c_str(), nullptr);
    if (pszReal == nullptr)
        return {};
    std::string strReal = pszReal;
    std::free(pszReal);
    return strReal;
}

// A bare command name looked up in PATH, as the shell did to start it.
std::string SearchPath(const std::string& strName)
{
    const char* pszPath = std::getenv("PATH");
    std::string strDirs = pszPath ? pszPath : "";
    for (size_t nStart = 0; nStart <= strDirs.size();) {
        const size_t nEnd = std::min(strDirs.find(':', nStart), strDirs.size());
        const std::string strDir = strDirs.substr(nStart, nEnd - nStart);
        const std::string strCandidate = (strDir.empty() ? "." : strDir) + "/" + strName;
        if (::access(strCandidate.c_str(), X_OK) == 0)
            return strCandidate;
        nStart = nEnd + 1;
    }
    return {};
}

// The running executable's real path, links resolved; empty when it can't
// be told. Never a guess: the module found beside a wrong path would be
// code from wherever the user happens to stand.
std::string ExecutablePath(const std::string& strArgv0)
{
    // The kernel's own answer, where /proc is mounted.
    char szPath[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    if (n > 0)
        return std::string(szPath, static_cast<size_t>(n));
    // The path execve was given: a relative one is relative to the directory
    // the process started in, which nothing has changed yet.
    if (const auto* pszExecFn = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
        pszExecFn && *pszExecFn)
        return RealPath(pszExecFn);
    return RealPath(strArgv0.find('/') != std::string::npos ? strArgv0 : SearchPath(strArgv0));
}

// The directory of the running executable, or empty when unknown.
std::string ExecutableDirectory(const std::string& strExePath)
{
    const std::string strPath = ExecutablePath(strExePath);
    return strPath.empty() ? std::string() : strPath.substr(0, strPath.find_last_of('/'));
}

bool IsFile(const std::string& strPath) { return ::access(strPath.c_str(), R_OK) == 0; }

// Installed: <prefix>/bin/nuvik finds <prefix>/<libdir>/nuvik/...; in the
// build tree the module sits beside the executable.
std::string FindBesideOrInstalled(const std::string& strExeDir, const std::string& strInstalledRel,
                                  const std::string& strBuildRel, const std::string& strName)
{
    if (strExeDir.empty())
        return {};
    for (const std::string& strDir :
         {strExeDir + "/" + strInstalledRel, strExeDir + "/" + strBuildRel}) {
        const std::string strPath = strDir + "/" + strName;
        if (IsFile(strPath))
            return strPath;
    }
    return {};
}

}  // namespace

std::string FindHelpPage(const std::string& strExePath)
{
    const std::string strExeDir = ExecutableDirectory(strExePath);
    const std::string strPath =
        FindBesideOrInstalled(strExeDir, NUVIK_DATA_RELDIR, "docs", "help.html");
    if (!strPath.empty())
        return strPath;
    // Not there: where it belongs, so that "Help" can say so.
    const std::string strInstalled = NUVIK_DATA_DIR "/help.html";
    return strExeDir.empty() || IsFile(strInstalled)
        ? strInstalled
        : strExeDir + "/" NUVIK_DATA_RELDIR "/help.html";
}

namespace {

// The window module: beside the real executable (installed or in the build
// tree), else in the library directory the program was built for. Null,
// with the reason in strError, when it is not there or does not load.
void* LoadWindowModule(const std::string& strExePath, std::string& strError)
{
    std::string strModule = FindBesideOrInstalled(ExecutableDirectory(strExePath),
                                                  NUVIK_MODULE_RELDIR, ".", NUVIK_MODULE_NAME);
    if (strModule.empty() && IsFile(NUVIK_MODULE_DIR "/" NUVIK_MODULE_NAME))
        strModule = NUVIK_MODULE_DIR "/" NUVIK_MODULE_NAME;
    if (strModule.empty()) {
        strError = "cannot open the window: its module " NUVIK_MODULE_NAME
                   " is not installed (the window needs the nuvik-gui package)";
        return nullptr;
    }
    void* hModule = ::dlopen(strModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!hModule)
        strError = std::string("cannot open the window: ") + ::dlerror();
    return hModule;
}

}  // namespace

int RunDialogMode(CNUVIKDlg& dlg, const std::string& strExePath, IMessageBox& messages)
{
    std::string strError;
    void* hModule = LoadWindowModule(strExePath, strError);
    if (!hModule) {
        messages.MessageBox(strError);
        return kExitNothingRan;
    }
    auto pfnRun = reinterpret_cast<PFNNUVIKRUNWINDOW>(::dlsym(hModule, kWindowEntryPoint));
    if (!pfnRun) {
        messages.MessageBox("cannot open the window: its module is not nuvik's window module");
        ::dlclose(hModule);
        return kExitNothingRan;
    }

    dlg.SetHelpPage(FindHelpPage(strExePath));
    const std::string strAppName = AppNameFromPath(strExePath);
    CWindowRequest request;
    request.pDialog = &dlg;
    request.pszAppName = strAppName.c_str();
    request.pszTitle = NUVIK_TITLE;
    request.pszVersion = NUVIK_VERSION;
    char szError[512] = "";
    const int nResult = pfnRun(&request, szError, sizeof szError);
    // The module stays loaded: Qt registers exit handlers of its own.
    if (nResult != 0) {
        messages.MessageBox(szError[0] ? szError : "cannot open the window");
        return kExitNothingRan;
    }
    return kExitOk;
}

int RunHostsMode(CHostsBook& book, const std::string& strExePath, IMessageBox& messages)
{
    std::string strError;
    void* hModule = LoadWindowModule(strExePath, strError);
    auto pfnRun = hModule
        ? reinterpret_cast<PFNNUVIKRUNHOSTSWINDOW>(::dlsym(hModule, kHostsEntryPoint))
        : nullptr;
    if (!pfnRun) {
        messages.MessageBox(hModule ? "cannot open the window: its module is not nuvik's window "
                                      "module"
                                    : strError);
        return kExitNothingRan;
    }
    const std::string strAppName = AppNameFromPath(strExePath);
    CHostsRequest request;
    request.pHosts = &book;
    request.pszAppName = strAppName.c_str();
    request.pszTitle = NUVIK_TITLE " Hosts";
    char szError[512] = "";
    if (pfnRun(&request, szError, sizeof szError) != 0) {
        messages.MessageBox(szError[0] ? szError : "cannot open the hosts window");
        return kExitNothingRan;
    }
    return kExitOk;
}

bool ShowDialogMessage(const std::string& strExePath, const std::string& strText)
{
    std::string strError;
    void* hModule = LoadWindowModule(strExePath, strError);
    auto pfnShow = hModule
        ? reinterpret_cast<PFNNUVIKSHOWMESSAGE>(::dlsym(hModule, kMessageEntryPoint))
        : nullptr;
    if (!pfnShow)
        return false;
    const std::string strAppName = AppNameFromPath(strExePath);
    CWindowRequest request;
    request.pszAppName = strAppName.c_str();
    char szError[512] = "";
    return pfnShow(&request, strText.c_str(), szError, sizeof szError) == 0;
}
