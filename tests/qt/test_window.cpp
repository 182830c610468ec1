// The window's controls and its routing of commands, against a dialog
// object that only records.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
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

using Ids = std::vector<std::pair<int, int>>;

namespace {

// Types each character into whichever widget has the focus at that moment.
void TypeIntoFocus(const QString& strKeys)
{
    for (const QChar ch : strKeys)
        QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
}

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT

    CRecordingDialog m_dialog;
    CWindowRequest m_request;
    std::unique_ptr<CMainWindow> m_pWindow;

    CMainWindow& Wnd() { return *m_pWindow; }

private slots:
    void init()
    {
        m_dialog = CRecordingDialog();
        m_request.pDialog = &m_dialog;
        m_request.pszAppName = "nuvik";
        m_request.pszTitle = "NUVIK 1.0.3";
        m_request.pszVersion = "1.0.3";
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
        QCOMPARE(pMac->text(), QString("00A0C9-FFEE1"));
        QCOMPARE(Wnd().GetWindowText(IDC_MAC), std::string("00A0C9-FFEE1"));

        // A longer text put in by the program stays, and can be shortened.
        Wnd().SetWindowText(IDC_MAC, "00112233445566");
        QCOMPARE(Wnd().GetWindowText(IDC_MAC), std::string("00112233445566"));
        pMac->end(false);
        QTest::keyClick(pMac, Qt::Key_Backspace);
        QCOMPARE(pMac->text(), QString("0011223344556"));
        QTest::keyClick(pMac, Qt::Key_7);
        QCOMPARE(pMac->text(), QString("0011223344556"));
        QVERIFY(m_dialog.commands.empty());
    }

    void nameBoxSortsWithoutRegardToCase()
    {
        Wnd().SetWindowText(IDC_NAME, "typed");
        QCOMPARE(Wnd().AddString("beta"), 0);
        QCOMPARE(Wnd().AddString("Gamma"), 1);
        QCOMPARE(Wnd().AddString("alpha"), 0);
        QCOMPARE(Wnd().AddString("BETA2"), 2);
        QCOMPARE(Wnd().AddString("delta"), 3);
        QCOMPARE(Wnd().AddString(""), 0);
        std::vector<std::string> items;
        for (int n = 0; n < Wnd().GetCount(); ++n)
            items.push_back(Wnd().GetLBText(n));
        QCOMPARE(items, (std::vector<std::string>{"", "alpha", "beta", "BETA2", "delta", "Gamma"}));
        // Adding never changes the text nor selects anything.
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("typed"));
        QCOMPARE(Wnd().GetCurSel(), CB_ERR);
        QCOMPARE(Wnd().GetLBText(6), std::string());

