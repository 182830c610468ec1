// The window on Qt's offscreen platform, with the real dialog object behind
// it: what the headless dialog tests cannot see (the real controls, message
// boxes, file dialog and opener) and the module's entry points.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <sys/stat.h>

#include <fstream>

#include "../fakes/FakeSockets.h"
#include "base/MacText.h"
#include "hosts/FileSystem.h"
#include "net/Resolver.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"
#include "ui/WindowModule.h"
#include "ui/qt/DisplayCheck.h"
#include "ui/qt/IpAddressEdit.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/NameBox.h"
#include "ui/qt/QtServices.h"

namespace {

// A resolver that takes its time, as one waiting for a name server does.
struct CSlowResolver : IResolver {
    int GetHostByName(const std::string& strName, CHostRecord& record) override
    {
        QThread::msleep(300);
        record = {strName, {inet_addr("10.0.0.2")}};
        return 0;
    }
    int GetHostByAddr(uint32_t, std::string&) override { return EAI_NONAME; }
};

// Acts on the next modal box or dialog once it is up and active.
template <typename T>
void OnNextBox(const std::function<void(T*)>& act)
{
    QTimer::singleShot(0, [act] {
        auto* p = qobject_cast<T*>(QApplication::activeModalWidget());
        act(!p || QTest::qWaitForWindowActive(p) ? p : nullptr);
    });
}

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    CFakeSocketLayer m_sockets;
    CSlowResolver m_resolver;
    CPosixFileSystem m_fileSystem;
    CProfileName m_profile;
    std::unique_ptr<CNUVIKDlg> m_pDlg;
    std::unique_ptr<CMainWindow> m_pWindow;
    CQtMessageBox m_messages{nullptr, "nuvik"};
    CQtFileChooser m_files{nullptr};
    void* m_hModule = nullptr;
    QList<QUrl> m_opened;

