// The window with the real dialog object behind it: what the user sees after
// picks, Enter, Escape, the mode buttons and the About box.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes/Fakes.h"
#include "hosts/ProfileName.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"
#include "ui/qt/IpAddressEdit.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/NameBox.h"

class TestDialogWindow : public QObject {
    Q_OBJECT

    CTempDir m_dir;
    CFakeSocketLayer m_sockets;
    CRecordingMessageBox m_messages;
    CFakeFileChooser m_files;
    CProfileName m_profile;
    std::unique_ptr<CNUVIKDlg> m_pDlg;
    CWindowRequest m_request;
    std::unique_ptr<CMainWindow> m_pWindow;

    CMainWindow& Wnd() { return *m_pWindow; }
    std::string ProfilePath() const { return m_profile.strConfigDir + "/nuvik.INI"; }

    // Shows the window as the module does, without its modal loop.
    void Show()
    {
        m_pWindow = std::make_unique<CMainWindow>(m_request);
        m_pDlg->AttachWindow(m_pWindow.get(), &m_messages, &m_files);
        QVERIFY(m_pDlg->OnInitDialog());
        Wnd().show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
        Wnd().NameBox()->setFocus();
    }

private slots:
    void init()
    {
        m_sockets = CFakeSocketLayer();
        m_messages = CRecordingMessageBox();
        m_profile.strName = "nuvik.INI";
        m_profile.strConfigDir = m_dir / "config";
        std::filesystem::create_directories(m_profile.strConfigDir);
        std::ofstream(ProfilePath(), std::ios::binary) << "[list]\n0=nas 10.0.0.2 001122334455\n1=Alpha 192.168.0.7 00A0C9FFEE1D\n2=B\xFCro 10.0.0.3 0A0B0C0D0E0F\n";
        m_pDlg = std::make_unique<CNUVIKDlg>(std::vector<std::string>{}, CDlgServices{&m_sockets, nullptr, &m_profile, ""});
        m_request = CWindowRequest{.pDialog = m_pDlg.get(), .pszTitle = "NUVIK 1.0.3", .pszVersion = "1.0.3"};
    }
    void cleanup()
    {
        m_pDlg->AttachWindow(nullptr, nullptr, nullptr);
        m_pWindow.reset();
    }

    void aPickFromTheListFillsTheOtherBoxes()
    {
        Show();
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("Alpha"));
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.7"));
        QCOMPARE(Wnd().MacBox()->text(), QString("00A0C9FFEE1D"));
        // A name that is not UTF-8 shows as Latin-1, picks its host, and
        // deletes it.
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QCOMPARE(Wnd().NameBox()->EditText(), QString::fromLatin1("B\xFCro"));
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("10.0.0.3"));
        QCOMPARE(Wnd().MacBox()->text(), QString("0A0B0C0D0E0F"));
        Wnd().MenuCommand(ID_DELETE_HOST)->trigger();
        QCOMPARE(Wnd().GetCount(), 2);
        QCOMPARE(m_pDlg->m_hosts.GetCount(), 2u);
    }

    void enterWakesAndTheWindowStaysOpen()
    {
        Show();
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Return);
        const auto sends = m_sockets.Sends();
        QCOMPARE(sends.size(), size_t(1));
        std::vector<uint8_t> packet(6, 0xFF);
        for (int n = 0; n < 16; ++n)
            packet.insert(packet.end(), {0x00, 0xA0, 0xC9, 0xFF, 0xEE, 0x1D});
        QCOMPARE(sends[0].data, packet);
        QVERIFY(m_messages.texts.empty());
        QVERIFY(Wnd().isVisible());
        QVERIFY(!Wnd().IsEnded());
    }

    void modeButtonsSwitchTheEnabledBox()
    {
        Show();
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

    void aboutBoxOpensModallyFromTheHelpMenu()
    {
        Show();
        QString strSeen;
        QTimer::singleShot(0, [&] {
            QWidget* pBox = QApplication::activeModalWidget();
            QVERIFY(pBox && pBox != m_pWindow.get());
            strSeen = pBox->windowTitle() + "|" + pBox->findChild<QLabel*>("version")->text();
            QTest::keyClick(pBox, Qt::Key_Return);
        });
        Wnd().MenuCommand(IDM_ABOUTBOX)->trigger();
        QCOMPARE(strSeen, QString("About NUVIK|NUVIK version 1.0.3"));
    }

    void escapeSavesAndCloses()
    {
        // The whole run, modal loop included.
        QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
        QCOMPARE(RunMainWindow(m_request), int(IDCANCEL));
        std::ifstream saved(ProfilePath(), std::ios::binary);
        std::stringstream text;
        text << saved.rdbuf();
        QCOMPARE(text.str(), std::string("[list]\r\n0=nas 10.0.0.2 001122334455\r\n1=Alpha 192.168.0.7 00A0C9FFEE1D\r\n"
                                      "2=B\xFCro 10.0.0.3 0A0B0C0D0E0F\r\n"));
    }
};

QTEST_MAIN(TestDialogWindow)
#include "test_dialog_window.moc"
