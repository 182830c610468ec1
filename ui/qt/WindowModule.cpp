// The window module's entry point: the only symbol the module exports.
#pragma GCC visibility push(default)
#include "ui/WindowModule.h"
#pragma GCC visibility pop

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "ui/qt/DisplayCheck.h"
#include "ui/qt/MainWindow.h"

namespace {

void SetError(char* pszError, size_t nErrorSize, const std::string& strText)
{
    if (pszError && nErrorSize > 0)
        std::snprintf(pszError, nErrorSize, "%s", strText.c_str());
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
        SetError(pszError, nErrorSize, "cannot open the window: the window module does not match this program");
        return 1;
    }
    try {
        std::unique_ptr<QApplication> pApp;
        std::string strArg0 = pRequest->pszAppName ? pRequest->pszAppName : "nuvik";
        char* argv[] = {strArg0.data(), nullptr};
        int argc = 1;
        if (!QApplication::instance()) {
            if (const std::string strWhy = WhyNoDisplay(); !strWhy.empty()) {
                SetError(pszError, nErrorSize, strWhy);
                return 2;
            }
            pApp = std::make_unique<QApplication>(argc, argv);
        }
        QApplication::setApplicationName(QString::fromUtf8(strArg0.c_str()));
        QIcon icon;
        for (int nSize : {16, 32, 48})
            icon.addFile(QStringLiteral(":/nuvik/nuvik-%1.png").arg(nSize), QSize(nSize, nSize));
        QApplication::setWindowIcon(icon);
        RunMainWindow(*pRequest);
        return 0;
    } catch (const std::exception& e) {
        SetError(pszError, nErrorSize, std::string("the window failed: ") + e.what());
    } catch (...) {
        SetError(pszError, nErrorSize, "the window failed");
    }
    return 1;
}
