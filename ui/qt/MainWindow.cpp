#include "ui/qt/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <thread>

#include "ui/DialogEvents.h"
#include "ui/Resource.h"
#include "ui/qt/AboutBox.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/IpAddressEdit.h"
#include "ui/qt/NameBox.h"
#include "ui/qt/QtServices.h"
#include "ui/qt/UpperCaseValidator.h"

namespace {

QString FromText(const std::string& strText) { return QString::fromStdString(strText); }

std::string ToText(const QString& strText) { return strText.toStdString(); }

// A mode button: never a tab stop. Qt makes the checked button of an
// exclusive group a tab stop whenever it takes the focus; this undoes it.
class CModeButton : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent* pEvent) override
    {
        QRadioButton::focusInEvent(pEvent);
        KeepOutOfTabChain();
    }
    void checkStateSet() override
    {
        QRadioButton::checkStateSet();
        KeepOutOfTabChain();
    }
    void nextCheckState() override
    {
        QRadioButton::nextCheckState();
        KeepOutOfTabChain();
    }

private:
    void KeepOutOfTabChain()
    {
        if (!group())
            return;
        for (QAbstractButton* pButton : group()->buttons())
            pButton->setFocusPolicy(Qt::ClickFocus);
    }
};

}  // namespace

CMainWindow::CMainWindow(const CWindowRequest& request, QWidget* pParent)
    : QDialog(pParent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_request(request)
    , m_pDialog(request.pDialog)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QString::fromUtf8(request.pszTitle ? request.pszTitle : ""));
    QIcon icon;
    for (int nSize : {16, 32, 48})
        icon.addFile(QStringLiteral(":/nuvik/nuvik-%1.png").arg(nSize), QSize(nSize, nSize));
    setWindowIcon(icon);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
    BuildMenu();
    pLayout->setMenuBar(findChild<QMenuBar*>());
    m_pClient = new QWidget(this);
    m_pClient->setObjectName(QStringLiteral("client"));
    pLayout->addWidget(m_pClient);
    BuildControls();
}

