// The window with the real dialog object behind it: what the user sees after
// picks, typing, Enter, Escape and the mode buttons.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes/FakeFileChooser.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/TempDir.h"
#include "hosts/ProfileName.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"
#include "ui/qt/IpAddressEdit.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/NameBox.h"

namespace {

const char kTwoHosts[] = "[list]\r\n0=nas 10.0.0.2 001122334455\r\n1=Alpha 192.168.0.7 00A0C9FFEE1D\r\n";

// Passes everything on to the dialog object and counts the commands, so
// that a handler's own refresh of the controls would show up as one more.
class CCountingDialog : public IDialogEvents {
public:
    explicit CCountingDialog(IDialogEvents& inner) : m_inner(inner) {}
    int nCommands = 0;
    void AttachWindow(IControlServices* pC, IMessageBox* pM, IFileChooser* pF) override { m_inner.AttachWindow(pC, pM, pF); }
    bool OnInitDialog() override { return m_inner.OnInitDialog(); }
    void OnCommand(int nId, int nNotification) override
    {
        ++nCommands;
        m_inner.OnCommand(nId, nNotification);
    }
    void OnSysCommand(int nId) override { m_inner.OnSysCommand(nId); }

private:
    IDialogEvents& m_inner;
};

std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

class TestDialogWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<CTempDir> m_pDir;
    CFakeSocketLayer m_sockets;
    CRecordingMessageBox m_messages;
    CFakeFileChooser m_files;
    CProfileName m_profile;
    std::unique_ptr<CNUVIKDlg> m_pDlg;
    std::unique_ptr<CCountingDialog> m_pCounter;
    CWindowRequest m_request;
    std::unique_ptr<CMainWindow> m_pWindow;

    CMainWindow& Wnd() { return *m_pWindow; }
    std::string ProfilePath() const { return m_profile.strConfigDir + "/nuvik.INI"; }

    void MakeDialog()
    {
        m_pDir = std::make_unique<CTempDir>();
        m_sockets = CFakeSocketLayer();
        m_messages = CRecordingMessageBox();
        m_profile.strName = "nuvik.INI";
        m_profile.strConfigDir = *m_pDir / "config";
        std::filesystem::create_directories(m_profile.strConfigDir);
        std::ofstream(ProfilePath(), std::ios::binary) << kTwoHosts;
        m_pDlg = std::make_unique<CNUVIKDlg>(std::vector<std::string>{}, CDlgServices{&m_sockets, nullptr, &m_profile, ""});
        m_pCounter = std::make_unique<CCountingDialog>(*m_pDlg);
        m_request.pDialog = m_pCounter.get();
        m_request.pszAppName = "nuvik";
        m_request.pszTitle = "NUVIK 1.0.3";
        m_request.pszVersion = "1.0.3";
    }

private slots:
    void init()
    {
        MakeDialog();
        m_pWindow = std::make_unique<CMainWindow>(m_request);
        m_pCounter->AttachWindow(m_pWindow.get(), &m_messages, &m_files);
        QVERIFY(m_pCounter->OnInitDialog());
        Wnd().show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
        Wnd().NameBox()->setFocus();
    }
    void cleanup()
    {
        if (m_pDlg)
            m_pDlg->AttachWindow(nullptr, nullptr, nullptr);
        m_pWindow.reset();
    }

