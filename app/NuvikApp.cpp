#include "app/NuvikApp.h"

#include "net/SocketLayer.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"

std::string AppNameFromPath(const std::string& strPath)
{
    std::string strName = strPath.substr(strPath.find_last_of('/') + 1);
    const size_t nDot = strName.find_last_of('.');
    if (nDot != std::string::npos && nDot != 0)
        strName.resize(nDot);
    return strName.empty() ? std::string("nuvik") : strName;
}

CnuvikApp::CnuvikApp(std::string strExePath, std::vector<std::string> args, CAppServices services)
    : m_strExePath(std::move(strExePath)),
      m_strAppName(AppNameFromPath(m_strExePath)),
      m_args(std::move(args)),
      m_services(services)
{
}

bool CnuvikApp::InitInstance()
{
    IMessageBox& messages = *m_services.pMessages;

    if (SocketStartUp(*m_services.pSockets) != 0) {
        messages.MessageBox(IDS_SOCKETS_INIT_FAILED);
        m_nExitCode = kExitNothingRan;
        return false;
    }

    CNUVIKDlg dlg(m_args, CDlgServices{m_services.pSockets, &messages});

    if (m_args.empty()) {
        m_nExitCode = m_services.pfnRunDialog
                          ? m_services.pfnRunDialog(dlg, m_strExePath, messages)
                          : kExitNothingRan;
        return false;
    }

    if (m_args[0].find(".ini") != std::string::npos) {
        messages.MessageBox(m_args[0] + ": waking the hosts of a profile file is not available yet");
        m_nExitCode = kExitNothingRan;
        return false;
    }

    WakeArguments(dlg);
    return false;
}

void CnuvikApp::WakeArguments(CNUVIKDlg& dlg)
{
    for (const std::string& strArg : m_args) {
        dlg.m_strMac = strArg;
        const CWakeOutcome outcome = dlg.WakeHost();
        if (outcome.status == CWakeOutcome::EStatus::Sent)
            continue;
        m_nExitCode = kExitSomeFailed;
        if (outcome.status == CWakeOutcome::EStatus::InvalidMac)
            m_services.pMessages->MessageBox("\"" + strArg + "\" is not a hardware address (" + kMacTextExpected + ")");
        else
            m_services.pMessages->MessageBox(strArg + " not woken: " + outcome.strReason);
    }
}
