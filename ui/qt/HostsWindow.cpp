#include "ui/qt/HostsWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <set>

#include "ui/qt/EditHostDialog.h"
#include "ui/qt/HostsModel.h"
#include "ui/qt/QtServices.h"

namespace {

QString Text(const std::string& str)
{
    return QString::fromUtf8(str.data(), qsizetype(str.size()));
}

}  // namespace

CHostsWindow::CHostsWindow(IHostsEvents& hosts, const QString& strTitle, QWidget* pParent)
    : QMainWindow(pParent)
    , m_hosts(hosts)
{
    setWindowTitle(strTitle + QStringLiteral(" \u2014 ") + Text(hosts.BookPath()));
    m_pModel = new CHostsModel(this);
    m_pProxy = new CHostsFilter(this);
    m_pProxy->setSourceModel(m_pModel);

    BuildTable();
    BuildActions();
    BuildStatusBar();

    // Once a second: another program's change of the book, and the texts
    // that count time.
    m_pClock = new QTimer(this);
    connect(m_pClock, &QTimer::timeout, this, [this] {
        m_hosts.CheckBook();
        m_pModel->Tick(m_hosts.NowMs());
        m_pTable->viewport()->update();
    });
    m_pClock->start(1000);
    resize(760, 480);
}

// The filter box above the table of hosts.
void CHostsWindow::BuildTable()
{
    m_pFilter = new QLineEdit(this);
    m_pFilter->setPlaceholderText(tr("Filter (Ctrl+F): any column"));
    m_pFilter->setAccessibleName(tr("Filter"));
    m_pFilter->setClearButtonEnabled(true);
    for (QToolButton* pButton : m_pFilter->findChildren<QToolButton*>())
        pButton->setAccessibleName(tr("Clear the filter"));
    connect(m_pFilter, &QLineEdit::textChanged, m_pProxy, &CHostsFilter::SetText);

    m_pTable = new QTableView(this);
    m_pTable->setAccessibleName(tr("Hosts"));
    m_pTable->setModel(m_pProxy);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // book order at first
    m_pTable->setSortingEnabled(true);
    m_pTable->verticalHeader()->hide();
    m_pTable->setWordWrap(false);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setTabKeyNavigation(false);  // Tab leaves the table, as everywhere else

    auto* pCentre = new QWidget(this);
    auto* pLayout = new QVBoxLayout(pCentre);
    pLayout->addWidget(m_pFilter);
    pLayout->addWidget(m_pTable);
    setCentralWidget(pCentre);
}

