#include "ui/NUVIKDlg.h"

#include "net/SocketLayer.h"
#include "ui/MessageBox.h"

CNUVIKDlg::CNUVIKDlg(std::vector<std::string> args, CDlgServices services)
    : m_args(std::move(args)), m_services(services)
{
}

bool CNUVIKDlg::IsValidMac()
{
    return CutToMacText(m_strMac);
}

bool CNUVIKDlg::UpdateData(bool /*bSaveAndValidate*/)
{
    return true;
}

CWakeOutcome CNUVIKDlg::WakeHost()
{
    CWakeOutcome outcome;
    const bool bInteractive = IsInteractive();
    if (bInteractive)
        UpdateData(true);
    if (!IsValidMac()) {
        if (bInteractive)
            m_services.pMessages->MessageBox("Invalid MAC address");
        return outcome;
    }

    const CSendResult sent = SendMagicPacket(*m_services.pSockets, BuildMagicPacket(MacTextToBytes(m_strMac)));
    if (sent.bSent) {
        outcome.status = CWakeOutcome::EStatus::Sent;
        return outcome;
    }
    outcome.status = CWakeOutcome::EStatus::SendFailed;
    outcome.strReason = sent.Reason();
    if (bInteractive)
        m_services.pMessages->MessageBox("The wake-up packet for " + m_strMac + " could not be sent (" +
                                         outcome.strReason + ").");
    return outcome;
}
