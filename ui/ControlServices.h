#pragma once
// The boundary between the main dialog's logic and its window. The dialog's
// handlers reach their controls only through this interface; the Qt window
// implements it, and the tests use a fake.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class IControlServices {
public:
    virtual ~IControlServices() = default;

    // Text of a control: the name box's edit field (IDC_NAME), the IP address
    // control in dotted form (IDC_IP; blank fields read as 0), the hardware
    // address box (IDC_MAC).
    virtual std::string GetWindowText(int nId) = 0;
    virtual void SetWindowText(int nId, const std::string& strText) = 0;

    virtual void EnableWindow(int nId, bool bEnable) = 0;
    virtual bool IsWindowEnabled(int nId) = 0;
    virtual void GotoDlgCtrl(int nId) = 0;  // focus
    virtual void SelectAll(int nId) = 0;    // whole text selected
    virtual void LimitText(int nId, int nChars) = 0;
    virtual void CheckRadioButton(int nFirst, int nLast, int nCheck) = 0;

    // The name box's list. It keeps itself sorted without regard to case;
    // items that compare equal stay in the order they were added. An item's
    // text is kept byte for byte, also when it is not UTF-8.
    virtual int AddString(const std::string& strItem) = 0;  // index it took
    // Adds many items at once, each in its sorted place, as AddString would
    // one after the other.
    virtual void AddStrings(const std::vector<std::string>& items) = 0;
    virtual void ResetContent() = 0;  // list and field emptied
    virtual int GetCurSel() = 0;      // CB_ERR when none
    virtual void DeleteString(int nIndex) = 0;
    virtual int GetCount() = 0;
    virtual std::string GetLBText(int nIndex) = 0;

    // The IP address control, as a 32-bit address in host order (first
    // dotted field in the top byte).
    virtual void ClearAddress() = 0;
    virtual void SetAddress(uint32_t dwAddress) = 0;
    virtual uint32_t GetAddress() = 0;

    // The window as a whole.
    virtual void EndDialog(int nResult) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void RestoreWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    virtual void RunAboutBox() = 0;  // modal, fresh each time
    // Opens a local file (a path, any bytes) with the desktop's opener.
    virtual bool OpenLocalFile(const std::string& strPath) = 0;

    // Runs blocking work off the user-interface thread; the window keeps
    // repainting but takes no input until it is done. Returns when it is.
    virtual void RunBlocking(const std::function<void()>& work) = 0;
};
