// The modes that wake: bare hardware addresses and a profile file through the
// dialog object, as they always have; --wake HOST... through the waker.
#include <algorithm>
#include <cerrno>
#include <utility>

#include "app/ExitStatus.h"
#include "app/NuvikApp.h"
#include "base/MacText.h"
#include "hosts/HostLookUp.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"

namespace {

const std::string kSkippedEntry =
    ": skipped, the third field is not a hardware address (" + std::string(kMacTextExpected) + ")";

// A --wake host whose book entry holds no hardware address.
std::string NoMacText(const CRemoteHost& host)
{
    return host.strShown + ": the address book's entry holds no hardware address (\"" +
        host.strMac + "\", " + kMacTextExpected + ")";
}

}  // namespace

std::string CnuvikApp::InvalidArgumentText(CNUVIKDlg& dlg, const std::string& strArg)
{
    const std::string strStart = "\"" + strArg + "\" is not a hardware address";
    std::string strMac;
    if (ParseAnyMac(strArg, strMac))
        return strStart + ": write " + strMac + ", or --wake for other forms";
    if (!std::exchange(m_bBookLoaded, true))
        dlg.m_hosts.LoadProfile();  // once, for an argument that may be a name of the book
    if (!strArg.empty() && !dlg.m_hosts.FindHostField(strArg, 0).empty())
        return strStart + ": to wake the host of that name in the address book, write --wake " +
            strArg;
    return strStart + " (" + kMacTextExpected + ")";
}

int CnuvikApp::RunArguments()
{
    CDelivery delivery;
    if (!ResolveDelivery(delivery))
        return kExitNothingRan;
    CNUVIKDlg dlg = MakeDialog(delivery);
    if (Via()) {
        std::vector<CRemoteHost> hosts;
        for (const std::string& strArg : m_args) {
            std::string strMac = strArg;
            if (!CutToMacText(strMac)) {
                TellOutcome(strArg, {}, InvalidArgumentText(dlg, strArg));
                continue;
            }
            // The address to wait for, when the book here has the host.
            std::string strWaitIp;
            if (m_line.nWaitSeconds > 0 && !std::exchange(m_bBookLoaded, true))
                dlg.m_hosts.LoadProfile();
            if (const std::string* pEntry =
                    m_line.nWaitSeconds > 0 ? FindHostByMac(dlg.m_hosts, strMac) : nullptr)
                strWaitIp = EntryField(*pEntry, 1);
            hosts.push_back({strArg, {}, {}, strArg, strWaitIp});
        }
        return ForwardWakes(hosts);
    }
    if (m_line.nWaitSeconds > 0) {
        dlg.m_hosts.LoadProfile();  // where the hosts' addresses may be found
        m_bBookLoaded = true;
        for (const std::string& strArg : m_args) {
            std::string strMac = strArg;
            PlanWait(strArg, {}, CutToMacText(strMac) ? strMac : std::string(), dlg.m_hosts);
        }
    }
    return WakeAndWait([&] {
        dlg.Waker().InRounds(m_args.size(), [&](size_t i, bool bFirst) {
            const std::string& strArg = m_args[i];
            dlg.m_strMac = strArg;
            const CWakeOutcome outcome = dlg.WakeHost();
            if (!bFirst)
                return;
            if (outcome.status == CWakeOutcome::EStatus::Sent && i < m_waits.size())
                m_waits[i].bWoken = true;
            TellOutcome(strArg, outcome,
                        outcome.status == CWakeOutcome::EStatus::InvalidMac
                            ? InvalidArgumentText(dlg, strArg)
                            : std::string());
        });
    });
}

