// The window's controls and its routing of commands, against a dialog
// object that only records.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>

#include "RecordingDialog.h"
#include "ui/qt/IpAddressEdit.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/NameBox.h"
#include "ui/qt/QtServices.h"

using Ids = std::vector<std::pair<int, int>>;
using Commands = std::vector<CRecordingDialog::CCommand>;

namespace {

// Types each character into whichever widget has the focus at that moment.
void TypeIntoFocus(const QString& strKeys)
{
    for (const QChar ch : strKeys)
        QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
}

// Acts on the next message box once it is up.
void OnNextBox(const std::function<void(QMessageBox*)>& act)
{
    QTimer::singleShot(0, [act] { act(qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); });
}

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT

    CRecordingDialog m_dialog;
    CWindowRequest m_request;
    std::unique_ptr<CMainWindow> m_pWindow;

    QList<QUrl> m_openedUrls;

    CMainWindow& Wnd() { return *m_pWindow; }

public slots:
    // Stands in for the desktop's opener of files.
    void openUrl(const QUrl& url) { m_openedUrls << url; }

private slots:
    void init()
    {
        m_dialog = CRecordingDialog();
        m_request.pDialog = &m_dialog;
        m_pWindow = std::make_unique<CMainWindow>(m_request);
        m_dialog.AttachWindow(m_pWindow.get(), nullptr, nullptr);
        Wnd().LimitText(IDC_MAC, 12);
        Wnd().show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    }
    void cleanup() { m_pWindow.reset(); }

