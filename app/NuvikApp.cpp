#include "app/NuvikApp.h"

#include "discovery/EchoRequest.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Resolver.h"
#include "hosts/ProfileName.h"
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
      m_services(services),
      m_profile(CProfileName::Default(m_strAppName))
{
}

bool CnuvikApp::InitInstance()
{
    IMessageBox& messages = *m_services.pMessages;

    if (SocketStartUp(*m_services.pSockets) != 0) {
        messages.MessageBox(IDS_SOCKETS_INIT_FAILED);
        // Started from the desktop, nobody reads standard error: the window's
        // own message box says it too.
        if (m_args.empty() && m_services.pfnShowMessage)
            m_services.pfnShowMessage(m_strExePath, IDS_SOCKETS_INIT_FAILED);
        m_nExitCode = kExitNothingRan;
        return false;
    }

    CSystemResolver resolver;
    CNetlinkNeighbourTable neighbours;
    CEchoRequest echo(neighbours);
    CDlgServices services{m_services.pSockets, &messages, &m_profile, {}};
    services.pResolver = &resolver;
    services.pEcho = &echo;
    services.pNeighbours = &neighbours;
    services.pRoutes = m_services.pRoutes;
    CNUVIKDlg dlg(m_args, services);

    if (m_args.empty()) {
        m_nExitCode = m_services.pfnRunDialog
                          ? m_services.pfnRunDialog(dlg, m_strExePath, messages)
                          : kExitNothingRan;
        return false;
    }

    if (m_args[0].find(".ini") != std::string::npos) {
        WakeProfile(dlg);
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
        if (outcome.status == CWakeOutcome::EStatus::Sent) {
            if (!outcome.strReason.empty())
                m_services.pMessages->MessageBox(strArg + " woken, but the " + outcome.strReason);
            continue;
        }
        m_nExitCode = kExitSomeFailed;
        if (outcome.status == CWakeOutcome::EStatus::InvalidMac)
            m_services.pMessages->MessageBox("\"" + strArg + "\" is not a hardware address (" + kMacTextExpected + ")");
        else
            m_services.pMessages->MessageBox(strArg + " not woken: " + outcome.strReason);
    }
}

void CnuvikApp::WakeProfile(CNUVIKDlg& dlg)
{
    const std::string& strFile = m_args[0];
    // A selected profile name is a path relative to the current directory.
    // The one open that reads it also tells whether it can be read.
    dlg.m_hosts.SelectProfile(strFile);
    if (const CFileStatus& loaded = dlg.m_hosts.LoadStatus(); !loaded.bOk) {
        m_services.pMessages->MessageBox(loaded.strError);
        m_nExitCode = kExitNothingRan;
        return;
    }
    if (dlg.m_hosts.IsEmpty()) {
        m_services.pMessages->MessageBox(strFile + ": holds no host to wake (no entry 0 in section [list])");
        m_nExitCode = kExitSomeFailed;
        return;
    }

    for (const CBatchItem& item : dlg.WakeAllInProfile()) {
        if (item.outcome.status == CWakeOutcome::EStatus::Sent && item.outcome.strReason.empty())
            continue;
        const std::string strWhere = strFile + " [list] " + item.strKey + "=" + item.strEntry;
        if (item.outcome.status == CWakeOutcome::EStatus::Sent) {
            m_services.pMessages->MessageBox(strWhere + ": woken, but the " + item.outcome.strReason);
            continue;
        }
        m_nExitCode = kExitSomeFailed;
        if (item.outcome.status == CWakeOutcome::EStatus::InvalidMac)
            m_services.pMessages->MessageBox(strWhere + ": skipped, the third field is not a hardware address (" +
                                             kMacTextExpected + ")");
        else
            m_services.pMessages->MessageBox(strWhere + ": not woken: " + item.outcome.strReason);
    }
}