int CnuvikApp::RunProfile()
{
    CDelivery delivery;
    if (!ResolveDelivery(delivery))
        return kExitNothingRan;
    CNUVIKDlg dlg = MakeDialog(delivery);
    const std::string& strFile = m_args[0];
    // A selected profile name is a path relative to the current directory.
    // The one open that reads it also tells whether it can be read.
    dlg.m_hosts.SelectProfile(strFile);
    if (const CStatus& loaded = dlg.m_hosts.LoadStatus(); !loaded.Ok()) {
        m_services.pMessages->MessageBox(loaded.strError);
        return kExitNothingRan;
    }
    if (dlg.m_hosts.IsEmpty()) {
        m_services.pMessages->MessageBox(strFile +
                                         ": holds no host to wake (no entry 0 in section [list])");
        return kExitSomeFailed;
    }
    if (Via()) {
        std::vector<CRemoteHost> hosts;
        size_t i = 0;
        for (const std::string& strEntry : dlg.m_hosts) {
            const std::string strWhere =
                strFile + " [list] " + std::to_string(i++) + "=" + strEntry;
            std::string strMac = EntryField(strEntry, 2);
            if (CutToMacText(strMac))
                hosts.push_back({strWhere + ":",
                                 EntryField(strEntry, 0),
                                 EntryField(strEntry, 1),
                                 EntryField(strEntry, 2),
                                 {}});
            else
                TellOutcome(strWhere, {}, strWhere + kSkippedEntry);
        }
        return ForwardWakes(hosts);
    }
    if (m_line.nWaitSeconds > 0)
        for (const std::string& strEntry : dlg.m_hosts)
            PlanWait(EntryField(strEntry, 0), EntryField(strEntry, 1), EntryField(strEntry, 2),
                     dlg.m_hosts);
    return WakeAndWait([&] {
        const std::vector<CBatchItem> items = dlg.WakeAllInProfile();
        for (size_t i = 0; i < items.size(); ++i) {
            const CBatchItem& item = items[i];
            if (item.outcome.status == CWakeOutcome::EStatus::Sent && i < m_waits.size())
                m_waits[i].bWoken = true;
            const std::string strWhere = strFile + " [list] " + item.strKey + "=" + item.strEntry;
            TellOutcome(strWhere + ":", item.outcome, strWhere + kSkippedEntry);
        }
    });
}

int CnuvikApp::RunWakeOption()
{
    CDelivery delivery;
    if (!ResolveDelivery(delivery))
        return kExitNothingRan;
    CSetList book;
    if (m_line.nViaRequest)  // found by the side that sent it
        return WakeHere(RemoteHostsOf(m_args), delivery, book);
    IMessageBox& messages = *m_services.pMessages;
    book.AttachProfile(&m_profile, m_services.pFiles);
    book.LoadProfile();
    // A missing default book holds no names; a book asked for by name must be there.
    const CStatus& loaded = book.LoadStatus();
    const bool bBookRead = loaded.Ok() || (loaded.nError == ENOENT && !m_line.HasProfile());
    std::string strMac;
    const bool bNamesAsked = std::any_of(m_args.begin(), m_args.end(), [&](const auto& strArg) {
        return !ParseAnyMac(strArg, strMac);
    });
    if (!bBookRead && bNamesAsked) {
        messages.MessageBox(loaded.strError);
        return kExitNothingRan;
    }
    if (!bBookRead)
        book.RemoveAll();

    const CHostFinder finder(book, book.ProfilePath(),
                             {m_services.pEthers, m_services.pResolver, m_services.pNeighbours});
    std::vector<CRemoteHost> hosts;
    for (const std::string& strArg : m_args) {
        CHostMatch match = finder.Find(strArg);
        if (match.source == EHostSource::NotFound) {
            messages.MessageBox("\"" + strArg + "\": " + match.strWhy);
        } else if (match.strMac.empty()) {  // an address no book entry or neighbour entry holds
            messages.MessageBox("\"" + strArg + "\": no hardware address is known for " +
                                match.strIp + ": no entry of the address book " +
                                book.ProfilePath() + " and no neighbour entry holds it");
        } else {
            const std::string strWhat = match.strName.empty() || match.strName == strArg
                ? strArg
                : strArg + " (" + match.strName + ")";
            hosts.push_back({strWhat, match.strName, match.strIp, match.strMac, {}});
            continue;
        }
        m_nExitCode = kExitSomeFailed;
    }
    if (!Via())
        return WakeHere(hosts, delivery, book);
    std::erase_if(hosts, [&](const CRemoteHost& host) {
        std::string strText = host.strMac;
        if (CutToMacText(strText))
            return false;
        TellOutcome(host.strShown, {}, NoMacText(host));
        return true;
    });
    return ForwardWakes(hosts);
}

int CnuvikApp::WakeHere(const std::vector<CRemoteHost>& hosts, const CDelivery& delivery,
                        const CSetList& book)
{
    if (m_line.nWaitSeconds > 0)
        for (const CRemoteHost& host : hosts)
            PlanWait(host.strName.empty() ? host.strShown : host.strName,
                     host.strNote.empty() ? host.strIp : host.strNote, host.strMac, book);
    CWaker waker(*m_services.pSockets, m_services.pRoutes, WakeOptions(delivery));
    return WakeAndWait([&] {
        waker.InRounds(hosts.size(), [&](size_t i, bool bFirst) {
            const CRemoteHost& host = hosts[i];
            const CWakeOutcome outcome = waker.Wake({host.strName, host.strIp, host.strMac});
            if (!bFirst)
                return;
            if (outcome.status == CWakeOutcome::EStatus::Sent && i < m_waits.size())
                m_waits[i].bWoken = true;
            TellOutcome(host.strShown, outcome, NoMacText(host));
        });
    });
}