CMainWindow::~CMainWindow()
{
    if (m_nWaitDepth > 0 && QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

QWidget* CMainWindow::AddButton(int nId, const QString& strText, int x, int y, int cx, int cy)
{
    const CDialogUnits du(font());
    auto* pButton = new QPushButton(strText, m_pClient);
    pButton->setGeometry(du.Rect(x, y, cx, cy));
    connect(pButton, &QPushButton::clicked, this, [this, nId] { Route(nId, BN_CLICKED); });
    m_controls[nId] = pButton;
    return pButton;
}

void CMainWindow::BuildControls()
{
    const CDialogUnits du(font());
    m_pClient->setFixedSize(du.Size(196, 95));

    // The frame around the rows; made first so that it lies beneath them.
    auto* pFrame = new QGroupBox(m_pClient);
    pFrame->setObjectName(QStringLiteral("frame"));
    pFrame->setGeometry(du.Rect(6, 0, 185, 71));
    pFrame->setFocusPolicy(Qt::NoFocus);
    pFrame->setAccessibleName(QStringLiteral("Host"));

    // In resource order, which is also the tab order.
    m_ctlName = new CNameBox(m_pClient);
    m_ctlName->setObjectName(QStringLiteral("name"));
    m_ctlName->setGeometry(du.Rect(86, 11, 100, 13));
    // The boxes have no caption of their own (the mode buttons and "MAC"
    // label them), so a screen reader needs their names given.
    m_ctlName->setAccessibleName(QStringLiteral("Name"));
    m_ctlName->lineEdit()->setAccessibleName(QStringLiteral("Name"));
    connect(m_ctlName, &CNameBox::itemPicked, this, [this] { Route(IDC_NAME, CBN_SELCHANGE); });
    connect(m_ctlName, &CNameBox::textEditedByUser, this,
            [this] { Route(IDC_NAME, CBN_EDITUPDATE); });
    m_controls[IDC_NAME] = m_ctlName;

    m_ctlIp = new CIpAddressEdit(m_pClient);
    m_ctlIp->setObjectName(QStringLiteral("ip"));
    m_ctlIp->setGeometry(du.Rect(86, 30, 100, 13));
    m_ctlIp->setAccessibleName(QStringLiteral("IP address"));
    m_controls[IDC_IP] = m_ctlIp;

    AddButton(IDC_LOOKUP, QStringLiteral("MAC"), 15, 49, 32, 13)
        ->setObjectName(QStringLiteral("lookup"));

    m_ctlMac = new QLineEdit(m_pClient);
    m_ctlMac->setObjectName(QStringLiteral("mac"));
    m_ctlMac->setGeometry(du.Rect(86, 49, 100, 13));
    m_ctlMac->setAccessibleName(QStringLiteral("MAC address"));
    m_pMacValidator = new CUpperCaseValidator(m_ctlMac);
    m_ctlMac->setValidator(m_pMacValidator);
    m_controls[IDC_MAC] = m_ctlMac;

    auto* pWake =
        static_cast<QPushButton*>(AddButton(IDC_WAKE, QStringLiteral("OK"), 33, 75, 50, 14));
    pWake->setObjectName(QStringLiteral("wake"));
    pWake->setDefault(true);
    AddButton(IDCANCEL, QStringLiteral("Cancel"), 87, 75, 50, 14)
        ->setObjectName(QStringLiteral("cancel"));
    AddButton(IDC_HELP_LINK, QStringLiteral("Help"), 141, 75, 50, 14)
        ->setObjectName(QStringLiteral("help"));

    // The mode buttons: one exclusive group, reached by Alt+N and Alt+A
    // rather than by Tab. A click checks the button and then sends its
    // command, also when it was checked already.
    m_pModeGroup = new QButtonGroup(this);
    m_pModeGroup->setExclusive(true);
    const auto addMode = [&](int nId, const QString& strText, const QString& strName,
                             const QString& strSpoken, int nWidth) {
        QRadioButton* pButton = new CModeButton(strText, m_pClient);
        pButton->setObjectName(strName);
        pButton->setAccessibleName(strSpoken);
        pButton->setFocusPolicy(Qt::ClickFocus);
        // Wide enough for its text, but never over the box it labels.
        const int nNeeded = pButton->sizeHint().width();
        QRect rc = du.Rect(15, nId == IDC_NAME_MODE ? 12 : 31, nWidth, 10);
        rc.setWidth(std::clamp(nNeeded, rc.width(), du.X(86 - 15 - 1)));
        pButton->setGeometry(rc);
        m_pModeGroup->addButton(pButton, nId);
        connect(pButton, &QRadioButton::clicked, this, [this, nId] { Route(nId, BN_CLICKED); });
        m_controls[nId] = pButton;
        return pButton;
    };
    m_ctlNameMode = addMode(IDC_NAME_MODE, QStringLiteral("&Name"), QStringLiteral("nameMode"),
                            QStringLiteral("By name"), 34);
    m_ctlAddressMode = addMode(IDC_ADDRESS_MODE, QStringLiteral("IP&address:"),
                               QStringLiteral("addressMode"), QStringLiteral("By IP address"), 51);
}

void CMainWindow::BuildMenu()
{
    auto* pBar = new QMenuBar(this);
    pBar->setObjectName(QStringLiteral("menuBar"));
    pBar->setNativeMenuBar(false);
    const auto addCommand = [this](QMenu* pMenu, const QString& strText, int nId) {
        QAction* pAction = pMenu->addAction(strText);
        connect(pAction, &QAction::triggered, this, [this, nId] { Route(nId, BN_CLICKED); });
        m_commands[nId] = pAction;
    };
    QMenu* pFile = pBar->addMenu(QStringLiteral("&File"));
    addCommand(pFile, QStringLiteral("&Add"), ID_ADD_HOST);
    addCommand(pFile, QStringLiteral("&Delete"), ID_DELETE_HOST);
    QMenu* pList = pFile->addMenu(QStringLiteral("&List"));
    addCommand(pList, QStringLiteral("Export"), ID_EXPORT_LIST);
    addCommand(pList, QStringLiteral("Import"), ID_IMPORT_LIST);
    addCommand(pFile, QStringLiteral("&Exit"), ID_EXIT);

    QMenu* pHelp = pBar->addMenu(QStringLiteral("&Help"));
    QAction* pAbout = pHelp->addAction(QString::fromUtf8(IDS_ABOUTBOX));
    connect(pAbout, &QAction::triggered, this, [this] {
        if (m_pDialog && !m_bBlocking)
            m_pDialog->OnSysCommand(IDM_ABOUTBOX);
    });
    m_commands[IDM_ABOUTBOX] = pAbout;
}

void CMainWindow::Route(int nId, int nNotification)
{
    if (m_pDialog && !m_bBlocking && !m_bEnded)
        m_pDialog->OnCommand(nId, nNotification);
}

QWidget* CMainWindow::Control(int nId) const
{
    const auto it = m_controls.find(nId);
    return it == m_controls.end() ? nullptr : it->second;
}

QAction* CMainWindow::MenuCommand(int nId) const
{
    const auto it = m_commands.find(nId);
    return it == m_commands.end() ? nullptr : it->second;
}

void CMainWindow::reject() { Route(IDCANCEL, BN_CLICKED); }

void CMainWindow::closeEvent(QCloseEvent* pEvent)
{
    if (m_bEnded) {
        pEvent->accept();
        return;
    }
    // Only the dialog ends the window; the close box asks it to.
    pEvent->ignore();
    Route(IDCANCEL, BN_CLICKED);
}

void CMainWindow::FocusFirst()
{
    for (QWidget* pWidget = m_ctlName; pWidget;) {
        if (pWidget->isEnabled() && (pWidget->focusPolicy() & Qt::TabFocus)) {
            pWidget->setFocus(Qt::TabFocusReason);
            return;
        }
        pWidget = pWidget->nextInFocusChain();
        if (pWidget == m_ctlName)
            break;
    }
}

int CMainWindow::RunModal(bool bFocusFirst)
{
    if (m_bEnded)
        return m_nResult;
    adjustSize();
    if (const QScreen* pScreen = QGuiApplication::primaryScreen()) {
        QRect rc(QPoint(0, 0), size());
        rc.moveCenter(pScreen->availableGeometry().center());
        move(rc.topLeft());
    }
    if (bFocusFirst)
        FocusFirst();
    m_bInLoop = true;
    exec();
    m_bInLoop = false;
    return m_nResult;
}

std::string CMainWindow::GetWindowText(int nId)
{
    if (nId == IDC_NAME)
        return m_ctlName->EditBytes();
    if (nId == IDC_IP)
        return ToText(m_ctlIp->Text());
    if (nId == IDC_MAC)
        return ToText(m_ctlMac->text());
    if (const auto* pButton = qobject_cast<QAbstractButton*>(Control(nId)))
        return ToText(pButton->text());
    return {};
}

void CMainWindow::SetWindowText(int nId, const std::string& strText)
{
    const QString text = FromText(strText);
    if (nId == IDC_NAME) {
        m_ctlName->SetEditText(CNameBox::ShownText(strText));
    } else if (nId == IDC_IP) {
        if (m_ctlIp->IsBlank() ? !text.isEmpty() : m_ctlIp->Text() != text)
            m_ctlIp->SetText(text);
    } else if (nId == IDC_MAC) {
        // Nothing routes from this box; its validator follows textChanged.
        if (m_ctlMac->text() != text)
            m_pMacValidator->SetText(text);
    } else if (auto* pButton = qobject_cast<QAbstractButton*>(Control(nId))) {
        pButton->setText(text);
    }
}

void CMainWindow::EnableWindow(int nId, bool bEnable)
{
    if (QWidget* pWidget = Control(nId))
        pWidget->setEnabled(bEnable);
}

bool CMainWindow::IsWindowEnabled(int nId)
{
    const QWidget* pWidget = Control(nId);
    return pWidget && pWidget->isEnabled();
}

void CMainWindow::GotoDlgCtrl(int nId)
{
    QWidget* pWidget = Control(nId);
    if (!pWidget)
        return;
    pWidget->setFocus(Qt::OtherFocusReason);
    // An edit field that takes the focus this way has its text selected.
    if (nId == IDC_NAME || nId == IDC_IP || nId == IDC_MAC)
        SelectAll(nId);
}

void CMainWindow::SelectAll(int nId)
{
    if (nId == IDC_NAME)
        m_ctlName->lineEdit()->selectAll();
    else if (nId == IDC_IP)
        m_ctlIp->Field(0)->selectAll();
    else if (nId == IDC_MAC)
        m_ctlMac->selectAll();
}

void CMainWindow::LimitText(int nId, int nChars)
{
    if (nId == IDC_MAC)
        m_pMacValidator->SetLimit(nChars);
    else if (nId == IDC_NAME)
        m_ctlName->lineEdit()->setMaxLength(nChars > 0 ? nChars : 32767);
}

void CMainWindow::CheckRadioButton(int nFirst, int nLast, int nCheck)
{
    const bool bInRange = nCheck >= nFirst && nCheck <= nLast;
    m_pModeGroup->setExclusive(false);
    for (QAbstractButton* pButton : m_pModeGroup->buttons()) {
        const int nId = m_pModeGroup->id(pButton);
        if (nId < nFirst || nId > nLast)
            continue;
        const QSignalBlocker block(pButton);
        pButton->setChecked(bInRange && nId == nCheck);
    }
    m_pModeGroup->setExclusive(true);
}

int CMainWindow::AddString(const std::string& strItem) { return m_ctlName->AddSorted(strItem); }

void CMainWindow::AddStrings(const std::vector<std::string>& items) { m_ctlName->AddSorted(items); }

void CMainWindow::ResetContent() { m_ctlName->ResetContent(); }

int CMainWindow::GetCurSel()
{
    const int nSel = m_ctlName->CurSel();
    return nSel < 0 ? CB_ERR : nSel;
}

void CMainWindow::DeleteString(int nIndex) { m_ctlName->DeleteAt(nIndex); }

int CMainWindow::GetCount() { return m_ctlName->count(); }

std::string CMainWindow::GetLBText(int nIndex) { return m_ctlName->ItemBytes(nIndex); }

void CMainWindow::ClearAddress() { m_ctlIp->Clear(); }

void CMainWindow::SetAddress(uint32_t dwAddress) { m_ctlIp->SetAddress(dwAddress); }

uint32_t CMainWindow::GetAddress() { return m_ctlIp->Address(); }

void CMainWindow::EndDialog(int nResult)
{
    m_nResult = nResult;
    m_bEnded = true;
    if (m_bInLoop)
        done(nResult);
}

void CMainWindow::BeginWaitCursor()
{
    if (m_nWaitDepth++ == 0)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void CMainWindow::RestoreWaitCursor()
{
    if (m_nWaitDepth == 0)
        return;
    if (!QGuiApplication::overrideCursor())
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QGuiApplication::overrideCursor()->shape() != Qt::WaitCursor)
        QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
}

void CMainWindow::EndWaitCursor()
{
    if (m_nWaitDepth == 0)
        return;
    if (--m_nWaitDepth == 0 && QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void CMainWindow::RunAboutBox()
{
    CAboutBox box(QString::fromUtf8(m_request.pszVersion ? m_request.pszVersion : ""), this);
    box.exec();
}

bool CMainWindow::OpenLocalFile(const std::string& strPath)
{
    // A "#" or "%" in a path is part of the file name, not of a URL.
    return QDesktopServices::openUrl(
        QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(strPath))));
}

void CMainWindow::RunBlocking(const std::function<void()>& work)
{
    QEventLoop loop;
    std::exception_ptr pFailure;
    const bool bWasBlocking = m_bBlocking;
    m_bBlocking = true;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            pFailure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // Repaints go on; clicks and keys wait until the work is done.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    m_bBlocking = bWasBlocking;
    if (pFailure)
        std::rethrow_exception(pFailure);
}

int RunMainWindow(const CWindowRequest& request)
{
    CMainWindow window(request);
    CQtMessageBox messages(&window,
                           QString::fromUtf8(request.pszAppName ? request.pszAppName : "nuvik"));
    CQtFileChooser files(&window);
    IDialogEvents* pDialog = request.pDialog;
    pDialog->AttachWindow(&window, &messages, &files);
    int nResult = 0;
    try {
        const bool bFocusFirst = pDialog->OnInitDialog();
        nResult = window.RunModal(bFocusFirst);
    } catch (...) {
        pDialog->AttachWindow(nullptr, nullptr, nullptr);
        throw;
    }
    pDialog->AttachWindow(nullptr, nullptr, nullptr);
    return nResult;
}
