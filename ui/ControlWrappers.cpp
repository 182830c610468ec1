#include "ui/ControlWrappers.h"

#include "ui/ControlServices.h"
#include "ui/Resource.h"

int CComboBox::AddString(const std::string& strItem)
{
    return m_pControls ? m_pControls->AddString(strItem) : CB_ERR;
}

void CComboBox::AddStrings(const std::vector<std::string>& items)
{
    if (m_pControls)
        m_pControls->AddStrings(items);
}

void CComboBox::ResetContent()
{
    if (m_pControls)
        m_pControls->ResetContent();
}

int CComboBox::GetCurSel() { return m_pControls ? m_pControls->GetCurSel() : CB_ERR; }

void CComboBox::DeleteString(int nIndex)
{
    if (m_pControls)
        m_pControls->DeleteString(nIndex);
}

int CComboBox::GetCount() { return m_pControls ? m_pControls->GetCount() : 0; }

std::string CComboBox::GetLBText(int nIndex)
{
    return m_pControls ? m_pControls->GetLBText(nIndex) : std::string();
}

void CIPAddressCtrl::ClearAddress()
{
    if (m_pControls)
        m_pControls->ClearAddress();
}

void CIPAddressCtrl::SetAddress(uint32_t dwAddress)
{
    if (m_pControls)
        m_pControls->SetAddress(dwAddress);
}

uint32_t CIPAddressCtrl::GetAddress() { return m_pControls ? m_pControls->GetAddress() : 0; }
