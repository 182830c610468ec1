// The window on Qt's offscreen platform, with the real dialog object behind
// it: what the headless dialog tests cannot see (the real controls and
// message boxes).
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <netdb.h>

#include <fstream>

#include "hosts/FileSystem.h"
#include "net/Resolver.h"
#include "net/SocketLayer.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/NameBox.h"
#include "ui/qt/QtServices.h"

namespace {

// Keeps every datagram; none leaves.
struct CKeptSockets : ISocketLayer {
    QByteArrayList sent;
    int Socket(int, int, int, int& h) override { return h = 7, 0; }
    int SetSockOpt(int, int, int, const void*, socklen_t) override { return 0; }
    int Bind(int, const sockaddr_in&) override { return 0; }
    int GetSockName(int, sockaddr_in&) override { return 0; }
    int SendTo(int, const void* p, size_t n, const sockaddr_in&, unsigned, size_t& nSent) override
    {
        sent << QByteArray(static_cast<const char*>(p), static_cast<qsizetype>(n));
        return nSent = n, 0;
    }
    int Close(int) override { return 0; }
};

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
    CKeptSockets m_sockets;
    CSlowResolver m_resolver;
    CPosixFileSystem m_fileSystem;
    CProfileName m_profile;
    std::unique_ptr<CNUVIKDlg> m_pDlg;
    std::unique_ptr<CMainWindow> m_pWindow;
    CQtMessageBox m_messages{nullptr, "nuvik"};
    CQtFileChooser m_files{nullptr};

    CMainWindow& Wnd() { return *m_pWindow; }
    CDlgServices Services()
    {
        const std::string strHelp = m_dir.filePath("help.html").toStdString();
        return {&m_sockets, nullptr, &m_profile, &m_fileSystem, strHelp, &m_resolver};
    }

private slots:
    // As the module shows it, without the modal loop.
    void init()
    {
        m_profile = {"nuvik.INI", false, m_dir.path().toStdString()};
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

    // The picked item stays picked while others go in before it, one by one
    // or in a batch, also one that sorts alike.
    void nameBoxKeepsThePickAndIsolatesDirectionControls()
    {
        Wnd().NameBox()->setCurrentIndex(2);  // Alpha, Büro, nas
        QCOMPARE(Wnd().AddString("c"), 2);
        Wnd().AddStrings({"NAS"});
        QCOMPARE(Wnd().GetLBText(Wnd().GetCurSel()), std::string("nas"));
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
        QCOMPARE(Wnd().NameBox()->model()->index(0, 0).data(Qt::DisplayRole).toString(),
                 QString("Alpha"));
        Wnd().NameBox()->setCurrentIndex(nAt);
        QCOMPARE((std::pair(Wnd().NameBox()->EditText(), Wnd().GetLBText(nAt))),
                 (std::pair(QString::fromStdString(strName), strName)));
    }

    // The edited text stays through changes of the list, UTF-8 as typed; a
    // selection lasts while the field shows its item, and goes with it, also
    // beside an item that shows alike (UTF-8 and Latin-1 "Büro").
    void nameBoxKeepsTheTextAndOnlyATrueSelection()
    {
        CNameBox* pName = Wnd().NameBox();
        pName->ResetContent();
        pName->SetEditText(QString::fromUtf8("日本"));
        Wnd().AddString("B\xC3\xBCro");
        Wnd().AddString("B\xFCro");
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("日本"));
        pName->setCurrentIndex(0);
        QCOMPARE(Wnd().GetCurSel(), 0);
        pName->lineEdit()->setText("x");
        QCOMPARE(Wnd().GetCurSel(), CB_ERR);
        pName->setCurrentIndex(0);
        Wnd().DeleteString(0);
        QCOMPARE((std::pair(Wnd().GetCurSel(), Wnd().GetWindowText(IDC_NAME))),
                 (std::pair(CB_ERR, std::string("B\xC3\xBCro"))));
    }

    // A pick fills the other boxes, with a name that is not UTF-8 shown as
    // Latin-1; Enter wakes the host and the window stays; Delete removes it.
    void pickWakeAndDelete()
    {
        CNameBox* pName = Wnd().NameBox();
        pName->setFocus();
        QTest::keyClick(pName, Qt::Key_Down);
        QTest::keyClick(pName, Qt::Key_Return);
        QCOMPARE(m_sockets.sent.size(), 1);
        QCOMPARE(m_sockets.sent[0].mid(96).toHex(), "00a0c9ffee1d");
        QVERIFY(Wnd().isVisible() && !Wnd().IsEnded());
        QTest::keyClick(pName, Qt::Key_Down);
        QCOMPARE(pName->EditText(), QString::fromLatin1("B\xFCro"));
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("10.0.0.3"));
        QCOMPARE(Wnd().MacBox()->text(), QString("0A0B0C0D0E0F"));
        Wnd().MenuCommand(ID_DELETE_HOST)->trigger();
        QCOMPARE(m_pDlg->m_hosts.GetCount(), 2u);
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

    // The IP address control shows the address's bytes in their order.
    void ipControlShowsTheAddress()
    {
        Wnd().SetAddress(0xC0A80007);
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.7"));
    }

    // Plain, printable text. Escape and Enter keep the window open: only
    // "Replace" itself replaces a file that could not be read.
    void messageBoxes()
    {
        QString strSeen;
        OnNextBox<QMessageBox>([&](QMessageBox* pBox) {
            strSeen = QString("%1|%2").arg(pBox->text()).arg(pBox->textFormat());
            pBox->accept();
        });
        m_messages.MessageBox("Not found! <b>\x1b[2J");
        QCOMPARE(strSeen, QString("Not found! <b>\\x1b[2J|%1").arg(Qt::PlainText));

        using EQ = IMessageBox::ESaveQuestion;
        using EC = IMessageBox::ESaveChoice;
        const struct {
            EQ question;
            const char* pszKeys;
            EC expected;
        } cases[] = {{EQ::SaveFailed, "Esc", EC::StayOpen},
                     {EQ::ReplaceUnread, "Return", EC::StayOpen},
                     {EQ::ReplaceLeftovers, "Esc", EC::StayOpen},
                     {EQ::ReplaceChanged, "Return", EC::StayOpen},
                     {EQ::ReplaceUnread, "Alt+R", EC::Save}};  // "&Replace"
        for (const auto& c : cases) {
            OnNextBox<QMessageBox>(
                [&](QMessageBox* pBox) { QTest::keySequence(pBox, QKeySequence(c.pszKeys)); });
            QCOMPARE(m_messages.AskSave(c.question, "cannot save"), c.expected);
        }
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
