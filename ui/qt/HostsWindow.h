#pragma once
// The hosts window: every host of the address book in a table with its live
// state, the hosts a scan found beside them, and the actions on the selected
// rows, each in the toolbar, the menu and on a key. The hosts book (the
// core's side) does the work; this window shows it and hands it the user's
// commands. What the book tells from its workers comes over to the window's
// thread through queued calls.
#include <QElapsedTimer>
#include <QMainWindow>

#include <atomic>

#include "ui/HostsEvents.h"
#include "ui/WindowModule.h"

class CHostsModel;
class CHostsFilter;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTableView;
class QTimer;
class IMessageBox;

class CHostsWindow : public QMainWindow, public IHostsView {
    Q_OBJECT
public:
    CHostsWindow(IHostsEvents& hosts, const QString& strTitle, QWidget* pParent = nullptr);

    // The actions, by name ("wake", "wait", "scan", "add", "edit", "delete",
    // "copy", "filter", "close").
    QAction* Action(const char* pszName) const;
    QTableView* Table() const { return m_pTable; }
    QLineEdit* FilterBox() const { return m_pFilter; }
    CHostsModel* Model() const { return m_pModel; }
    QString StatusLine() const;
    // The ids of the selected rows, in the table's order.
    std::vector<uint64_t> SelectedIds() const;

    // IHostsView, from any thread.
    void RowsChanged() override;
    void Say(const std::string& strLine) override;
    void HostUp(const std::string& strName, const std::string& strLine) override;
    void ScanProgress(size_t nDone, size_t nAll, size_t nFound, bool bEnded) override;

signals:
    void Closed();

public slots:
    void Reload();  // the rows again, the selection kept
    void OnWake(bool bWait);
    void OnScan();
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnCopy();
    void OnEscape();

protected:
    void showEvent(QShowEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    QAction* AddAction(const char* pszName, const QString& strText, const QKeySequence& keys,
                       void (CHostsWindow::*pfnSlot)());
    void Notify(const QString& strSummary, const QString& strBody);
    void BuildTable();
    void BuildActions();
    void BuildStatusBar();

    IHostsEvents& m_hosts;
    CHostsModel* m_pModel = nullptr;
    CHostsFilter* m_pProxy = nullptr;  // sorts and filters m_pModel for m_pTable
    QTableView* m_pTable = nullptr;
    QLineEdit* m_pFilter = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QTimer* m_pClock = nullptr;
    static constexpr int kReloadMs = 250;
    QElapsedTimer m_reloaded;  // since the last reload
    std::atomic<bool> m_bReloadDue = false;
    bool m_bScanning = false;
};

// Builds the window for a request, attaches it to the hosts book, runs it
// until it is closed, and detaches again. Needs a QApplication.
int RunHostsWindow(const CHostsRequest& request);
