#include "app/NuvikApp.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

#include "discovery/EchoRequest.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Resolver.h"
#include "hosts/HostLookUp.h"
#include "hosts/ProfileName.h"
#include "net/SocketLayer.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/PrintableText.h"
#include "ui/Resource.h"
#include "wake/Listener.h"

void PauseMs(int nMs)
{
    timespec left{nMs / 1000, (nMs % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) { }
}

std::string AppNameFromPath(const std::string& strPath)
{
    std::string strName = strPath.substr(strPath.find_last_of('/') + 1);
    const size_t nDot = strName.find_last_of('.');
    if (nDot != std::string::npos && nDot != 0)
        strName.resize(nDot);
    return strName.empty() ? std::string("nuvik") : strName;
}

CnuvikApp::CnuvikApp(std::string strExePath, CCommandLine line, CAppServices services)
    : m_strExePath(std::move(strExePath))
    , m_strAppName(AppNameFromPath(m_strExePath))
    , m_line(std::move(line))
    , m_services(services)
    , m_profile(CProfileName::Default(m_strAppName))
{
    // Another address book: the window's, and the one names are looked up in.
    if (m_line.HasProfile()) {
        m_profile.strName = m_line.strProfile;
        m_profile.bSelected = true;
    }
}

void CnuvikApp::PrintLine(const std::string& strLine)
{
    std::FILE* pOut = m_services.pOut ? m_services.pOut : stdout;
    std::fprintf(pOut, "%s\n", PrintableText(strLine).c_str());
    std::fflush(pOut);  // as it happens, also from the window
}

bool CnuvikApp::ResolveDelivery(CDelivery& delivery, IResolver& resolver)
{
    IMessageBox& messages = *m_services.pMessages;
    delivery.nPort = m_line.nPort;
    if (!m_line.strTo.empty()) {
        const std::string& strTo = m_line.strTo;
        in_addr addr{};
        CHostRecord record;
        if (inet_pton(AF_INET, strTo.c_str(), &addr) == 1) {
            delivery.dwTo = addr.s_addr;
        } else if (resolver.GetHostByName(strTo, record) && !record.addresses.empty()) {
            delivery.dwTo = record.addresses.front();
        } else {
            messages.MessageBox("--to " + strTo + ": no IPv4 address for this name (" +
                                resolver.LastErrorText() + ")");
            return false;
        }
        if (delivery.dwTo == 0) {
            messages.MessageBox("--to " + strTo + ": 0.0.0.0 is no address to send to");
            return false;
        }
    }
    if (!m_line.strInterface.empty()) {
        const std::string strWhat = "--interface " + m_line.strInterface + ": ";
        switch (m_services.pRoutes->FindLink(m_line.strInterface, delivery.nInterface)) {
        case ELinkState::Missing: messages.MessageBox(strWhat + "no such interface"); return false;
        case ELinkState::Down: messages.MessageBox(strWhat + "the interface is down"); return false;
        case ELinkState::NoAddress:
            messages.MessageBox(strWhat + "the interface holds no IPv4 address");
            return false;
        case ELinkState::Usable: break;
        }
    }
    return true;
}

template <typename F>
void CnuvikApp::InRounds(F wakeRound)
{
    for (int nRound = 0; nRound < m_line.nRepeat; ++nRound) {
        if (nRound > 0 && m_services.pfnPause)
            m_services.pfnPause(kRepeatPauseMs);
        wakeRound(nRound == 0);
    }
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

    if (m_line.bStatus) {
        CSystemEthers systemEthers;
        m_nExitCode = RunStatusCommand(
            m_line, m_profile, m_services.pEthers ? *m_services.pEthers : systemEthers, messages);
        return false;
    }

    if (m_line.bListen) {
        m_nExitCode = ListenForWakes(m_line.nListenPort, messages,
                                     m_services.pOut ? m_services.pOut : stdout);
        return false;
    }

    CSystemResolver systemResolver;
    IResolver& resolver = m_services.pResolver ? *m_services.pResolver : systemResolver;
    CDlgServices services{m_services.pSockets, &messages, &m_profile, {}};
    if (!ResolveDelivery(services.delivery, resolver)) {
        m_nExitCode = kExitNothingRan;
        return false;
    }
    CNetlinkNeighbourTable neighbours;
    CEchoRequest echo(neighbours);
    services.pResolver = &resolver;
    services.pEcho = &echo;
    services.pNeighbours = &neighbours;
    services.pRoutes = m_services.pRoutes;
    services.nRepeat = m_line.nRepeat;
    services.pfnPause = m_services.pfnPause;
    if (m_line.bVerbose)
        services.onDatagram = [this](const std::string& strLine) { PrintLine(strLine); };
    CNUVIKDlg dlg(m_args, services);

    if (m_line.bWake) {
        CSystemEthers systemEthers;
        WakeHosts(dlg, m_services.pEthers ? *m_services.pEthers : systemEthers);
    } else if (m_args.empty()) {
        m_nExitCode = m_services.pfnRunDialog ? m_services.pfnRunDialog(dlg, m_strExePath, messages)
                                              : kExitNothingRan;
        return false;
    } else if (m_args[0].find(".ini") != std::string::npos) {
        WakeProfile(dlg);
    } else {
        WakeArguments(dlg);
    }
    if (m_line.nWaitSeconds > 0 && m_nExitCode != kExitNothingRan) {
        const int nWait = WaitForWoken(m_woken, m_line.nWaitSeconds, messages);
        m_nExitCode = nWait == kExitInterrupted ? nWait : std::max(m_nExitCode, nWait);
    }
    return false;
}

void CnuvikApp::NoteWoken(const std::string& strName, const std::string& strIp,
                          const std::string& strMac, const CSetList& book)
{
    if (m_line.nWaitSeconds <= 0)
        return;
    uint32_t dwAddr = StoredAddress(strIp);
    if (dwAddr == 0 && !strMac.empty()) {
        CNetlinkNeighbourTable neighbours;
        dwAddr = WaitAddressOfMac(book, neighbours, strMac);
    }
    m_woken.push_back({strName, dwAddr});
}

std::string CnuvikApp::InvalidArgumentText(CNUVIKDlg& dlg, const std::string& strArg)
{
    const std::string strStart = "\"" + strArg + "\" is not a hardware address";
    std::string strMac;
    if (ParseAnyMac(strArg, strMac))
        return strStart + ": write " + strMac + ", or --wake for other forms";
    if (!m_bBookLoaded)
        dlg.m_hosts.LoadProfile();  // once, for an argument that may be a name of the address book
    m_bBookLoaded = true;
    const bool bBookName = !strArg.empty() &&
        std::any_of(dlg.m_hosts.begin(), dlg.m_hosts.end(),
                    [&](auto& strEntry) { return NamesMatch(EntryField(strEntry, 0), strArg); });
    if (bBookName)
        return strStart + ": to wake the host of that name in the address book, write --wake " +
            strArg;
    return strStart + " (" + kMacTextExpected + ")";
}

void CnuvikApp::WakeArguments(CNUVIKDlg& dlg)
{
    InRounds([&](bool bFirst) {
        for (const std::string& strArg : m_args) {
            dlg.m_strMac = strArg;
            const CWakeOutcome outcome = dlg.WakeHost();
            if (!bFirst)
                continue;
            if (outcome.status == CWakeOutcome::EStatus::Sent) {
                if (m_line.nWaitSeconds > 0 && !std::exchange(m_bBookLoaded, true))
                    dlg.m_hosts.LoadProfile();  // where the host's address may be found
                std::string strMac = strArg;
                CutToMacText(strMac);
                NoteWoken(strArg, {}, strMac, dlg.m_hosts);
                if (!outcome.strReason.empty())
                    m_services.pMessages->MessageBox(strArg + " woken, but the " +
                                                     outcome.strReason);
                continue;
            }
            m_nExitCode = kExitSomeFailed;
            if (outcome.status == CWakeOutcome::EStatus::InvalidMac)
                m_services.pMessages->MessageBox(InvalidArgumentText(dlg, strArg));
            else
                m_services.pMessages->MessageBox(strArg + " not woken: " + outcome.strReason);
        }
    });
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
        m_services.pMessages->MessageBox(strFile +
                                         ": holds no host to wake (no entry 0 in section [list])");
        m_nExitCode = kExitSomeFailed;
        return;
    }

    InRounds([&](bool bFirst) {
        const std::vector<CBatchItem> items = dlg.WakeAllInProfile();
        for (const CBatchItem& item : items) {
            if (!bFirst)
                break;
            if (item.outcome.status == CWakeOutcome::EStatus::Sent)
                NoteWoken(EntryField(item.strEntry, 0), EntryField(item.strEntry, 1), {},
                          dlg.m_hosts);
            if (item.outcome.status == CWakeOutcome::EStatus::Sent &&
                item.outcome.strReason.empty())
                continue;
            const std::string strWhere = strFile + " [list] " + item.strKey + "=" + item.strEntry;
            if (item.outcome.status == CWakeOutcome::EStatus::Sent) {
                m_services.pMessages->MessageBox(strWhere + ": woken, but the " +
                                                 item.outcome.strReason);
                continue;
            }
            m_nExitCode = kExitSomeFailed;
            if (item.outcome.status == CWakeOutcome::EStatus::InvalidMac)
                m_services.pMessages->MessageBox(
                    strWhere + ": skipped, the third field is not a hardware address (" +
                    kMacTextExpected + ")");
            else
                m_services.pMessages->MessageBox(strWhere +
                                                 ": not woken: " + item.outcome.strReason);
        }
    });
}

