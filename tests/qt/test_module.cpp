// The window module as the executable uses it: loaded with dlopen, one entry
// point, and a refusal in one line when there is no display.
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "RecordingDialog.h"
#include "ui/WindowModule.h"
#include "ui/qt/DisplayCheck.h"

namespace {

const char* const kDisplayVars[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"};

// A listening Unix socket, as a Wayland compositor leaves one.
int Listen(const QString& strPath)
{
    const int hSocket = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = strPath.toLocal8Bit();
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.constData());
    if (bind(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(hSocket, 1) != 0) {
        close(hSocket);
        return -1;
    }
    return hSocket;
}

}  // namespace

class TestModule : public QObject {
    Q_OBJECT

    std::map<std::string, std::optional<std::string>> m_saved;
    void* m_hModule = nullptr;
    PFNNUVIKRUNWINDOW m_pfnRun = nullptr;

    static void Set(const char* pszName, const char* pszValue)
    {
        if (pszValue)
            setenv(pszName, pszValue, 1);
        else
            unsetenv(pszName);
    }

private slots:
    void initTestCase()
    {
        for (const char* pszName : kDisplayVars) {
            const char* psz = std::getenv(pszName);
            m_saved[pszName] = psz ? std::optional<std::string>(psz) : std::nullopt;
        }
        m_hModule = dlopen(NUVIK_WINDOW_MODULE, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_hModule, dlerror());
        m_pfnRun = reinterpret_cast<PFNNUVIKRUNWINDOW>(dlsym(m_hModule, kWindowEntryPoint));
        QVERIFY(m_pfnRun);
    }
    void cleanup()
    {
        for (const auto& [strName, value] : m_saved)
            Set(strName.c_str(), value ? value->c_str() : nullptr);
    }
    void cleanupTestCase()
    {
        if (m_hModule)
            dlclose(m_hModule);
    }

    void onlyTheEntryPointIsExported()
    {
        // Symbols of the window code stay inside the module.
        QVERIFY(!dlsym(m_hModule, "_Z12WhyNoDisplayv"));
        QVERIFY(!dlsym(m_hModule, "_Z13RunMainWindowRK14CWindowRequest"));
    }

    void headlessPlatformsNeedNoDisplay()
    {
        Set("DISPLAY", nullptr);
        Set("WAYLAND_DISPLAY", nullptr);
        Set("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(WhyNoDisplay(), std::string());
        Set("QT_QPA_PLATFORM", "wayland;minimal:fontengine=freetype");
        QCOMPARE(WhyNoDisplay(), std::string());
    }

    void noDisplayGivesOneLine()
    {
        Set("QT_QPA_PLATFORM", nullptr);
        Set("DISPLAY", nullptr);
        Set("WAYLAND_DISPLAY", nullptr);
        QCOMPARE(WhyNoDisplay(), std::string("cannot open the window: no display (DISPLAY/WAYLAND_DISPLAY unset or unreachable)"));

        Set("QT_QPA_PLATFORM", "xcb");
        const std::string strWhy = WhyNoDisplay();
        QVERIFY(strWhy.starts_with("cannot open the window:"));
        QVERIFY(strWhy.find('\n') == std::string::npos);
    }

    void unreachableDisplaysAreRefused()
    {
        QTemporaryDir dir;
        Set("QT_QPA_PLATFORM", nullptr);
        Set("XDG_RUNTIME_DIR", dir.path().toLocal8Bit().constData());
        // Nothing listens on display 4711, nor is there a Wayland socket.
        Set("DISPLAY", ":4711");
        Set("WAYLAND_DISPLAY", "wayland-nuvik-test");
        QVERIFY(WhyNoDisplay().starts_with("cannot open the window:"));
        QVERIFY(WhyNoDisplay().find(":4711") != std::string::npos);

        const int hSocket = Listen(dir.filePath("wayland-nuvik-test"));
        QVERIFY(hSocket >= 0);
        QCOMPARE(WhyNoDisplay(), std::string());
        Set("DISPLAY", nullptr);
        QCOMPARE(WhyNoDisplay(), std::string());
        close(hSocket);
    }

    void refusesAMismatchedRequest()
    {
        char szError[256] = "stale";
        CWindowRequest request;
        QCOMPARE(m_pfnRun(&request, szError, sizeof szError), 1);
        QVERIFY(std::string(szError).starts_with("cannot open the window"));

        CRecordingDialog dialog;
        request.pDialog = &dialog;
        request.nAbi = kWindowModuleAbi + 1;
        QVERIFY(m_pfnRun(&request, szError, sizeof szError) != 0);
        QCOMPARE(dialog.nAttaches, 0);
    }

    void runsTheDialogUntilItEnds()
    {
        CRecordingDialog dialog;
        CWindowRequest request;
        request.pDialog = &dialog;
        request.pszTitle = "NUVIK 1.0.3";
        request.pszVersion = "1.0.3";
        QString strFocus, strTitle;
        bool bVisible = false;
        QTimer safety;
        dialog.onInit = [&] {
            dialog.pControls->AddString("alpha");
            // Once the modal loop runs (and, should anything go wrong,
            // ended after a while so that the test fails rather than hangs).
            QTimer::singleShot(0, [&] {
                QWidget* pWindow = QApplication::activeModalWidget();
                QVERIFY(pWindow);
                QVERIFY(QTest::qWaitForWindowActive(pWindow));
                bVisible = pWindow->isVisible();
                strTitle = pWindow->windowTitle();
                QWidget* pFocus = QApplication::focusWidget();
                // The name box, or its edit field.
                strFocus = pFocus ? (pFocus->objectName().isEmpty() ? pFocus->parentWidget()->objectName() : pFocus->objectName()) : QString();
                QTest::keyClick(pWindow, Qt::Key_Escape);
            });
            safety.setSingleShot(true);
            safety.callOnTimeout([&] {
                if (dialog.pControls)
                    dialog.pControls->EndDialog(0);
            });
            safety.start(10000);
            return true;
        };
        dialog.onCommand = [&](int nId, int) {
            if (nId == IDCANCEL)
                dialog.pControls->EndDialog(IDCANCEL);
        };
        char szError[256] = "";
        QCOMPARE(m_pfnRun(&request, szError, sizeof szError), 0);
        QCOMPARE(std::string(szError), std::string());
        QVERIFY(bVisible);
        QCOMPARE(strTitle, QString("NUVIK 1.0.3"));
        QCOMPARE(strFocus, QString("name"));
        QCOMPARE(dialog.Ids(), (std::vector<std::pair<int, int>>{{IDCANCEL, BN_CLICKED}}));
        QCOMPARE(dialog.nAttaches, 1);
        QCOMPARE(dialog.nDetaches, 1);
        QVERIFY(!dialog.pControls);
    }

    void endingDuringInitialisationRunsNoLoop()
    {
        CRecordingDialog dialog;
        CWindowRequest request;
        request.pDialog = &dialog;
        dialog.onInit = [&] {
            dialog.pControls->EndDialog(IDOK);
            return true;
        };
        char szError[64];
        QCOMPARE(m_pfnRun(&request, szError, sizeof szError), 0);
        QCOMPARE(dialog.nDetaches, 1);
    }
};

QTEST_MAIN(TestModule)
#include "test_module.moc"
