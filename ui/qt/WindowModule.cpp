// The window module's entry points: the only symbols the module exports.
#pragma GCC visibility push(default)
#include "ui/WindowModule.h"
#pragma GCC visibility pop

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "ui/qt/DisplayCheck.h"
#include "ui/qt/HostsWindow.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtServices.h"

namespace {

void SetError(char* pszError, size_t nErrorSize, const std::string& strText)
{
    if (pszError && nErrorSize > 0)
        std::snprintf(pszError, nErrorSize, "%s", strText.c_str());
}

// The application the window needs, made here unless the host process has
// one. Null, with the reason in strWhy, when there is no display.
std::unique_ptr<QApplication> MakeApplication(const char* pszAppName, std::string& strWhy)
{
    static std::string s_strArg0;
    static char* s_argv[] = {nullptr, nullptr};
    static int s_argc = 1;
    std::unique_ptr<QApplication> pApp;
    s_strArg0 = pszAppName ? pszAppName : "nuvik";
    if (!QApplication::instance()) {
        if (strWhy = WhyNoDisplay(); !strWhy.empty())
            return nullptr;
        s_argv[0] = s_strArg0.data();
        pApp = std::make_unique<QApplication>(s_argc, s_argv);
    }
    QApplication::setApplicationName(QString::fromUtf8(s_strArg0.c_str()));
    QIcon icon;
    for (int nSize : {16, 32, 48})
        icon.addFile(QStringLiteral(":/nuvik/nuvik-%1.png").arg(nSize), QSize(nSize, nSize));
    QApplication::setWindowIcon(icon);
    return pApp;
}

// Runs work with an application, made here unless the host process has one:
// 0 when it ran, 2 without a display, 1 when it failed; the reason goes to
// pszError.
int RunInApplication(const char* pszAppName, char* pszError, size_t nErrorSize,
                     const char* pszFailed, const std::function<void()>& work)
{
    try {
        std::string strWhy;
        const std::unique_ptr<QApplication> pApp = MakeApplication(pszAppName, strWhy);
        if (!strWhy.empty()) {
            SetError(pszError, nErrorSize, strWhy);
            return 2;
        }
        work();
        return 0;
    } catch (const std::exception& e) {
        SetError(pszError, nErrorSize, std::string(pszFailed) + ": " + e.what());
    } catch (...) {
        SetError(pszError, nErrorSize, pszFailed);
    }
    return 1;
}

}  // namespace

extern "C" int NuvikRunWindow(const CWindowRequest* pRequest, char* pszError, size_t nErrorSize)
{
    SetError(pszError, nErrorSize, "");
    if (!pRequest || !pRequest->pDialog) {
        SetError(pszError, nErrorSize, "cannot open the window: no dialog given");
        return 1;
    }
    if (pRequest->nAbi != kWindowModuleAbi) {
        SetError(pszError, nErrorSize,
                 "cannot open the window: the window module does not match this program");
        return 1;
    }
    return RunInApplication(pRequest->pszAppName, pszError, nErrorSize, "the window failed",
                            [&] { RunMainWindow(*pRequest); });
}

extern "C" int NuvikShowMessage(const CWindowRequest* pRequest, const char* pszText, char* pszError,
                                size_t nErrorSize)
{
    SetError(pszError, nErrorSize, "");
    if (!pRequest || pRequest->nAbi != kWindowModuleAbi || !pszText) {
        SetError(pszError, nErrorSize, "the window module does not match this program");
        return 1;
    }
    return RunInApplication(
        pRequest->pszAppName, pszError, nErrorSize, "the message box failed",
        [&] { CQtMessageBox(nullptr, QApplication::applicationName()).MessageBox(pszText); });
}

extern "C" int NuvikRunHostsWindow(const CHostsRequest* pRequest, char* pszError, size_t nErrorSize)
{
    SetError(pszError, nErrorSize, "");
    if (!pRequest || pRequest->nAbi != kWindowModuleAbi || !pRequest->pHosts) {
        SetError(pszError, nErrorSize,
                 "cannot open the hosts window: the window module does not match this program");
        return 1;
    }
    return RunInApplication(pRequest->pszAppName, pszError, nErrorSize, "the hosts window failed",
                            [&] { RunHostsWindow(*pRequest); });
}