void CnuvikApp::WakeHosts(CNUVIKDlg& dlg, IEthers& ethers)
{
    IMessageBox& messages = *m_services.pMessages;
    CSetList& book = dlg.m_hosts;
    book.LoadProfile();
    // A missing default book holds no names; a book asked for by name must be there.
    const CFileStatus& loaded = book.LoadStatus();
    const bool bBookRead = loaded.bOk || (loaded.nError == ENOENT && !m_line.HasProfile());
    std::string strMac;
    const bool bNamesAsked =
        std::any_of(m_args.begin(), m_args.end(),
                    [&](const std::string& strArg) { return !ParseAnyMac(strArg, strMac); });
    if (!bBookRead && bNamesAsked) {
        messages.MessageBox(loaded.strError.empty() ? NotFoundText({}) : loaded.strError);
        m_nExitCode = kExitNothingRan;
        return;
    }
    if (!bBookRead)
        book.RemoveAll();

    std::vector<std::pair<std::string, CHostMatch>> hosts;
    for (const std::string& strArg : m_args) {
        CHostMatch match = LookUpHost(strArg, book, ethers);
        if (match.source != EHostSource::NotFound) {
            hosts.emplace_back(strArg, std::move(match));
            continue;
        }
        messages.MessageBox("\"" + strArg + "\": " + NotFoundText(book.ProfilePath()));
        m_nExitCode = kExitSomeFailed;
    }

    InRounds([&](bool bFirst) {
        for (const auto& [strArg, match] : hosts) {
            dlg.m_strMac = match.strMac;
            dlg.m_strIp = match.strIp;
            dlg.m_strName = match.strName;
            const CWakeOutcome outcome = dlg.WakeHost();
            if (bFirst && outcome.status == CWakeOutcome::EStatus::Sent)
                NoteWoken(match.strName.empty() ? strArg : match.strName, match.strIp, match.strMac,
                          book);
            if (!bFirst ||
                (outcome.status == CWakeOutcome::EStatus::Sent && outcome.strReason.empty()))
                continue;
            const std::string strWhat = match.strName.empty() || match.strName == strArg
                ? strArg
                : strArg + " (" + match.strName + ")";
            if (outcome.status == CWakeOutcome::EStatus::Sent) {
                messages.MessageBox(strWhat + " woken, but the " + outcome.strReason);
                continue;
            }
            m_nExitCode = kExitSomeFailed;
            if (outcome.status == CWakeOutcome::EStatus::InvalidMac)
                messages.MessageBox(strWhat +
                                    ": the address book's entry holds no hardware address (\"" +
                                    match.strMac + "\", " + kMacTextExpected + ")");
            else
                messages.MessageBox(strWhat + " not woken: " + outcome.strReason);
        }
    });
}
