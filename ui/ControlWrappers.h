#pragma once
// Thin wrappers for the name box and the IP address control: they forward
// to the window's control services once attached by the data exchange.
#include <cstdint>
#include <string>
#include <vector>

class IControlServices;

class CComboBox {
public:
    void Attach(IControlServices* pControls) { m_pControls = pControls; }
    bool IsAttached() const { return m_pControls != nullptr; }

    int AddString(const std::string& strItem);
    void AddStrings(const std::vector<std::string>& items);
    void ResetContent();
    int GetCurSel();
    void DeleteString(int nIndex);
    int GetCount();
    std::string GetLBText(int nIndex);

private:
    IControlServices* m_pControls = nullptr;
};

class CIPAddressCtrl {
public:
    void Attach(IControlServices* pControls) { m_pControls = pControls; }
    bool IsAttached() const { return m_pControls != nullptr; }

    void ClearAddress();
    void SetAddress(uint32_t dwAddress);  // host order
    uint32_t GetAddress();                // host order; blank fields read 0

private:
    IControlServices* m_pControls = nullptr;
};
