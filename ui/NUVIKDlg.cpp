#include "ui/NUVIKDlg.h"

#include <sys/stat.h>

#include "base/MacText.h"
#include "base/Text.h"
#include "hosts/FileSystem.h"
#include "ui/ControlServices.h"
#include "ui/FileChooser.h"
#include "ui/MessageBox.h"
#include "ui/Resource.h"

namespace {

constexpr size_t kMacBoxLimit = 12;
// Leftover keys named in a message; the rest are counted.
constexpr size_t kLeftoversNamed = 10;

}  // namespace

CNUVIKDlg::CNUVIKDlg(std::vector<std::string> args, CDlgServices services)
    : m_args(std::move(args))
    , m_services(std::move(services))
    , m_waker(*m_services.pSockets, m_services.pRoutes, m_services.wake)
    , m_pMessages(m_services.pMessages)
{
    m_hosts.AttachProfile(m_services.pProfile, m_services.pFiles);
}

bool CNUVIKDlg::IsValidMac() { return CutToMacText(m_strMac); }

CWakeOutcome CNUVIKDlg::WakeHost()
{
    const bool bInteractive = IsInteractive();
    if (bInteractive)
        UpdateData(true);
    if (!IsValidMac()) {
        if (bInteractive)
            Messages().MessageBox("Invalid MAC address");
        return {};
    }
    if (!bInteractive)
        return m_waker.Wake({m_strName, m_strIp, m_strMac});

    // The window lives long enough for the routes to change between two
    // wakes; each of its wakes sends the datagrams asked for.
    m_waker.Forget();
    CWakeOutcome outcome;
    m_waker.InRounds(1, [&](size_t, bool bFirst) {
        if (bFirst || outcome.status == CWakeOutcome::EStatus::Sent)
            outcome = m_waker.Wake({m_strName, m_strIp, m_strMac});
    });
    if (outcome.status == CWakeOutcome::EStatus::SendFailed)
        Messages().MessageBox("The wake-up packet for " + m_strMac +
                              " could not be sent: " + outcome.strReason);
    else if (!outcome.strReason.empty())
        Messages().MessageBox("The wake-up packet for " + m_strMac + " was sent, but the " +
                              outcome.strReason);
    return outcome;
}

std::vector<CBatchItem> CNUVIKDlg::WakeAllInProfile()
{
    return WakeEntries(m_hosts, m_waker, [this](const CWakeHost& host) {
        m_strMac = host.strMac;
        m_strIp = host.strIp;  // the link to wake it on
        m_strName = host.strName;
        return WakeHost();
    });
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
        if (CharacterCount(m_strMac) > kMacBoxLimit) {
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
    m_pFiles = pFiles;
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
    if (m_services.pFiles->Stat(strPage, st) != 0 || !S_ISREG(st.st_mode)) {
        Messages().MessageBox("The help page is missing: " + strPage);
        return;
    }
    m_pControls->OpenLocalFile(strPage);  // a failure of the opener is silent
}

std::string ReplaceQuestion(const CSetList& hosts, IMessageBox::ESaveQuestion& question)
{
    using EQuestion = IMessageBox::ESaveQuestion;
    using ERisk = CSetList::EReplaceRisk;
    const std::string strNow =
        " Replace it with the " + CountOf(hosts.GetCount(), "host", "hosts") + " listed now?";
    const std::string strPath = hosts.ProfilePath();
    switch (hosts.ReplaceRisk()) {
    case ERisk::Unread:
        question = EQuestion::ReplaceUnread;
        return "The address book could not be read when the window opened (" +
            hosts.LoadStatus().strError + ")." + strNow;
    case ERisk::ChangedOnDisk:
        question = EQuestion::ReplaceChanged;
        return "The address book " + strPath +
            " was changed by another program since the window read it; its changes would be "
            "lost." +
            strNow;
    case ERisk::Leftovers:
        question = EQuestion::ReplaceLeftovers;
        return "The address book " + strPath + " holds " +
            CountOf(hosts.Leftovers().nCount, "entry", "entries") +
            " that the list does not show; they would be lost." + strNow;
    case ERisk::None: break;
    }
    return {};
}

bool CNUVIKDlg::SaveBeforeClosing()
{
    using EChoice = IMessageBox::ESaveChoice;
    using EQuestion = IMessageBox::ESaveQuestion;
    // Nothing changed: the file stays byte for byte, whatever it holds.
    if (!m_hosts.IsChanged())
        return true;
    bool bAgreed = false;
    EQuestion question = EQuestion::ReplaceUnread;
    const std::string strQuestion = ReplaceQuestion(m_hosts, question);
    if (!strQuestion.empty()) {
        switch (Messages().AskSave(question, strQuestion)) {
        case EChoice::Save: bAgreed = true; break;
        case EChoice::Discard: return true;
        case EChoice::StayOpen: return false;
        }
    }
    for (;;) {
        const CStatus status = m_hosts.SaveProfile(bAgreed);
        if (status.Ok())
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