// Each action in the toolbar, the menu and on its key.
void CHostsWindow::BuildActions()
{
    QToolBar* pTools = addToolBar(tr("Actions"));
    pTools->setMovable(false);
    if (auto* pMore = pTools->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        pMore->setAccessibleName(tr("More actions"));  // when the window is too narrow
    pTools->setObjectName(QStringLiteral("actions"));
    QMenu* pMenu = menuBar()->addMenu(tr("&Host"));
    // bTable: its key works in the table only (the filter box keeps Enter,
    // Delete and Ctrl+C for its text).
    const auto Add = [&](const char* pszName, const QString& strText, const QKeySequence& keys,
                         void (CHostsWindow::*pfnSlot)(), bool bTable, bool bTool = true) {
        QAction* pAction = AddAction(pszName, strText, keys, pfnSlot);
        pAction->setShortcutContext(bTable ? Qt::WidgetWithChildrenShortcut : Qt::WindowShortcut);
        (bTable ? static_cast<QWidget*>(m_pTable) : this)->addAction(pAction);
        pMenu->addAction(pAction);
        if (bTool)
            pTools->addAction(pAction);
    };
    Add("wake", tr("&Wake"), Qt::Key_Return, nullptr, true);
    Add("wait", tr("Wake and &wait"), QKeySequence(Qt::CTRL | Qt::Key_Return), nullptr, false);
    Add("scan", tr("&Scan the network"), QKeySequence(Qt::Key_F5), &CHostsWindow::OnScan, false);
    Add("add", tr("&Add to book"), QKeySequence(Qt::Key_Insert), &CHostsWindow::OnAdd, true);
    Add("edit", tr("&Edit..."), QKeySequence(Qt::Key_F2), &CHostsWindow::OnEdit, true);
    Add("delete", tr("&Delete..."), QKeySequence::Delete, &CHostsWindow::OnDelete, true);
    Add("copy", tr("&Copy hardware address"), QKeySequence::Copy, &CHostsWindow::OnCopy, true);
    pMenu->addSeparator();
    Add("filter", tr("&Filter"), QKeySequence::Find, nullptr, false, false);
    Add("cancel", tr("Cancel the scan"), QKeySequence(Qt::Key_Escape), &CHostsWindow::OnEscape,
        false, false);
    Add("close", tr("Cl&ose"), QKeySequence::Close, nullptr, false, false);
    connect(Action("wake"), &QAction::triggered, this, [this] { OnWake(false); });
    connect(Action("wait"), &QAction::triggered, this, [this] { OnWake(true); });
    connect(Action("filter"), &QAction::triggered, this, [this] {
        m_pFilter->setFocus(Qt::ShortcutFocusReason);
        m_pFilter->selectAll();
    });
    connect(Action("close"), &QAction::triggered, this, &QWidget::close);
    // Enter in the filter box goes to the rows it left, the first picked
    // when none of them is.
    connect(m_pFilter, &QLineEdit::returnPressed, m_pTable, [this] {
        if (m_pTable->selectionModel()->selectedRows().isEmpty() && m_pProxy->rowCount() > 0)
            m_pTable->selectRow(0);
        m_pTable->setFocus();
    });
}

// One line of what happened, and the scan's progress.
void CHostsWindow::BuildStatusBar()
{
    m_pStatus = new QLabel(this);
    // No name of its own: a screen reader reads (and is told of) each line.
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pProgress = new QProgressBar(this);
    m_pProgress->setAccessibleName(tr("Scan progress"));
    m_pProgress->setMaximumWidth(200);
    m_pProgress->hide();
    statusBar()->setSizeGripEnabled(false);  // nothing a screen reader could name
    statusBar()->addWidget(m_pStatus, 1);
    statusBar()->addPermanentWidget(m_pProgress);
}

QAction* CHostsWindow::AddAction(const char* pszName, const QString& strText,
                                 const QKeySequence& keys, void (CHostsWindow::*pfnSlot)())
{
    auto* pAction = new QAction(strText, this);
    pAction->setObjectName(QString::fromLatin1(pszName));
    pAction->setShortcut(keys);
    pAction->setToolTip(
        QString(strText).remove('&').remove(QStringLiteral("...")) +
        (keys.isEmpty() ? QString()
                        : QStringLiteral(" (%1)").arg(keys.toString(QKeySequence::NativeText))));
    if (pfnSlot)
        connect(pAction, &QAction::triggered, this, pfnSlot);
    return pAction;
}

QAction* CHostsWindow::Action(const char* pszName) const
{
    return findChild<QAction*>(QString::fromLatin1(pszName), Qt::FindDirectChildrenOnly);
}

QString CHostsWindow::StatusLine() const { return m_pStatus->text(); }

std::vector<uint64_t> CHostsWindow::SelectedIds() const
{
    std::vector<uint64_t> ids;
    QModelIndexList rows = m_pTable->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        ids.push_back(index.data(CHostsModel::kIdRole).toULongLong());
    return ids;
}

void CHostsWindow::RowsChanged()
{
    if (!m_bReloadDue.exchange(true))
        QMetaObject::invokeMethod(this, &CHostsWindow::Reload, Qt::QueuedConnection);
}

void CHostsWindow::Reload()
{
    // At most four times a second: a large book's rows change all the time
    // while it is probed.
    if (m_reloaded.isValid() && m_reloaded.elapsed() < kReloadMs) {
        QTimer::singleShot(kReloadMs - int(m_reloaded.elapsed()), this, &CHostsWindow::Reload);
        return;
    }
    m_reloaded.start();
    m_bReloadDue = false;
    const std::vector<uint64_t> selected = SelectedIds();
    const QModelIndex current = m_pTable->currentIndex();
    const qulonglong nCurrent = current.data(CHostsModel::kIdRole).toULongLong();
    const int nColumn = current.isValid() ? current.column() : 0;
    const int nRowsBefore = m_pModel->rowCount();
    m_pModel->SetRows(m_hosts.Rows(), m_hosts.NowMs());
    if (m_pModel->rowCount() == nRowsBefore && !m_pTable->selectionModel()->selectedRows().empty())
        return;  // the same hosts: the selection stayed
    const std::set<uint64_t> keep(selected.begin(), selected.end());
    QItemSelection selection;
    for (int i = 0; i < m_pProxy->rowCount(); ++i) {
        const QModelIndex index = m_pProxy->index(i, 0);
        const qulonglong nId = index.data(CHostsModel::kIdRole).toULongLong();
        if (keep.count(nId))
            selection.select(index, m_pProxy->index(i, CHostsModel::ColumnCount - 1));
        if (nId == nCurrent)
            m_pTable->selectionModel()->setCurrentIndex(m_pProxy->index(i, nColumn),
                                                        QItemSelectionModel::NoUpdate);
    }
    m_pTable->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void CHostsWindow::Say(const std::string& strLine)
{
    QMetaObject::invokeMethod(
        this, [this, strText = Text(strLine)] { m_pStatus->setText(strText); },
        Qt::QueuedConnection);
}

void CHostsWindow::HostUp(const std::string& strName, const std::string& strLine)
{
    QMetaObject::invokeMethod(
        this,
        [this, strName = Text(strName), strLine = Text(strLine)] {
            if (!isActiveWindow())
                Notify(tr("%1 is up").arg(strName), strLine);
        },
        Qt::QueuedConnection);
}

void CHostsWindow::ScanProgress(size_t nDone, size_t nAll, size_t nFound, bool bEnded)
{
    QMetaObject::invokeMethod(
        this,
        [=, this] {
            m_bScanning = !bEnded;
            m_pProgress->setVisible(!bEnded);
            if (bEnded)
                return;
            m_pProgress->setRange(0, int(nAll));
            m_pProgress->setValue(int(nDone));
            m_pStatus->setText(tr("Scanning: %1 of %2 addresses, %3 found (Escape cancels)")
                                   .arg(nDone)
                                   .arg(nAll)
                                   .arg(nFound));
        },
        Qt::QueuedConnection);
}

// The session's notification service; nothing when there is none.
void CHostsWindow::Notify(const QString& strSummary, const QString& strBody)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QApplication::applicationName() << 0u << QStringLiteral("nuvik") << strSummary
         << strBody << QStringList() << QVariantMap() << -1;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}

void CHostsWindow::OnWake(bool bWait)
{
    const std::vector<uint64_t> ids = SelectedIds();
    if (ids.empty())
        return m_pStatus->setText(tr("Select the hosts to wake first."));
    m_hosts.Wake(ids, bWait);
}

void CHostsWindow::OnScan() { m_hosts.StartScan(); }

void CHostsWindow::OnAdd()
{
    const std::vector<uint64_t> ids = SelectedIds();
    if (ids.empty())
        return m_pStatus->setText(tr("Select the new hosts to add first."));
    m_hosts.Add(ids);
}

void CHostsWindow::OnEdit()
{
    const QModelIndex current = m_pTable->currentIndex();
    const CHostRow* pRow = m_pModel->RowOf(m_pProxy->mapToSource(current));
    if (!pRow)
        return m_pStatus->setText(tr("Select the host to edit first."));
    CEditHostDialog(this, m_hosts, *pRow).exec();
}

void CHostsWindow::OnDelete()
{
    const std::vector<uint64_t> ids = SelectedIds();
    if (ids.empty())
        return m_pStatus->setText(tr("Select the hosts to delete first."));
    const QString strWhat = ids.size() == 1
        ? m_pTable->selectionModel()->selectedRows(CHostsModel::Name).value(0).data().toString()
        : tr("%1 hosts").arg(ids.size());
    if (QMessageBox::question(this, tr("Delete"),
                              tr("Delete %1 from the address book?").arg(strWhat)) ==
        QMessageBox::Yes)
        m_hosts.Delete(ids);
}

void CHostsWindow::OnCopy()
{
    QStringList macs;
    for (const QModelIndex& index : m_pTable->selectionModel()->selectedRows(CHostsModel::Hardware))
        macs << index.data().toString();
    if (macs.isEmpty())
        return m_pStatus->setText(tr("Select a host first."));
    QApplication::clipboard()->setText(macs.join('\n'));
    m_pStatus->setText(tr("Copied: %1").arg(macs.join(QStringLiteral(", "))));
}

void CHostsWindow::OnEscape()
{
    if (m_bScanning)
        return m_hosts.CancelScan();
    if (!m_pFilter->text().isEmpty())
        m_pFilter->clear();
}

void CHostsWindow::showEvent(QShowEvent* pEvent)
{
    QMainWindow::showEvent(pEvent);
    m_hosts.SetShown(true);
}

void CHostsWindow::hideEvent(QHideEvent* pEvent)
{
    QMainWindow::hideEvent(pEvent);
    m_hosts.SetShown(false);
}

void CHostsWindow::changeEvent(QEvent* pEvent)
{
    QMainWindow::changeEvent(pEvent);
    if (pEvent->type() == QEvent::WindowStateChange)
        m_hosts.SetShown(!isMinimized());
}

void CHostsWindow::closeEvent(QCloseEvent* pEvent)
{
    m_hosts.CancelScan();
    QMainWindow::closeEvent(pEvent);
    emit Closed();
}

int RunHostsWindow(const CHostsRequest& request)
{
    CHostsWindow window(*request.pHosts, QString::fromUtf8(request.pszTitle));
    CQtMessageBox messages(&window,
                           QString::fromUtf8(request.pszAppName ? request.pszAppName : "nuvik"));
    request.pHosts->Attach(&window, &messages);
    window.Reload();
    // Wide enough for the book's texts (its first thousand rows) and for
    // the widest a scan or a probe may bring.
    window.Table()->resizeColumnsToContents();
    QHeaderView* pHeader = window.Table()->horizontalHeader();
    const QFontMetrics metrics = window.Table()->fontMetrics();
    for (const auto& [nColumn, pszWidest] : {std::pair{CHostsModel::Name, "10.100.100.100 (new)"},
                                             {CHostsModel::Hardware, "00:00:00:00:00:00"},
                                             {CHostsModel::State, "up (neighbour)"}})
        pHeader->resizeSection(
            nColumn,
            std::max(pHeader->sectionSize(nColumn), metrics.horizontalAdvance(pszWidest) + 24));
    window.show();
    window.Table()->setFocus();
    if (window.Model()->rowCount() > 0)
        window.Table()->selectRow(0);
    QEventLoop loop;
    QObject::connect(&window, &CHostsWindow::Closed, &loop, &QEventLoop::quit);
    loop.exec();
    request.pHosts->Attach(nullptr, nullptr);
    return 0;
}