        Wnd().DeleteString(2);
        QCOMPARE(Wnd().GetCount(), 5);
        QCOMPARE(Wnd().GetLBText(2), std::string("BETA2"));
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("typed"));

        Wnd().ResetContent();
        QCOMPARE(Wnd().GetCount(), 0);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string());
        QVERIFY(m_dialog.commands.empty());
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
        Wnd().CheckRadioButton(IDC_NAME_MODE, IDC_ADDRESS_MODE, IDC_NAME_MODE);
        Wnd().EnableWindow(IDC_NAME, false);
        Wnd().EnableWindow(IDC_NAME, true);
        Wnd().DeleteString(0);
        Wnd().ResetContent();
        Wnd().GotoDlgCtrl(IDC_NAME);
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
        QCOMPARE(m_dialog.Ids(), (Ids{{IDC_NAME, CBN_EDITUPDATE}, {IDC_NAME, CBN_EDITUPDATE}, {IDC_NAME, CBN_EDITUPDATE}}));
        QCOMPARE(m_dialog.commands.back().strName, std::string("alp"));
        // No completion: the text is what was typed.
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("alp"));

        // Setting the same text back (a refresh) keeps the caret in place.
        pName->lineEdit()->setCursorPosition(1);
        Wnd().SetWindowText(IDC_NAME, "alp");
        QCOMPARE(pName->lineEdit()->cursorPosition(), 1);

        // Names longer than the field can be typed.
        const std::string strLong(120, 'x');
        Wnd().SetWindowText(IDC_NAME, "");
        QTest::keyClicks(pName, QString::fromStdString(strLong));
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), strLong);
    }

    void pickingFromTheListShowsTheItemBeforeTheCommand()
    {
        Wnd().AddString("beta");
        Wnd().AddString("alpha");
        CNameBox* pName = Wnd().NameBox();
        pName->setFocus();
        QTest::keyClick(pName, Qt::Key_Down);
        QCOMPARE(m_dialog.Ids(), (Ids{{IDC_NAME, CBN_SELCHANGE}}));
        QCOMPARE(m_dialog.commands[0].strName, std::string("alpha"));
        QCOMPARE(m_dialog.commands[0].nCurSel, 0);

        // Through the drop-down list.
        pName->showPopup();
        QAbstractItemView* pView = pName->view();
        QVERIFY(QTest::qWaitForWindowExposed(pView->window()));
        pView->setCurrentIndex(pView->model()->index(1, 0));
        QTest::keyClick(pView, Qt::Key_Return);
        QCOMPARE(m_dialog.commands.size(), size_t(2));
        QCOMPARE(m_dialog.commands[1].nId, IDC_NAME);
        QCOMPARE(m_dialog.commands[1].nNotification, CBN_SELCHANGE);
        QCOMPARE(m_dialog.commands[1].strName, std::string("beta"));
        QCOMPARE(m_dialog.commands[1].nCurSel, 1);

        // Typing away from the item leaves nothing selected.
        QTest::keyClick(pName, Qt::Key_2);
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("beta2"));
        QCOMPARE(Wnd().GetCurSel(), CB_ERR);
    }

    void enterPressesOkAndTheWindowStaysOpen()
    {
        Wnd().AddString("alpha");
        CNameBox* pName = Wnd().NameBox();
        pName->setFocus();
        // A typed text equal to an item is not a pick.
        QTest::keyClicks(pName, "ALPHA");
        m_dialog.commands.clear();
        QTest::keyClick(pName, Qt::Key_Return);
        QCOMPARE(m_dialog.Ids(), (Ids{{IDC_WAKE, BN_CLICKED}}));
        QCOMPARE(Wnd().GetWindowText(IDC_NAME), std::string("ALPHA"));

        // Leaving the field does not pick the matching item either.
        Wnd().MacBox()->setFocus();
        QTest::keyClick(Wnd().MacBox(), Qt::Key_Enter);
        QTest::keyClick(Wnd().IpControl()->Field(2), Qt::Key_Return);
        QCOMPARE(m_dialog.Ids(), (Ids{{IDC_WAKE, BN_CLICKED}, {IDC_WAKE, BN_CLICKED}, {IDC_WAKE, BN_CLICKED}}));
        QVERIFY(Wnd().isVisible());
        QVERIFY(!Wnd().IsEnded());
    }

    void escapeAndTheCloseBoxAskTheDialog()
    {
        QTest::keyClick(Wnd().MacBox(), Qt::Key_Escape);
        QVERIFY(Wnd().isVisible());
        QVERIFY(!Wnd().close());
        QVERIFY(Wnd().isVisible());
        QCOMPARE(m_dialog.Ids(), (Ids{{IDCANCEL, BN_CLICKED}, {IDCANCEL, BN_CLICKED}}));
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
        QCOMPARE(Wnd().MenuCommand(IDM_ABOUTBOX)->text(), QString("&About nuvik..."));
    }

    void menuHasTheFileAndHelpMenus()
    {
        QStringList titles;
        for (QAction* pAction : Wnd().findChild<QMenuBar*>()->actions())
            titles << pAction->text();
        QCOMPARE(titles, (QStringList{"&File", "&Help"}));
        QMenu* pFile = Wnd().findChild<QMenuBar*>()->actions()[0]->menu();
        QStringList items;
        for (QAction* pAction : pFile->actions())
            items << pAction->text();
        QCOMPARE(items, (QStringList{"&Add", "&Delete", "&List", "&Exit"}));
        QStringList list;
        for (QAction* pAction : pFile->actions()[2]->menu()->actions())
            list << pAction->text();
        QCOMPARE(list, (QStringList{"Export", "Import"}));
    }

    void modeButtonsCheckThenSendEvenWhenChecked()
    {
        Wnd().CheckRadioButton(IDC_NAME_MODE, IDC_ADDRESS_MODE, IDC_NAME_MODE);
        auto* pName = Wnd().findChild<QRadioButton*>("nameMode");
        auto* pAddress = Wnd().findChild<QRadioButton*>("addressMode");
        bool bCheckedAtCommand = false;
        m_dialog.onCommand = [&](int nId, int) {
            if (nId == IDC_ADDRESS_MODE)
                bCheckedAtCommand = pAddress->isChecked() && !pName->isChecked();
        };
        QTest::mouseClick(pAddress, Qt::LeftButton);
        QVERIFY(bCheckedAtCommand);
        QTest::mouseClick(pAddress, Qt::LeftButton);
        QVERIFY(pAddress->isChecked());
        QTest::keyClick(&Wnd(), Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(m_dialog.commands.size(), size_t(3));
        QCOMPARE(m_dialog.Ids(), (Ids{{IDC_ADDRESS_MODE, 0}, {IDC_ADDRESS_MODE, 0}, {IDC_NAME_MODE, 0}}));
        QVERIFY(pName->isChecked() && !pAddress->isChecked());
        // Not reached by Tab.
        QVERIFY(!(pName->focusPolicy() & Qt::TabFocus));
        QVERIFY(!(pAddress->focusPolicy() & Qt::TabFocus));
    }

    void enableAndTabOrder()
    {
        Wnd().EnableWindow(IDC_IP, false);
        QVERIFY(!Wnd().IsWindowEnabled(IDC_IP));
        QVERIFY(!Wnd().IpControl()->Field(3)->isEnabled());
        QVERIFY(Wnd().IsWindowEnabled(IDC_NAME));
        Wnd().GotoDlgCtrl(IDC_NAME);
        QVERIFY(Wnd().NameBox()->hasFocus() || Wnd().NameBox()->lineEdit()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_LOOKUP));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_MAC));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_WAKE));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDCANCEL));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_HELP_LINK));

        Wnd().EnableWindow(IDC_NAME, false);
        Wnd().EnableWindow(IDC_IP, true);
        Wnd().GotoDlgCtrl(IDC_IP);
        QCOMPARE(QApplication::focusWidget(), Wnd().IpControl()->Field(0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Wnd().Control(IDC_LOOKUP));
    }

    void ipControlExchangesTextAndValue()
    {
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("0.0.0.0"));
        QCOMPARE(Wnd().GetAddress(), 0u);
        Wnd().SetAddress(0xC0A80007);
        QCOMPARE(Wnd().GetWindowText(IDC_IP), std::string("192.168.0.7"));
        Wnd().SetWindowText(IDC_IP, "10.1.2.254");
        QCOMPARE(Wnd().GetAddress(), 0x0A0102FEu);
        QCOMPARE(Wnd().IpControl()->Field(3)->text(), QString("254"));
        Wnd().SetWindowText(IDC_IP, "10.1.2");
        QVERIFY(Wnd().IpControl()->IsBlank());
        Wnd().SetWindowText(IDC_IP, "1.2.3.256");
        QVERIFY(Wnd().IpControl()->IsBlank());
        Wnd().SetAddress(0xFFFFFFFF);
        Wnd().SetWindowText(IDC_IP, "");
        QVERIFY(Wnd().IpControl()->IsBlank());
        QCOMPARE(Wnd().GetAddress(), 0u);
        Wnd().SetWindowText(IDC_IP, "0.0.0.0");
        QVERIFY(!Wnd().IpControl()->IsBlank());
        Wnd().ClearAddress();
        QVERIFY(Wnd().IpControl()->IsBlank());

        // One blank field reads as 0.
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
        QVERIFY(m_dialog.commands.empty());
    }

    void aboutBoxIsModalAndFreshEachTime()
    {
        for (int nRun = 0; nRun < 2; ++nRun) {
            QString strTitle, strVersion, strCopyright;
            bool bModal = false;
            QTimer::singleShot(0, [&] {
                QWidget* pBox = QApplication::activeModalWidget();
                QVERIFY(pBox);
                bModal = pBox != m_pWindow.get();
                strTitle = pBox->windowTitle();
                strVersion = pBox->findChild<QLabel*>("version")->text();
                strCopyright = pBox->findChild<QLabel*>("copyright")->text();
                auto* pOk = pBox->findChild<QPushButton*>("ok");
                QVERIFY(pOk->isDefault());
                QVERIFY(pOk->geometry().right() < pBox->width());
                QTest::keyClick(pBox, Qt::Key_Return);
            });
            Wnd().RunAboutBox();
            QVERIFY(bModal);
            QCOMPARE(strTitle, QString("About NUVIK"));
            QCOMPARE(strVersion, QString("NUVIK version 1.0.3"));
            QVERIFY(strCopyright.startsWith("Copyright"));
        }
        QVERIFY(!QApplication::activeModalWidget() || QApplication::activeModalWidget() == m_pWindow.get());
    }

    void messageBoxIsAModalWarning()
    {
        CQtMessageBoxProbe();
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

    void waitCursor()
    {
        Wnd().BeginWaitCursor();
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QGuiApplication::changeOverrideCursor(Qt::ArrowCursor);
        Wnd().RestoreWaitCursor();
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        Wnd().EndWaitCursor();
        QVERIFY(!QGuiApplication::overrideCursor());
        Wnd().EndWaitCursor();  // unbalanced: harmless
        Wnd().RestoreWaitCursor();
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void layoutFollowsDialogUnits()
    {
        QCOMPARE(Wnd().windowTitle(), QString("NUVIK 1.0.3"));
        QVERIFY(!Wnd().windowIcon().isNull());
        QVERIFY(!(Wnd().windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(Wnd().windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(Wnd().minimumSize(), Wnd().maximumSize());
        // Rows line up, buttons share a row, and everything fits.
        const QRect rcName = Wnd().Control(IDC_NAME)->geometry();
        const QRect rcIp = Wnd().Control(IDC_IP)->geometry();
        const QRect rcMac = Wnd().Control(IDC_MAC)->geometry();
        QCOMPARE(rcName.left(), rcIp.left());
        QCOMPARE(rcIp.left(), rcMac.left());
        QCOMPARE(rcName.width(), rcMac.width());
        QVERIFY(rcName.bottom() < rcIp.top() && rcIp.bottom() < rcMac.top());
        QCOMPARE(Wnd().Control(IDC_WAKE)->y(), Wnd().Control(IDC_HELP_LINK)->y());
        const QWidget* pClient = Wnd().findChild<QWidget*>("client");
        for (int nId : {IDC_NAME, IDC_IP, IDC_MAC, IDC_WAKE, IDCANCEL, IDC_HELP_LINK, IDC_NAME_MODE, IDC_ADDRESS_MODE})
            QVERIFY(pClient->rect().contains(Wnd().Control(nId)->geometry()));
        QVERIFY(Wnd().Control(IDC_ADDRESS_MODE)->geometry().right() < rcIp.left());
        // The menu bar sits above the dialog area.
        QVERIFY(Wnd().findChild<QMenuBar*>()->geometry().bottom() < pClient->y() + 1);
    }

private:
    void CQtMessageBoxProbe();
};

#include "ui/qt/QtServices.h"
#include <QMessageBox>

void TestWindow::CQtMessageBoxProbe()
{
    CQtMessageBox messages(m_pWindow.get(), "nuvik");
    QString strCaption, strText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(pBox);
        strCaption = pBox->windowTitle();
        strText = pBox->text();
        icon = pBox->icon();
        QTest::keyClick(pBox, Qt::Key_Return);
    });
    messages.MessageBox("Not found!");
    QCOMPARE(strCaption, QString("nuvik"));
    QCOMPARE(strText, QString("Not found!"));
    QCOMPARE(icon, QMessageBox::Warning);

    // Escape keeps the window open; the other two answers are theirs.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QCOMPARE(messages.AskSaveFailed("cannot save"), IMessageBox::ESaveChoice::StayOpen);
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    QCOMPARE(messages.AskSaveFailed("cannot save"), IMessageBox::ESaveChoice::Retry);
    QTimer::singleShot(0, [] {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        for (QAbstractButton* pButton : pBox->buttons())
            if (pButton->text().contains("without"))
                pButton->click();
    });
    QCOMPARE(messages.AskSaveFailed("cannot save"), IMessageBox::ESaveChoice::Discard);
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
