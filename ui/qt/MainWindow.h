#pragma once
// The main dialog's window. It owns the controls and the menu, lays them out
// in dialog units, and hands every user command to the dialog object by
// control id and notification code. The dialog object reaches the controls
// back through IControlServices.
#include <QDialog>

#include <map>

#include "ui/ControlServices.h"
#include "ui/WindowModule.h"

class IDialogEvents;
class CNameBox;
class CIpAddressEdit;
class CUpperCaseValidator;
class QAction;
class QButtonGroup;
class QLineEdit;
class QRadioButton;

class CMainWindow : public QDialog, public IControlServices {
    Q_OBJECT
public:
    explicit CMainWindow(const CWindowRequest& request, QWidget* pParent = nullptr);
    ~CMainWindow() override;

    // Shows the window centred on the screen and runs its modal loop until
    // EndDialog. bFocusFirst: the first control that takes the focus gets it.
    int RunModal(bool bFocusFirst);
    bool IsEnded() const { return m_bEnded; }

    QWidget* Control(int nId) const;
    QAction* MenuCommand(int nId) const;
    CNameBox* NameBox() const { return m_ctlName; }
    CIpAddressEdit* IpControl() const { return m_ctlIp; }
    QLineEdit* MacBox() const { return m_ctlMac; }

    // IControlServices
    std::string GetWindowText(int nId) override;
    void SetWindowText(int nId, const std::string& strText) override;
    void EnableWindow(int nId, bool bEnable) override;
    bool IsWindowEnabled(int nId) override;
    void GotoDlgCtrl(int nId) override;
    void SelectAll(int nId) override;
    void LimitText(int nId, int nChars) override;
    void CheckRadioButton(int nFirst, int nLast, int nCheck) override;
    int AddString(const std::string& strItem) override;
    void AddStrings(const std::vector<std::string>& items) override;
    void ResetContent() override;
    int GetCurSel() override;
    void DeleteString(int nIndex) override;
    int GetCount() override;
    std::string GetLBText(int nIndex) override;
    void ClearAddress() override;
    void SetAddress(uint32_t dwAddress) override;
    uint32_t GetAddress() override;
    void EndDialog(int nResult) override;
    void BeginWaitCursor() override;
    void RestoreWaitCursor() override;
    void EndWaitCursor() override;
    void RunAboutBox() override;
    bool OpenLocalFile(const std::string& strPath) override;
    void RunBlocking(const std::function<void()>& work) override;

public slots:
    // Escape and the Cancel path: routed, never closes by itself.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void BuildControls();
    void BuildMenu();
    void Route(int nId, int nNotification);
    QWidget* AddButton(int nId, const QString& strText, int x, int y, int cx, int cy);
    void FocusFirst();

    CWindowRequest m_request;
    IDialogEvents* m_pDialog = nullptr;

    CNameBox* m_ctlName = nullptr;
    CIpAddressEdit* m_ctlIp = nullptr;
    QLineEdit* m_ctlMac = nullptr;
    CUpperCaseValidator* m_pMacValidator = nullptr;
    QRadioButton* m_ctlNameMode = nullptr;
    QRadioButton* m_ctlAddressMode = nullptr;
    QButtonGroup* m_pModeGroup = nullptr;
    QWidget* m_pClient = nullptr;
    std::map<int, QWidget*> m_controls;
    std::map<int, QAction*> m_commands;

    bool m_bInLoop = false;
    bool m_bEnded = false;
    bool m_bBlocking = false;
    int m_nResult = 0;
    int m_nWaitDepth = 0;
};

// Builds the window for a request, attaches it to the dialog object, runs
// the dialog's initialisation and the modal loop, and detaches again.
// Needs a QApplication. Returns the dialog's result.
int RunMainWindow(const CWindowRequest& request);
