// The window module as the executable uses it: loaded with dlopen, one entry
// point, and a refusal in one line when there is no display.
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>

#include "RecordingDialog.h"
#include "ui/WindowModule.h"
#include "ui/qt/DisplayCheck.h"

namespace {

// Sets, or for nullptr removes, the variables that name a display.
void SetDisplay(const char* pszPlatform, const char* pszX11, const char* pszWayland)
{
    for (const auto& [pszName, pszValue] : {std::pair{"QT_QPA_PLATFORM", pszPlatform}, {"DISPLAY", pszX11}, {"WAYLAND_DISPLAY", pszWayland}})
        pszValue ? setenv(pszName, pszValue, 1) : unsetenv(pszName);
}

}  // namespace

class TestModule : public QObject {
    Q_OBJECT

    void* m_hModule = nullptr;
    PFNNUVIKRUNWINDOW m_pfnRun = nullptr;

private slots:
    void initTestCase()
    {
        m_hModule = dlopen(NUVIK_WINDOW_MODULE, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_hModule, dlerror());
        m_pfnRun = reinterpret_cast<PFNNUVIKRUNWINDOW>(dlsym(m_hModule, kWindowEntryPoint));
        QVERIFY(m_pfnRun);
    }

    void onlyTheEntryPointIsExported()
    {
        QVERIFY(!dlsym(m_hModule, "_Z12WhyNoDisplayv"));
        QVERIFY(!dlsym(m_hModule, "_Z13RunMainWindowRK14CWindowRequest"));
    }

    void refusesARequestWithoutDialogOrForAnotherVersion()
    {
        char szError[256] = "stale";
        const CWindowRequest noDialog;
        QCOMPARE(m_pfnRun(&noDialog, szError, sizeof szError), 1);
        QVERIFY(std::string(szError).starts_with("cannot open the window"));
        CRecordingDialog dialog;
        const CWindowRequest otherVersion{.nAbi = kWindowModuleAbi + 1, .pDialog = &dialog};
        QVERIFY(m_pfnRun(&otherVersion, szError, sizeof szError) != 0);
        QCOMPARE(dialog.nAttaches, 0);
    }

    void runsTheDialogUntilEscapeEndsIt()
    {
        CRecordingDialog dialog;
        const CWindowRequest request{.pDialog = &dialog, .pszTitle = "NUVIK 1.0.3"};
        QString strTitle;
        bool bNameFocused = false;
        dialog.onInit = [&] {
            QTimer::singleShot(0, [&] {  // once the modal loop runs
                QWidget* pWindow = QApplication::activeModalWidget();
                QVERIFY(QTest::qWaitForWindowActive(pWindow));
                strTitle = pWindow->windowTitle();
                QWidget* pName = pWindow->findChild<QWidget*>("name");
                bNameFocused = pName->hasFocus() || pName->isAncestorOf(QApplication::focusWidget());
                QTest::keyClick(pWindow, Qt::Key_Escape);
            });
            return true;
        };
        dialog.onCommand = [&](int nId, int) {
            if (nId == IDCANCEL)
                dialog.pControls->EndDialog(IDCANCEL);
        };
        char szError[256] = "stale";
        QCOMPARE(m_pfnRun(&request, szError, sizeof szError), 0);
        QCOMPARE(szError, "");
        QCOMPARE(strTitle, QString("NUVIK 1.0.3"));
        QVERIFY(bNameFocused);
        QCOMPARE(dialog.Ids(), (std::vector<std::pair<int, int>>{{IDCANCEL, BN_CLICKED}}));
        QCOMPARE(dialog.nDetaches, 1);
    }

    void showsAMessageWithoutTheWindow()
    {
        auto pfnShow = reinterpret_cast<PFNNUVIKSHOWMESSAGE>(dlsym(m_hModule, kMessageEntryPoint));
        QVERIFY(pfnShow);
        QString strSeen;
        QTimer::singleShot(0, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(pBox);
            strSeen = pBox->windowTitle() + "|" + pBox->text();
            QTest::keyClick(pBox, Qt::Key_Return);
        });
        const CWindowRequest request{.pszAppName = "wol"};
        char szError[256] = "stale";
        QCOMPARE(pfnShow(&request, "Windows sockets initialization failed.", szError, sizeof szError), 0);
        QCOMPARE(strSeen, QString("wol|Windows sockets initialization failed."));
    }

    // Last: it leaves the display variables changed.
    void displayCheckWantsAReachableDisplayOrAHeadlessPlatform()
    {
        QTemporaryDir dir;
        setenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit().constData(), 1);
        SetDisplay("offscreen", nullptr, nullptr);
        QCOMPARE(WhyNoDisplay(), std::string());
        SetDisplay("wayland;minimal:fontengine=freetype", nullptr, nullptr);
        QCOMPARE(WhyNoDisplay(), std::string());
        SetDisplay(nullptr, nullptr, nullptr);
        QCOMPARE(WhyNoDisplay(), std::string("cannot open the window: no display (DISPLAY/WAYLAND_DISPLAY unset or unreachable)"));
        SetDisplay("xcb", nullptr, nullptr);
        QCOMPARE(WhyNoDisplay(), std::string("cannot open the window: no display for QT_QPA_PLATFORM=xcb"));
        // Nothing listens on display 4711, nor is there a Wayland socket yet.
        SetDisplay(nullptr, ":4711", "wayland-nuvik-test");
        QCOMPARE(WhyNoDisplay(), std::string("cannot open the window: cannot connect to the X display :4711"));
        // A compositor's socket appears.
        QCOMPARE(mknod(dir.filePath("wayland-nuvik-test").toLocal8Bit().constData(), S_IFSOCK | 0600, 0), 0);
        QCOMPARE(WhyNoDisplay(), std::string());
    }
};

QTEST_MAIN(TestModule)
#include "test_module.moc"