    CMainWindow& Wnd() { return *m_pWindow; }
    CDlgServices Services()
    {
        const std::string strHelp = m_dir.filePath("a#b/100%41/help.html").toStdString();
        return {&m_sockets, nullptr, &m_profile, &m_fileSystem, strHelp, &m_resolver};
    }

public slots:
    void openUrl(const QUrl& url) { m_opened << url; }  // the desktop's opener

private slots:
    void initTestCase()
    {
        m_hModule = dlopen(NUVIK_WINDOW_MODULE, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(m_hModule, dlerror());
        m_profile = {"nuvik.INI", false, m_dir.path().toStdString()};
    }

    // As the module shows it, without the modal loop.
    void init()
    {
        std::ofstream(m_profile.Path(), std::ios::binary)
            << "[list]\n0=nas 10.0.0.2 001122334455\n1=Alpha 192.168.0.7 00A0C9FFEE1D\n2=B\xFCro "
               "10.0.0.3 0A0B0C0D0E0F\n";
        m_pDlg = std::make_unique<CNUVIKDlg>(std::vector<std::string>{}, Services());
        m_pWindow = std::make_unique<CMainWindow>(CWindowRequest{.pDialog = m_pDlg.get()});
        m_files = CQtFileChooser(m_pWindow.get());
        m_pDlg->AttachWindow(m_pWindow.get(), &m_messages, &m_files);
        QVERIFY(m_pDlg->OnInitDialog());
        Wnd().show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    }
    void cleanup()
    {
        m_pDlg->AttachWindow(nullptr, nullptr, nullptr);
        m_pWindow.reset();
    }

    // Letters turn upper case; typing and pasting stop at the dialog's limit.
    void macBoxTypesUpperCaseUpToItsLimit()
    {
        QLineEdit* pMac = Wnd().MacBox();
        pMac->setFocus();
        QTest::keyClicks(pMac, "00a0c9-ffee1d9");
        QCOMPARE(pMac->text(), QString("00A0C9-FFEE1"));
        for (const auto& [pszBefore, nCaret, pszPasted, pszAfter] :
             {std::tuple{"", 0, "0a1b2c3d4e5f ", "0A1B2C3D4E5F"},
              {"0011", 2, "aabbccddeeff", "00AABBCCDD11"}}) {
            pMac->setText(pszBefore);
            pMac->setCursorPosition(nCaret);
            QGuiApplication::clipboard()->setText(pszPasted);
            QTest::keyClick(pMac, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(pMac->text(), QString(pszAfter));
        }
    }

    // Sorted without regard to case; equal items in the order they came, one
    // by one or in a batch; each keeps its bytes, UTF-8 or not.
    void nameBoxSortsAndKeepsBytes()
    {
        Wnd().AddStrings({"ALPHA", "gamma", "alpha", "Beta", "0"});
        QCOMPARE(Wnd().AddString("beta"), 5);
        std::vector<std::string> items;
        for (int n = 0; n < Wnd().GetCount(); ++n)
            items.push_back(Wnd().GetLBText(n));
        QCOMPARE(items,
                 (std::vector<std::string>{"0", "Alpha", "ALPHA", "alpha", "Beta", "beta",
                                           "B\xFCro", "gamma", "nas"}));
        // The picked item stays picked while others go in before it, one by one or in a batch.
        Wnd().NameBox()->setCurrentIndex(7);
        QCOMPARE(Wnd().AddString("c"), 7);
        Wnd().AddStrings({"Gamma"});
        QCOMPARE(Wnd().GetLBText(Wnd().GetCurSel()), std::string("gamma"));
        // Direction controls reorder nothing outside their item in the list
        // (a stray PDI left out, open isolates closed); the field, which
        // holds nothing else, shows the name as it is.
        const std::string strName = "a\xE2\x80\xAE"
                                    "b\xE2\x81\xA9\xE2\x81\xA7"
                                    "c";  // a RLO b PDI RLI c
        const int nAt = Wnd().AddString(strName);
        const QModelIndex item = Wnd().NameBox()->model()->index(nAt, 0);
        QCOMPARE(item.data(Qt::DisplayRole).toString(),
                 QString::fromUtf8("\u2068a\u202Eb\u2067c\u2069\u2069"));
        QCOMPARE(Wnd().NameBox()->model()->index(1, 0).data(Qt::DisplayRole).toString(),
                 QString("Alpha"));
        Wnd().NameBox()->setCurrentIndex(nAt);
        QCOMPARE((std::pair(Wnd().NameBox()->EditText(), Wnd().GetLBText(nAt))),
                 (std::pair(QString::fromStdString(strName), strName)));
    }

    // A pick by the keyboard, then Enter: the host is woken and the window stays.
    void pickAndWake()
    {
        CNameBox* pName = Wnd().NameBox();
        pName->setFocus();
        QTest::keyClick(pName, Qt::Key_Down);
        QTest::keyClick(pName, Qt::Key_Return);
        QCOMPARE(m_sockets.sends.size(), 1u);
        QCOMPARE(MacBytesText(m_sockets.sends[0].data.data() + 96, 6), "00A0C9FFEE1D");
        QVERIFY(Wnd().isVisible() && !Wnd().IsEnded());
    }

    // While "MAC" waits for its lookup, no command reaches the dialog: a
    // Delete given meanwhile deletes nothing.
    void commandsWaitWhileALookupRuns()
    {
        Wnd().NameBox()->setEditText("nas");
        QTimer::singleShot(100, [this] { Wnd().MenuCommand(ID_DELETE_HOST)->trigger(); });
        qobject_cast<QPushButton*>(Wnd().Control(IDC_LOOKUP))->click();
        QCOMPARE(m_pDlg->m_hosts.GetCount(), 3u);
    }

    // The mode buttons move the focus; in the IP address control "." and a
    // third digit move on, a number over 255 becomes 255, Backspace in an
    // empty field goes back, and Shift+Tab from any field leaves the control.
    void ipControlFieldsAndKeys()
    {
        QTest::mouseClick(Wnd().Control(IDC_ADDRESS_MODE), Qt::LeftButton);
        CIpAddressEdit* pIp = Wnd().IpControl();
        QCOMPARE(QApplication::focusWidget(), pIp->Field(0));
        for (const char ch : std::string("192.1680.300x"))
            QTest::keyClick(QApplication::focusWidget(), ch);
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.255"));
        pIp->Field(3)->clear();
        QTest::keyClick(pIp->Field(3), Qt::Key_Backspace);
        QCOMPARE(QApplication::focusWidget(), pIp->Field(2));
        QTest::keyClick(pIp->Field(2), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_HELP_LINK));  // the name box is off
        QTest::keyClick(&Wnd(), Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), Wnd().NameBox());
    }

