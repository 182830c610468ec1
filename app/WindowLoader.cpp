#include "app/WindowLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "Version.h"
#include "app/NuvikApp.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/WindowModule.h"

namespace {

// The directory of the running executable, with symbolic links resolved.
std::string ExecutableDirectory(const std::string& strExePath)
{
    char szPath[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    std::string strPath;
    if (n > 0) {
        strPath.assign(szPath, static_cast<size_t>(n));
    } else if (char* pszReal = ::realpath(strExePath.c_str(), nullptr)) {
        strPath = pszReal;
        std::free(pszReal);
    } else {
        strPath = strExePath;
    }
    const size_t nSlash = strPath.find_last_of('/');
    return nSlash == std::string::npos ? std::string(".") : strPath.substr(0, nSlash);
}

bool IsFile(const std::string& strPath)
{
    return ::access(strPath.c_str(), R_OK) == 0;
}

// Installed: <prefix>/bin/nuvik finds <prefix>/<libdir>/nuvik/...; in the
// build tree the module sits beside the executable.
std::string FindBesideOrInstalled(const std::string& strExeDir, const std::string& strInstalledRel,
                                  const std::string& strBuildRel, const std::string& strName)
{
    for (const std::string& strDir : {strExeDir + "/" + strInstalledRel, strExeDir + "/" + strBuildRel}) {
        const std::string strPath = strDir + "/" + strName;
        if (IsFile(strPath))
            return strPath;
    }
    return {};
}

} // namespace

std::string FindHelpPage(const std::string& strExePath)
{
    const std::string strExeDir = ExecutableDirectory(strExePath);
    const std::string strPath = FindBesideOrInstalled(strExeDir, NUVIK_DATA_RELDIR, "docs", "help.html");
    // Not there: where it belongs, so that "Help" can say so.
    return strPath.empty() ? strExeDir + "/" NUVIK_DATA_RELDIR "/help.html" : strPath;
}

int RunDialogMode(CNUVIKDlg& dlg, const std::string& strExePath, IMessageBox& messages)
{
    const std::string strModule =
        FindBesideOrInstalled(ExecutableDirectory(strExePath), NUVIK_MODULE_RELDIR, ".", NUVIK_MODULE_NAME);
    if (strModule.empty()) {
        messages.MessageBox("cannot open the window: its module " NUVIK_MODULE_NAME
                            " is not installed (the window needs the nuvik-gui package)");
        return kExitNothingRan;
    }

    void* hModule = ::dlopen(strModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!hModule) {
        messages.MessageBox(std::string("cannot open the window: ") + ::dlerror());
        return kExitNothingRan;
    }
    auto pfnRun = reinterpret_cast<PFNNUVIKRUNWINDOW>(::dlsym(hModule, kWindowEntryPoint));
    if (!pfnRun) {
        messages.MessageBox("cannot open the window: " + strModule + " is not nuvik's window module");
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
