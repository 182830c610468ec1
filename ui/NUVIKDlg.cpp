#include "ui/NUVIKDlg.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>

#include "hosts/FileSystem.h"
#include "hosts/IniFile.h"
#include "hosts/ProfileName.h"
#include "net/SocketLayer.h"
#include "ui/ControlServices.h"
#include "ui/FileChooser.h"
#include "ui/MessageBox.h"
#include "ui/Resource.h"

namespace {

constexpr char kWhitespace[] = " \t\n\v\f\r";
constexpr size_t kMacBoxLimit = 12;
// Leftover keys named in a message; the rest are counted.
constexpr size_t kLeftoversNamed = 10;

std::string CountOf(size_t n, const char* pszOne, const char* pszMany)
{
    return std::to_string(n) + " " + (n == 1 ? pszOne : pszMany);
}

// Characters, not bytes: the box counts what the user sees.
size_t CountCharacters(const std::string& str)
{
    return static_cast<size_t>(std::count_if(str.begin(), str.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The host-order address of a dotted text, as the IP address control takes
// it; a text that holds no address gives the platform's error value.
uint32_t DottedToHostOrder(const std::string& strDotted)
{
    return ntohl(inet_addr(strDotted.c_str()));
}

// The network-order address of a dotted text; 0, unknown, for "0.0.0.0" and
// for a text that holds no address.
uint32_t HostAddress(const std::string& strDotted)
{
    in_addr addr{};
    return inet_pton(AF_INET, strDotted.c_str(), &addr) == 1 ? addr.s_addr : 0;
}

}  // namespace

CNUVIKDlg::CNUVIKDlg(std::vector<std::string> args, CDlgServices services)
    : m_args(std::move(args))
    , m_services(std::move(services))
    , m_links(m_services.pRoutes, m_services.delivery)
    , m_pMessages(m_services.pMessages)
{
    m_hosts.AttachProfile(m_services.pProfile, nullptr);
}

bool CNUVIKDlg::IsValidMac() { return CutToMacText(m_strMac); }

CWakeOutcome CNUVIKDlg::WakeHost()
{
    CWakeOutcome outcome;
    const bool bInteractive = IsInteractive();
    if (bInteractive)
        UpdateData(true);
    if (!IsValidMac()) {
        if (bInteractive)
            Messages().MessageBox("Invalid MAC address");
        return outcome;
    }

    // A batch reads the routes once; the window lives long enough for them
    // to change between two wakes.
    if (bInteractive)
        m_links.Forget();
    CSendResult sent;
    for (int i = 0; i < (bInteractive ? m_services.nRepeat : 1); ++i) {
        if (i > 0 && m_services.pfnPause)
            m_services.pfnPause(kRepeatPauseMs);
        sent = SendMagicPacket(*m_services.pSockets, BuildMagicPacket(MacTextToBytes(m_strMac)),
                               &m_links, HostAddress(m_strIp));
        for (const CSentDatagram& datagram : sent.sent)
            if (m_services.onDatagram)
                m_services.onDatagram(DescribeDatagram(m_strName, m_strMac, datagram, m_links));
        if (!sent.bSent)
            break;
    }
    if (sent.bSent) {
        outcome.status = CWakeOutcome::EStatus::Sent;
        outcome.strReason = sent.Reason();
        if (bInteractive && !outcome.strReason.empty())
            Messages().MessageBox("The wake-up packet for " + m_strMac + " was sent, but the " +
                                  outcome.strReason);
        return outcome;
    }
    outcome.status = CWakeOutcome::EStatus::SendFailed;
    outcome.strReason = sent.Reason();
    if (bInteractive)
        Messages().MessageBox("The wake-up packet for " + m_strMac +
                              " could not be sent: " + outcome.strReason);
    return outcome;
}

// ---------------------------------------------------------------------------
// Data exchange

bool CNUVIKDlg::UpdateData(bool bSaveAndValidate)
{
    if (!m_pControls)
        return true;
    const bool bWasInExchange = m_bInExchange;
    m_bInExchange = true;
    bool bOk = true;
    DoDataExchange(bSaveAndValidate, bOk);
    m_bInExchange = bWasInExchange;
    return bOk;
}

void CNUVIKDlg::DoDataExchange(bool bSave, bool& bOk)
{
    IControlServices& controls = *m_pControls;

    // 1, 2: the hardware address box, at most 12 characters.
    if (bSave) {
        m_strMac = controls.GetWindowText(IDC_MAC);
        if (CountCharacters(m_strMac) > kMacBoxLimit) {
            Messages().MessageBox("A hardware address has at most 12 characters.");
            controls.GotoDlgCtrl(IDC_MAC);
            controls.SelectAll(IDC_MAC);
            bOk = false;
            return;
        }
    } else {
        controls.SetWindowText(IDC_MAC, m_strMac);
    }
    controls.LimitText(IDC_MAC, static_cast<int>(kMacBoxLimit));

    // 3, 4: the name box.
    if (bSave)
        m_strName = controls.GetWindowText(IDC_NAME);
    else
        controls.SetWindowText(IDC_NAME, m_strName);
    if (!m_ctlName.IsAttached())
        m_ctlName.Attach(m_pControls);

    // 5, 6: the IP address control, as dotted text.
    if (bSave)
        m_strIp = controls.GetWindowText(IDC_IP);
    else
        controls.SetWindowText(IDC_IP, m_strIp);
    if (!m_ctlIp.IsAttached())
        m_ctlIp.Attach(m_pControls);
}

// ---------------------------------------------------------------------------
// The window's side

void CNUVIKDlg::AttachWindow(IControlServices* pControls, IMessageBox* pMessages,
                             IFileChooser* pFiles)
{
    m_pControls = pControls;
    m_pMessages = pMessages ? pMessages : m_services.pMessages;
    m_hosts.AttachProfile(m_services.pProfile, pFiles);
    if (!pControls) {
        m_ctlName.Attach(nullptr);
        m_ctlIp.Attach(nullptr);
    }
}

bool CNUVIKDlg::OnInitDialog()
{
    UpdateData(false);
    m_pControls->CheckRadioButton(IDC_NAME_MODE, IDC_ADDRESS_MODE, IDC_NAME_MODE);
    m_pControls->EnableWindow(IDC_IP, false);
    m_hosts.LoadProfile();
    if (m_hosts.IsProfileUnread())
        Messages().MessageBox(
            "The address book could not be read: " + m_hosts.LoadStatus().strError +
            ". The file is left as it is; it is replaced only if you agree when the window "
            "closes.");
    TellLeftovers();
    FillNameBox();
    return true;
}

void CNUVIKDlg::TellLeftovers()
{
    const CIniFile::CLeftovers& leftovers = m_hosts.Leftovers();
    if (leftovers.nCount == 0)
        return;
    std::string strNamed;
    for (size_t i = 0; i < leftovers.listing.size() && i < kLeftoversNamed; ++i)
        strNamed += (i == 0 ? "" : ", ") + leftovers.listing[i];
    if (leftovers.listing.size() > kLeftoversNamed)
        strNamed += ", ...";
    Messages().MessageBox(
        "The address book " + m_hosts.ProfilePath() + " holds " +
        CountOf(leftovers.nCount, "entry", "entries") +
        " that the list does not show (the list ends at the first missing key): " + strNamed +
        ". The file is left as it is; a save that would drop them asks first.");
}

void CNUVIKDlg::OnCommand(int nId, int nNotification)
{
    // Notifications of the dialog's own controls are not dispatched while
    // the fields and the controls are being exchanged.
    if (m_bInExchange || !m_pControls)
        return;

    switch (nNotification) {
    case BN_CLICKED:  // buttons and menu commands alike
        switch (nId) {
        case IDC_WAKE: WakeHost(); break;
        case ID_EXIT: OnExitCommand(); break;
        case IDC_NAME_MODE: OnNameMode(); break;
        case IDC_ADDRESS_MODE: OnAddressMode(); break;
        case IDC_LOOKUP: OnLookup(); break;
        case IDC_HELP_LINK: OnHelpLink(); break;
        case ID_ADD_HOST: OnAddHost(); break;
        case ID_DELETE_HOST: OnDeleteHost(); break;
        case IDCANCEL: OnCancelCommand(); break;
        case ID_EXPORT_LIST: OnExportList(); break;
        case ID_IMPORT_LIST: OnImportList(); break;
        default: break;
        }
        break;
    case CBN_SELCHANGE:
        if (nId == IDC_NAME)
            OnHostSelChange();
        break;
    case CBN_EDITUPDATE:
        if (nId == IDC_NAME)
            OnHostEditUpdate();
        break;
    default: break;
    }
}

void CNUVIKDlg::OnSysCommand(int nId)
{
    if (m_pControls && (nId & 0xFFF0) == IDM_ABOUTBOX)
        m_pControls->RunAboutBox();
}

// ---------------------------------------------------------------------------
// Modes, help, closing

void CNUVIKDlg::OnNameMode()
{
    m_pControls->EnableWindow(IDC_NAME, true);
    m_strIp.clear();
    m_strMac.clear();
    UpdateData(false);
    m_pControls->EnableWindow(IDC_IP, false);
    m_pControls->GotoDlgCtrl(IDC_NAME);
}

void CNUVIKDlg::OnAddressMode()
{
    m_pControls->EnableWindow(IDC_NAME, false);
    m_strName.clear();
    m_strMac.clear();
    UpdateData(false);
    m_pControls->EnableWindow(IDC_IP, true);
    m_pControls->GotoDlgCtrl(IDC_IP);
}

void CNUVIKDlg::OnHelpLink()
{
    // Minimal systems may leave the page out; say where it should be rather
    // than do nothing.
    const std::string& strPage = m_services.strHelpPage;
    struct stat st { };
    if (CPosixFileSystem::Instance().Stat(strPage, st) != 0 || !S_ISREG(st.st_mode)) {
        Messages().MessageBox("The help page is missing: " + strPage);
        return;
    }
    m_pControls->OpenLocalFile(strPage);  // a failure of the opener is silent
}

bool CNUVIKDlg::SaveBeforeClosing()
{
    using EChoice = IMessageBox::ESaveChoice;
    using EQuestion = IMessageBox::ESaveQuestion;
    using ERisk = CSetList::EReplaceRisk;
    // Nothing changed: the file stays byte for byte, whatever it holds.
    if (!m_hosts.IsChanged())
        return true;
    const std::string strNow =
        " Replace it with the " + CountOf(m_hosts.GetCount(), "host", "hosts") + " listed now?";
    const std::string strPath = m_hosts.ProfilePath();
    bool bAgreed = false;
    std::string strQuestion;
    EQuestion question = EQuestion::ReplaceUnread;
    switch (m_hosts.ReplaceRisk()) {
    case ERisk::Unread:
        strQuestion = "The address book could not be read when the window opened (" +
            m_hosts.LoadStatus().strError + ")." + strNow;
        break;
    case ERisk::ChangedOnDisk:
        question = EQuestion::ReplaceChanged;
        strQuestion = "The address book " + strPath +
            " was changed by another program since the window read it; its changes would be lost." +
            strNow;
        break;
    case ERisk::Leftovers:
        question = EQuestion::ReplaceLeftovers;
        strQuestion = "The address book " + strPath + " holds " +
            CountOf(m_hosts.Leftovers().nCount, "entry", "entries") +
            " that the list does not show; they would be lost." + strNow;
        break;
    case ERisk::None: break;
    }
    if (!strQuestion.empty()) {
        switch (Messages().AskSave(question, strQuestion)) {
        case EChoice::Save: bAgreed = true; break;
        case EChoice::Discard: return true;
        case EChoice::StayOpen: return false;
        }
    }
    for (;;) {
        const CFileStatus status = m_hosts.SaveProfile(bAgreed);
        if (status.bOk)
            return true;
        switch (Messages().AskSave(EQuestion::SaveFailed,
                                   "The address book could not be saved: " + status.strError)) {
        case EChoice::Save: continue;
        case EChoice::Discard: return true;
        case EChoice::StayOpen: return false;
        }
    }
}

void CNUVIKDlg::EndDialog(int nResult) { m_pControls->EndDialog(nResult); }

void CNUVIKDlg::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CNUVIKDlg::OnCancelCommand()
{
    if (SaveBeforeClosing())
        EndDialog(IDCANCEL);
}

void CNUVIKDlg::OnExitCommand()
{
    if (SaveBeforeClosing())
        OnOK();
}

// ---------------------------------------------------------------------------
// Export and import

void CNUVIKDlg::FillNameBox()
{
    // All at once: the box sorts them in one pass, however many there are.
    std::vector<std::string> names;
    names.reserve(m_hosts.GetCount());
    for (const std::string& strEntry : m_hosts)
        names.push_back(EntryField(strEntry, 0));
    m_ctlName.AddStrings(names);
}

void CNUVIKDlg::OnExportList()
{
    const CDialogOutcome outcome = m_hosts.ExportProfile();
    if (!outcome.status.bOk)
        Messages().MessageBox("The address book could not be exported: " + outcome.status.strError);
}

void CNUVIKDlg::OnImportList()
{
    // Only a copy over the profile file brings leftovers of its own.
    const bool bCopies = m_hosts.ReplaceRisk() == CSetList::EReplaceRisk::None;
    const CDialogOutcome outcome = m_hosts.ImportProfile();
    if (outcome.nResult == 0)
        return;
    if (!outcome.status.bOk)
        Messages().MessageBox("The address book could not be imported: " + outcome.status.strError);
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

    const size_t nLast = m_strName.find_last_not_of(kWhitespace);
    m_strName.erase(nLast == std::string::npos ? 0 : nLast + 1);
    m_strName.erase(0, m_strName.find_first_not_of(kWhitespace));
    // A name is one word on one line: blanks go, and so do line breaks
    // (pasted text can bring them), which the profile file could not hold.
    std::erase_if(m_strName, [](char c) { return c == ' ' || c == '\r' || c == '\n'; });

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