    void macBoxTypesUpperCaseAndStopsAtTwelve()
    {
        QLineEdit* pMac = Wnd().MacBox();
        pMac->setFocus();
        QTest::keyClicks(pMac, "00a0c9-ffee1d9");
        QCOMPARE(Wnd().GetWindowText(IDC_MAC), std::string("00A0C9-FFEE1"));
        // A longer text put in by the program stays; typing can only shorten it.
        Wnd().SetWindowText(IDC_MAC, "00112233445566");
        QCOMPARE(Wnd().GetWindowText(IDC_MAC), std::string("00112233445566"));
        pMac->end(false);
        QTest::keyClick(pMac, Qt::Key_Backspace);
        QTest::keyClick(pMac, Qt::Key_7);
        QCOMPARE(pMac->text(), QString("0011223344556"));
        // A paste keeps what fits where it goes, the rest is cut off.
        for (const auto& [pszBefore, nCaret, pszPasted, pszAfter] :
             {std::tuple{"", 0, "0a1b2c3d4e5f ", "0A1B2C3D4E5F"}, {"0011", 2, "aabbccddeeff", "00AABBCCDD11"}}) {
            pMac->setText(pszBefore);
            pMac->setCursorPosition(nCaret);
            QGuiApplication::clipboard()->setText(pszPasted);
            QTest::keyClick(pMac, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(pMac->text(), QString(pszAfter));
        }
    }

    void nameBoxSortsWithoutRegardToCase()
    {
        Wnd().SetWindowText(IDC_NAME, "typed");
        QCOMPARE(Wnd().AddString("beta"), 0);
        QCOMPARE(Wnd().AddString("Gamma"), 1);
        QCOMPARE(Wnd().AddString("alpha"), 0);
        QCOMPARE(Wnd().AddString("BETA2"), 2);
        QCOMPARE(Wnd().AddString(""), 0);
        // Picked "beta"; a batch then goes in as one by one would: equal
        // items after those already there and in the order given.
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        QTest::keyClick(Wnd().NameBox(), Qt::Key_Down);
        Wnd().AddStrings({"ALPHA", "gamma", "alpha", "Beta", "0"});
        std::vector<std::string> items;
        for (int n = 0; n <= Wnd().GetCount(); ++n)
            items.push_back(Wnd().GetLBText(n));
        QCOMPARE(items, (std::vector<std::string>{"", "0", "alpha", "ALPHA", "alpha", "beta", "Beta", "BETA2", "Gamma",
                                                  "gamma", ""}));
        QCOMPARE(Wnd().GetCurSel(), 5);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("beta"));

        Wnd().DeleteString(2);
        QCOMPARE(Wnd().GetLBText(2), std::string("ALPHA"));
        QCOMPARE(Wnd().GetCurSel(), 4);
        Wnd().ResetContent();
        QCOMPARE(Wnd().GetCount(), 0);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string());
        // Adding neither changes the text nor selects anything.
        Wnd().SetWindowText(IDC_NAME, "typed");
        Wnd().AddStrings({"x", "y"});
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("typed"));
        QCOMPARE(Wnd().GetCurSel(), CB_ERR);
    }

    void programmaticChangesSendNoCommand()
    {
        Wnd().AddString("alpha");
        Wnd().AddString("beta");
        Wnd().SetWindowText(IDC_NAME, "alpha");
        Wnd().SetWindowText(IDC_IP, "10.0.0.1");
        Wnd().SetWindowText(IDC_MAC, "001122334455");
        Wnd().SetAddress(0x0A000002);
        Wnd().ClearAddress();
        Wnd().CheckRadioButton(IDC_NAME_MODE, IDC_ADDRESS_MODE, IDC_ADDRESS_MODE);
        Wnd().EnableWindow(IDC_NAME, false);
        Wnd().DeleteString(0);
        Wnd().ResetContent();
        Wnd().GotoDlgCtrl(IDC_MAC);
        QCoreApplication::processEvents();
        QVERIFY(m_dialog.commands.empty());
    }

    void typingInTheNameBoxSendsEditUpdates()
    {
        Wnd().AddString("alpha");
        CNameBox* pName = Wnd().NameBox();
        pName->setFocus();
        QTest::keyClicks(pName, "alp");
        QCOMPARE(m_dialog.Ids(), Ids(3, {IDC_NAME, CBN_EDITUPDATE}));
        // No completion: the text is what was typed.
        QCOMPARE(m_dialog.commands.back().strName, std::string("alp"));
        // Setting the same text back (a refresh) keeps the caret in place.
        pName->lineEdit()->setCursorPosition(1);
        Wnd().SetWindowText(IDC_NAME, "alp");
        QCOMPARE(pName->lineEdit()->cursorPosition(), 1);
    }

    void pickingFromTheListShowsTheItemBeforeTheCommand()
    {
        Wnd().AddString("beta");
        Wnd().AddString("alpha");
        CNameBox* pName = Wnd().NameBox();
        pName->setFocus();
        QTest::keyClick(pName, Qt::Key_Down);
        QTest::keyClick(pName, Qt::Key_Down);
        QCOMPARE(m_dialog.commands, (Commands{{IDC_NAME, CBN_SELCHANGE, "alpha", 0}, {IDC_NAME, CBN_SELCHANGE, "beta", 1}}));

        // Typing away from the item leaves nothing selected.
        QTest::keyClick(pName, Qt::Key_2);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("beta2"));
        QCOMPARE(Wnd().GetCurSel(), CB_ERR);
    }

    void enterPressesWakeAndTheWindowStaysOpen()
    {
        Wnd().AddString("alpha");
        CNameBox* pName = Wnd().NameBox();
        pName->setFocus();
        // A typed text equal to an item is not a pick, not even on leaving the field.
        QTest::keyClicks(pName, "ALPHA");
        m_dialog.commands.clear();
        QTest::keyClick(pName, Qt::Key_Return);
        Wnd().MacBox()->setFocus();
        QTest::keyClick(Wnd().MacBox(), Qt::Key_Enter);
        QTest::keyClick(Wnd().IpControl()->Field(2), Qt::Key_Return);
        QCOMPARE(m_dialog.Ids(), Ids(3, {IDC_WAKE, BN_CLICKED}));
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("ALPHA"));
        QVERIFY(Wnd().isVisible() && !Wnd().IsEnded());
    }

    void escapeAndTheCloseBoxAskTheDialog()
    {
        QTest::keyClick(Wnd().MacBox(), Qt::Key_Escape);
        QVERIFY(!Wnd().close());
        QVERIFY(Wnd().isVisible());
        QCOMPARE(m_dialog.Ids(), Ids(2, {IDCANCEL, BN_CLICKED}));
    }

    void buttonsAndMenuCommandsCarryTheirIds()
    {
        for (const char* pszName : {"lookup", "wake", "cancel", "help"})
            QTest::mouseClick(Wnd().findChild<QPushButton*>(pszName), Qt::LeftButton);
        for (int nId : {ID_ADD_HOST, ID_DELETE_HOST, ID_EXPORT_LIST, ID_IMPORT_LIST, ID_EXIT})
            Wnd().MenuCommand(nId)->trigger();
        QCOMPARE(m_dialog.Ids(), (Ids{{IDC_LOOKUP, 0}, {IDC_WAKE, 0}, {IDCANCEL, 0}, {IDC_HELP_LINK, 0},
                                      {ID_ADD_HOST, 0}, {ID_DELETE_HOST, 0}, {ID_EXPORT_LIST, 0},
                                      {ID_IMPORT_LIST, 0}, {ID_EXIT, 0}}));
        Wnd().MenuCommand(IDM_ABOUTBOX)->trigger();
        QCOMPARE(m_dialog.sysCommands, std::vector<int>{IDM_ABOUTBOX});
    }

    void modeButtonsAreCheckedBeforeTheySendAndSendEvenWhenChecked()
    {
        auto* pName = Wnd().findChild<QRadioButton*>("nameMode");
        auto* pAddress = Wnd().findChild<QRadioButton*>("addressMode");
        Wnd().CheckRadioButton(IDC_NAME_MODE, IDC_ADDRESS_MODE, IDC_NAME_MODE);
        std::vector<bool> checkedAtCommand;
        m_dialog.onCommand = [&](int, int) { checkedAtCommand.push_back(pAddress->isChecked() && !pName->isChecked()); };
        QTest::mouseClick(pAddress, Qt::LeftButton);
        QTest::mouseClick(pAddress, Qt::LeftButton);
        QCOMPARE(m_dialog.Ids(), Ids(2, {IDC_ADDRESS_MODE, BN_CLICKED}));
        QCOMPARE(checkedAtCommand, std::vector<bool>(2, true));
        // Reached by their mnemonics, not by Tab.
        QVERIFY(!(pName->focusPolicy() & Qt::TabFocus) && !(pAddress->focusPolicy() & Qt::TabFocus));
    }

    void tabSkipsTheDisabledBox()
    {
        Wnd().EnableWindow(IDC_IP, false);
        QVERIFY(!Wnd().IpControl()->Field(3)->isEnabled());
        Wnd().GotoDlgCtrl(IDC_NAME);
        for (int nId : {IDC_LOOKUP, IDC_MAC, IDC_WAKE, IDCANCEL, IDC_HELP_LINK}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), Wnd().Control(nId));
        }
        Wnd().EnableWindow(IDC_NAME, false);
        Wnd().EnableWindow(IDC_IP, true);
        Wnd().GotoDlgCtrl(IDC_IP);
        QCOMPARE(QApplication::focusWidget(), Wnd().IpControl()->Field(0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_LOOKUP));
        // The control is one stop for Shift+Tab too, from any of its fields:
        // with the name box disabled the stop before it is "Help".
        Wnd().IpControl()->Field(2)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_HELP_LINK));
    }

    void ipControlExchangesTextAndValue()
    {
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("0.0.0.0"));
        QCOMPARE(Wnd().GetAddress(), 0u);
        Wnd().SetAddress(0xC0A80007);
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.7"));
        Wnd().SetWindowText(IDC_IP, "10.1.2.254");
        QCOMPARE(Wnd().GetAddress(), 0x0A0102FEu);
        for (const char* pszBlanking : {"10.1.2", "1.2.3.256", ""}) {
            Wnd().SetAddress(0xFFFFFFFF);
            Wnd().SetWindowText(IDC_IP, pszBlanking);
            QVERIFY2(Wnd().IpControl()->IsBlank(), pszBlanking);
        }
        QCOMPARE(Wnd().GetAddress(), 0u);
        Wnd().SetWindowText(IDC_IP, "0.0.0.0");
        QVERIFY(!Wnd().IpControl()->IsBlank());
        Wnd().ClearAddress();
        QVERIFY(Wnd().IpControl()->IsBlank());
        // A blank field reads as 0.
        Wnd().IpControl()->Field(0)->setText("172");
        Wnd().IpControl()->Field(3)->setText("9");
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("172.0.0.9"));
        QCOMPARE(Wnd().GetAddress(), 0xAC000009u);
    }

    void ipControlTyping()
    {
        CIpAddressEdit* pIp = Wnd().IpControl();
        Wnd().GotoDlgCtrl(IDC_IP);
        // "." and a third digit move on; a number above 255 becomes 255.
        TypeIntoFocus("192.16");
        QCOMPARE(QApplication::focusWidget(), pIp->Field(1));
        TypeIntoFocus("8");
        QCOMPARE(QApplication::focusWidget(), pIp->Field(2));
        TypeIntoFocus("0.300x");
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.255"));
        // Backspace in an empty field goes back.
        pIp->Field(3)->clear();
        pIp->Field(3)->setFocus();
        QTest::keyClick(pIp->Field(3), Qt::Key_Backspace);
        QCOMPARE(QApplication::focusWidget(), pIp->Field(2));
    }

    void messageBoxesAreModalWarnings()
    {
        CQtMessageBox messages(m_pWindow.get(), "nuvik");
        QString strSeen;
        OnNextBox([&](QMessageBox* pBox) {
            strSeen = QString("%1|%2|%3|%4").arg(pBox->windowTitle(), pBox->text()).arg(pBox->icon()).arg(pBox->textFormat());
            QTest::keyClick(pBox, Qt::Key_Return);
        });
        messages.MessageBox("Not found! <b>\x1b[2J");  // shown as plain, printable text
        QCOMPARE(strSeen, QString("nuvik|Not found! <b>\\x1b[2J|%1|%2").arg(QMessageBox::Warning).arg(Qt::PlainText));

        // Escape keeps the window open; Enter retries a failed save, but
        // only the button replaces a file that could not be read.
        using EQ = IMessageBox::ESaveQuestion;
        using EC = IMessageBox::ESaveChoice;
        const struct {
            EQ question;
            const char* pszAnswer;  // a key, or a button's text
            EC expected;
        } cases[] = {
            {EQ::SaveFailed, "Escape", EC::StayOpen},       {EQ::SaveFailed, "Return", EC::Save},
            {EQ::SaveFailed, "without", EC::Discard},       {EQ::ReplaceUnread, "Return", EC::StayOpen},
            {EQ::ReplaceUnread, "Escape", EC::StayOpen},    {EQ::ReplaceUnread, "Replace", EC::Save},
        };
        for (const auto& c : cases) {
            OnNextBox([&](QMessageBox* pBox) {
                if (QString(c.pszAnswer) == "Escape" || QString(c.pszAnswer) == "Return")
                    QTest::keyClick(pBox, QString(c.pszAnswer) == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
                for (QAbstractButton* pButton : pBox->buttons())
                    if (pButton->text().contains(c.pszAnswer))
                        pButton->click();
            });
            QCOMPARE(messages.AskSave(c.question, "cannot save"), c.expected);
        }
    }

    void runBlockingRunsOffTheWindowThreadAndWaits()
    {
        std::atomic<bool> bDone = false;
        std::thread::id worker;
        Wnd().RunBlocking([&] {
            worker = std::this_thread::get_id();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            bDone = true;
        });
        QVERIFY(bDone);
        QVERIFY(worker != std::this_thread::get_id());

        // A command arriving while the work runs is not routed.
        Wnd().RunBlocking([&] {
            QMetaObject::invokeMethod(Wnd().Control(IDC_WAKE), "click", Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
        QVERIFY(m_dialog.commands.empty());

        QVERIFY_THROWS_EXCEPTION(std::runtime_error, Wnd().RunBlocking([] { throw std::runtime_error("x"); }));
    }

    void waitCursorComesBackOnRestoreUntilEndedAndLeavesMessageBoxesAlone()
    {
        Wnd().BeginWaitCursor();
        QVERIFY(QGuiApplication::overrideCursor());
        QGuiApplication::changeOverrideCursor(Qt::ArrowCursor);
        Wnd().RestoreWaitCursor();
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        Qt::CursorShape shapeOverBox = Qt::WaitCursor;
        OnNextBox([&](QMessageBox* pBox) {
            shapeOverBox = QGuiApplication::overrideCursor()->shape();
            QTest::keyClick(pBox, Qt::Key_Return);
        });
        CQtMessageBox(m_pWindow.get(), "nuvik").MessageBox("Not found!");
        QCOMPARE(shapeOverBox, Qt::ArrowCursor);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        Wnd().EndWaitCursor();
        Wnd().EndWaitCursor();  // unbalanced: harmless
        Wnd().RestoreWaitCursor();
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void exportReplacesAFileWithoutAsking()
    {
        QTemporaryDir dir;
        const QString strPath = dir.filePath("hosts.ini");
        QVERIFY(QFile(strPath).open(QIODevice::WriteOnly));
        bool bAsked = false;
        QTimer::singleShot(0, [&] {
            auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            OnNextBox([&](QMessageBox* pBox) {
                bAsked = pBox != nullptr;
                if (pBox)
                    pBox->button(QMessageBox::Yes)->click();
            });
            pDialog->selectFile(strPath);
            static_cast<QDialog*>(pDialog)->accept();  // as the dialog's Save button does
        });
        CFileDialogRequest request;
        request.bOpen = false;
        QCOMPARE(CQtFileChooser(m_pWindow.get()).ChooseFile(request), std::optional(strPath.toStdString()));
        QVERIFY(!bAsked);
    }

    void helpOpensTheFileWhateverItsPathHolds()
    {
        QDesktopServices::setUrlHandler("file", this, "openUrl");
        Wnd().OpenLocalFile("/opt/a#b/100%41/help.html");
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(m_openedUrls.size(), 1);
        QCOMPARE(m_openedUrls[0].toLocalFile(), QString("/opt/a#b/100%41/help.html"));
    }

    void everyControlHasAnAccessibleName()
    {
        std::vector<std::pair<QWidget*, QString>> expected{
            {Wnd().NameBox()->lineEdit(), "Name"}, {Wnd().IpControl(), "IP address"},
            {Wnd().MacBox(), "MAC address"}, {Wnd().Control(IDC_NAME_MODE), "By name"},
            {Wnd().Control(IDC_ADDRESS_MODE), "By IP address"}, {Wnd().Control(IDC_LOOKUP), "MAC"},
            {Wnd().Control(IDC_WAKE), "OK"}, {Wnd().Control(IDCANCEL), "Cancel"}, {Wnd().Control(IDC_HELP_LINK), "Help"},
            {Wnd().findChild<QWidget*>("frame"), "Host"}};
        for (int n = 0; n < 4; ++n)
            expected.emplace_back(Wnd().IpControl()->Field(n), QString("IP address, part %1 of 4").arg(n + 1));
        for (const auto& [pWidget, strName] : expected)
            QCOMPARE(QAccessible::queryAccessibleInterface(pWidget)->text(QAccessible::Name), strName);
    }

    void fixedSizeWithEveryControlInside()
    {
        QCOMPARE(Wnd().minimumSize(), Wnd().maximumSize());
        const QWidget* pClient = Wnd().findChild<QWidget*>("client");
        QVERIFY(Wnd().findChild<QMenuBar*>()->geometry().bottom() < pClient->y() + 1);
        for (int nId : {IDC_NAME, IDC_IP, IDC_MAC, IDC_WAKE, IDCANCEL, IDC_HELP_LINK, IDC_NAME_MODE, IDC_ADDRESS_MODE})
            QVERIFY(pClient->rect().contains(Wnd().Control(nId)->geometry()));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