    void opensWithTheNamesSortedAndNothingPicked()
    {
        QCOMPARE(Wnd().GetCount(), 2);
        QCOMPARE(Wnd().GetLBText(0), std::string("Alpha"));
        QCOMPARE(Wnd().GetLBText(1), std::string("nas"));
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string());
        QVERIFY(Wnd().findChild<QRadioButton*>("nameMode")->isChecked());
        QVERIFY(!Wnd().IsWindowEnabled(IDC_IP));
        QCOMPARE(Wnd().MacBox()->text(), QString());
    }

    void aPickFromTheListFillsTheOtherBoxes()
    {
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("Alpha"));
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.7"));
        QCOMPARE(Wnd().MacBox()->text(), QString("00A0C9FFEE1D"));
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("nas"));
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("10.0.0.2"));
        QCOMPARE(Wnd().MacBox()->text(), QString("001122334455"));
        // One command per pick: the handler's refresh sends none.
        QCOMPARE(m_pCounter->nCommands, 2);
    }

    void typingAStoredNameFillsInItsAddresses()
    {
        QTest::keyClicks(Wnd().NameBox(), "ALPH");
        QCOMPARE(Wnd().MacBox()->text(), QString());
        QTest::keyClick(Wnd().NameBox(), Qt::Key_A);
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.7"));
        QCOMPARE(Wnd().MacBox()->text(), QString("00A0C9FFEE1D"));
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("ALPHa"));
        QTest::keyClick(Wnd().NameBox(), Qt::Key_X);
        QCOMPARE(Wnd().MacBox()->text(), QString());
        QVERIFY(Wnd().IpControl()->IsBlank());
        QCOMPARE(m_pCounter->nCommands, 6);
    }

    void enterWakesAndTheWindowStaysOpen()
    {
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Return);
        const auto sends = m_sockets.Sends();
        QCOMPARE(sends.size(), size_t(1));
        QCOMPARE(sends[0].data.size(), size_t(102));
        QCOMPARE(int(sends[0].data[6]), 0x00);
        QCOMPARE(int(sends[0].data[7]), 0xA0);
        QCOMPARE(int(sends[0].data[11]), 0x1D);
        QVERIFY(m_messages.texts.empty());
        QVERIFY(Wnd().isVisible());
        QVERIFY(!Wnd().IsEnded());
    }

    void enterWithAnInvalidAddressWarns()
    {
        Wnd().MacBox()->setFocus();
        QTest::keyClicks(Wnd().MacBox(), "00a0c9");
        QTest::keyClick(Wnd().MacBox(), Qt::Key_Enter);
        QVERIFY(m_sockets.Sends().empty());
        QCOMPARE(m_messages.texts, std::vector<std::string>{"Invalid MAC address"});
    }

    void modeButtonsSwitchTheEnabledBox()
    {
        auto* pAddress = Wnd().findChild<QRadioButton*>("addressMode");
        QTest::mouseClick(pAddress, Qt::LeftButton);
        QVERIFY(!Wnd().IsWindowEnabled(IDC_NAME));
        QVERIFY(Wnd().IsWindowEnabled(IDC_IP));
        QCOMPARE(QApplication::focusWidget(), Wnd().IpControl()->Field(0));
        QTest::keyClick(&Wnd(), Qt::Key_N, Qt::AltModifier);
        QTRY_VERIFY(Wnd().IsWindowEnabled(IDC_NAME));
        QVERIFY(!Wnd().IsWindowEnabled(IDC_IP));
        QVERIFY(Wnd().findChild<QRadioButton*>("nameMode")->isChecked());
        QVERIFY(!pAddress->isChecked());
    }

    void addFromTheMenuListsTheNameInItsPlace()
    {
        QTest::keyClicks(Wnd().NameBox(), "  my pc ");
        Wnd().MacBox()->setFocus();
        QTest::keyClicks(Wnd().MacBox(), "0a0b0c0d0e0f");
        Wnd().MenuCommand(ID_ADD_HOST)->trigger();
        QCOMPARE(Wnd().GetCount(), 3);
        QCOMPARE(Wnd().GetLBText(1), std::string("mypc"));
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("  my pc "));
    }

    void aboutBoxOpensFromTheHelpMenu()
    {
        QString strTitle;
        QTimer::singleShot(0, [&] {
            QWidget* pBox = QApplication::activeModalWidget();
            QVERIFY(pBox);
            strTitle = pBox->windowTitle();
            pBox->findChild<QPushButton*>("ok")->click();
        });
        Wnd().MenuCommand(IDM_ABOUTBOX)->trigger();
        QCOMPARE(strTitle, QString("About NUVIK"));
    }

    void escapeSavesAndCloses()
    {
        // The whole run, as the module does it, on a fresh dialog object.
        cleanup();
        MakeDialog();
        std::ofstream(ProfilePath(), std::ios::binary) << "[list]\n0=nas 10.0.0.2 001122334455\n";
        bool bShown = false;
        QTimer::singleShot(0, [&] {
            QWidget* pWindow = QApplication::activeModalWidget();
            QVERIFY(pWindow);
            bShown = pWindow->isVisible();
            QTest::keyClick(pWindow, Qt::Key_Escape);
        });
        QTimer safety;
        safety.setSingleShot(true);
        safety.callOnTimeout([] {
            if (QWidget* pWindow = QApplication::activeModalWidget())
                pWindow->hide();
        });
        safety.start(10000);
        QCOMPARE(RunMainWindow(m_request), int(IDCANCEL));
        QVERIFY(bShown);
        QCOMPARE(ReadFile(ProfilePath()), std::string("[list]\r\n0=nas 10.0.0.2 001122334455\r\n"));
    }
};

QTEST_MAIN(TestDialogWindow)
#include "test_dialog_window.moc"
