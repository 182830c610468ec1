// The host editing commands of the main dialog: add, delete, pick and type
// a name; import and export of the address book.
#include <arpa/inet.h>

#include "base/Address.h"
#include "hosts/IniFile.h"
#include "ui/FileChooser.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"

namespace {

// The host-order address of a dotted text, as the IP address control takes
// it; a text that holds no address gives the platform's error value.
uint32_t DottedToHostOrder(const std::string& strDotted)
{
    uint32_t dwAddr = 0;
    return ParseDotted(strDotted, dwAddr) ? ntohl(dwAddr) : INADDR_NONE;
}

}  // namespace

void CNUVIKDlg::FillNameBox()
{
    // All at once: the box sorts them in one pass, however many there are.
    std::vector<std::string> names;
    names.reserve(m_hosts.GetCount());
    for (const std::string& strEntry : m_hosts)
        names.push_back(EntryField(strEntry, 0));
    m_ctlName.AddStrings(names);
}

std::optional<std::string> CNUVIKDlg::ChooseFile(bool bOpen)
{
    if (m_pFiles == nullptr)
        return std::nullopt;
    CFileDialogRequest request;
    request.bOpen = bOpen;
    return m_pFiles->ChooseFile(request);
}

void CNUVIKDlg::OnExportList()
{
    // The save comes first: it stands whatever the user does in the dialog.
    CStatus status = m_hosts.SaveBeforeExport();
    if (status.Ok()) {
        const std::optional<std::string> chosen = ChooseFile(false);
        if (!chosen)
            return;
        status = m_hosts.ExportProfile(*chosen);
    }
    if (!status.Ok())
        Messages().MessageBox("The address book could not be exported: " + status.strError);
}

void CNUVIKDlg::OnImportList()
{
    const std::optional<std::string> chosen = ChooseFile(true);
    if (!chosen)
        return;  // cancelled: nothing has changed
    // Only a copy over the profile file brings leftovers of its own.
    const bool bCopies = m_hosts.ReplaceRisk() == CSetList::EReplaceRisk::None;
    const CStatus status = m_hosts.ImportProfile(*chosen);
    if (!status.Ok())
        Messages().MessageBox("The address book could not be imported: " + status.strError);
    else if (bCopies)
        TellLeftovers();
    m_ctlName.ResetContent();
    m_strName.clear();
    m_strMac.clear();
    m_strIp.clear();
    FillNameBox();
    UpdateData(false);
}

// ---------------------------------------------------------------------------
// Host editing

void CNUVIKDlg::OnAddHost()
{
    UpdateData(true);

    m_strName = EntryName(m_strName);

    if (m_strName.empty() && m_strIp != "0.0.0.0")
        m_strName = m_strIp;
    if (m_strName.empty())
        return;
    if (!IsValidMac())
        return;

    std::string strEntry = m_strName + " " + m_strIp + " " + m_strMac;
    // The profile file holds no longer line: the next load would cut it.
    if (strEntry.size() > kIniValueMax) {
        Messages().MessageBox("The name is too long to be stored: a host entry holds at most " +
                              std::to_string(kIniValueMax) + " characters.");
        return;
    }
    if (m_hosts.AddOrReplaceHost(std::move(strEntry)) != 2)
        m_ctlName.AddString(m_strName);
}

void CNUVIKDlg::OnDeleteHost()
{
    UpdateData(true);

    const std::string strStored = m_hosts.FindHostField(m_strName, 0);
    if (m_hosts.RemoveHost(m_strName) == 1) {
        // The list item that goes is the one naming the deleted host, not
        // whichever item happens to be selected.
        for (int i = 0, n = m_ctlName.GetCount(); i < n; ++i) {
            if (NamesMatch(m_ctlName.GetLBText(i), strStored)) {
                m_ctlName.DeleteString(i);
                break;
            }
        }
        m_strName.clear();
        m_ctlIp.ClearAddress();
        m_strIp.clear();
        m_strMac.clear();
    }
    UpdateData(false);
}

void CNUVIKDlg::OnHostSelChange()
{
    const int nSel = m_ctlName.GetCurSel();
    const std::string strPicked = nSel == CB_ERR ? std::string() : m_ctlName.GetLBText(nSel);

    m_strMac = m_hosts.FindHostField(strPicked, 2);
    const std::string strIp = m_hosts.FindHostField(strPicked, 1);
    m_ctlIp.SetAddress(DottedToHostOrder(strIp));
    m_strIp = strIp;
    // The name box shows the picked item; the refresh below must not put
    // the previous name back.
    if (nSel != CB_ERR)
        m_strName = strPicked;
    UpdateData(false);
}

void CNUVIKDlg::OnHostEditUpdate()
{
    UpdateData(true);
    m_strMac = m_hosts.FindHostField(m_strName, 2);
    const std::string strIp = m_hosts.FindHostField(m_strName, 1);
    m_ctlIp.SetAddress(DottedToHostOrder(strIp));
    m_strIp = strIp;
    UpdateData(false);
}