    void boxesWithoutCaptionsHaveAccessibleNames()
    {
        std::vector<std::pair<QWidget*, QString>> expected{{Wnd().NameBox()->lineEdit(), "Name"},
                                                           {Wnd().IpControl(), "IP address"},
                                                           {Wnd().MacBox(), "MAC address"}};
        for (int n = 0; n < 4; ++n)
            expected.emplace_back(Wnd().IpControl()->Field(n),
                                  QString("IP address, part %1 of 4").arg(n + 1));
        for (const auto& [pWidget, strName] : expected)
            QCOMPARE(QAccessible::queryAccessibleInterface(pWidget)->text(QAccessible::Name),
                     strName);
    }

    // Plain, printable text with the normal cursor over the box while the
    // wait cursor is held. Escape keeps the window open; Enter retries a
    // failed save, but only "Replace" itself replaces a file that could not be read.
    void messageBoxes()
    {
        QString strSeen;
        Wnd().BeginWaitCursor();
        OnNextBox<QMessageBox>([&](QMessageBox* pBox) {
            strSeen = QString("%1|%2|%3")
                          .arg(pBox->text())
                          .arg(pBox->textFormat())
                          .arg(QGuiApplication::overrideCursor()->shape());
            pBox->accept();
        });
        m_messages.MessageBox("Not found! <b>\x1b[2J");
        QCOMPARE(strSeen,
                 QString("Not found! <b>\\x1b[2J|%1|%2").arg(Qt::PlainText).arg(Qt::ArrowCursor));
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

        using EQ = IMessageBox::ESaveQuestion;
        using EC = IMessageBox::ESaveChoice;
        const struct {
            EQ question;
            const char* pszKeys;
            EC expected;
        } cases[] = {
            {EQ::SaveFailed, "Esc", EC::StayOpen},
            {EQ::SaveFailed, "Return", EC::Save},
            {EQ::SaveFailed, "Alt+C", EC::Discard},
            {EQ::ReplaceUnread, "Return", EC::StayOpen},
            {EQ::ReplaceLeftovers, "Esc", EC::StayOpen},
            {EQ::ReplaceChanged, "Return", EC::StayOpen},
            {EQ::ReplaceUnread, "Alt+R", EC::Save}};  // "&Close without saving", "&Replace"
        for (const auto& c : cases) {
            OnNextBox<QMessageBox>(
                [&](QMessageBox* pBox) { QTest::keySequence(pBox, QKeySequence(c.pszKeys)); });
            QCOMPARE(m_messages.AskSave(c.question, "cannot save"), c.expected);
        }
    }

    // "Help" opens the page whatever its path holds ("#", "%").
    void helpOpensThePageByItsPath()
    {
        const QString strPage = QString::fromStdString(Services().strHelpPage);
        QVERIFY(QDir().mkpath(QFileInfo(strPage).path()) &&
                QFile(strPage).open(QIODevice::WriteOnly));
        QDesktopServices::setUrlHandler("file", this, "openUrl");
        QTest::mouseClick(Wnd().Control(IDC_HELP_LINK), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(strPage)});
    }

    // Last: it leaves the display variables changed.
    void displayCheckWantsAReachableDisplayOrAHeadlessPlatform()
    {
        QTemporaryDir dir;
        setenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit().constData(), 1);
        // An empty variable counts as unset.
        const struct {
            const char *pszPlatform, *pszX11, *pszWayland;
            std::string strWhy;
        } cases[] = {{"offscreen", "", "", ""},
                     {"", "", "", "no display (DISPLAY/WAYLAND_DISPLAY unset or unreachable)"},
                     {"xcb", "", "", "no display for QT_QPA_PLATFORM=xcb"},
                     // Nothing listens on display 4711, nor is there a Wayland socket yet.
                     {"", ":4711", "wayland-nuvik-test", "cannot connect to the X display :4711"}};
        for (const auto& c : cases) {
            for (const auto& [pszName, pszValue] : {std::pair{"QT_QPA_PLATFORM", c.pszPlatform},
                                                    {"DISPLAY", c.pszX11},
                                                    {"WAYLAND_DISPLAY", c.pszWayland}})
                setenv(pszName, pszValue, 1);
            QCOMPARE(WhyNoDisplay(),
                     c.strWhy.empty() ? c.strWhy : "cannot open the window: " + c.strWhy);
        }
        // A compositor's socket appears.
        QCOMPARE(
            mknod(dir.filePath("wayland-nuvik-test").toLocal8Bit().constData(), S_IFSOCK | 0600, 0),
            0);
        QCOMPARE(WhyNoDisplay(), std::string());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
