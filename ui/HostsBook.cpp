// The hosts window's rows and the actions on them, on the window's thread.
// The workers are in HostsWorkers.cpp.
#include "ui/HostsBook.h"

#include <algorithm>
#include <map>

#include "base/Address.h"
#include "base/MacText.h"
#include "base/Text.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"

namespace {

// The twelve digits of what the row shows, what its wake sends.
std::string MacOf(const CHostRow& row)
{
    std::string strMac;
    return ParseAnyMac(row.strMac, strMac) ? strMac : row.strMac;
}

// "nas", "nas and pc1", "3 hosts".
std::string NamesText(const std::vector<std::string>& names)
{
    if (names.size() == 1)
        return names[0];
    if (names.size() == 2)
        return names[0] + " and " + names[1];
    return CountOf(names.size(), "host", "hosts");
}

}  // namespace

CHostsBook::CHostsBook(CHostsServices services)
    : m_services(std::move(services))
{
    m_book.AttachProfile(m_services.pProfile, m_services.pFiles);
}

CHostsBook::~CHostsBook() { Attach(nullptr, nullptr); }

CStatus CHostsBook::Load()
{
    std::lock_guard lock(m_mutex);
    m_book.RemoveAll();
    m_book.LoadProfile();
    RebuildRows(false);
    return m_book.LoadStatus().nError == ENOENT ? CStatus{} : m_book.LoadStatus();
}

std::string CHostsBook::BookPath() { return m_book.ProfilePath(); }

std::vector<CHostRow> CHostsBook::Rows()
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

// The book's entries in its order, then the new hosts of scans it still
// lacks. A host keeps its id and state across a reload: the same entry, or
// else the same hardware address.
void CHostsBook::RebuildRows(bool bKeepStates)
{
    std::vector<CHostRow> old = std::move(m_rows);
    m_rows.clear();
    std::multimap<std::string, size_t> byEntry, byMac;
    for (size_t i = 0; i < old.size() && bKeepStates; ++i) {
        byEntry.emplace(old[i].strName + " " + old[i].strIp + " " + old[i].strMac, i);
        byMac.emplace(MacOf(old[i]), i);
    }
    std::vector<bool> taken(old.size());
    const auto Take = [&](std::multimap<std::string, size_t>& index, const std::string& strKey) {
        for (auto [it, end] = index.equal_range(strKey); it != end; ++it)
            if (!taken[it->second])
                return taken[it->second] = true, &old[it->second];
        return static_cast<CHostRow*>(nullptr);
    };
    std::set<std::string> booked;
    for (const std::string& strEntry : m_book) {
        CHostRow row;
        row.strName = EntryField(strEntry, 0);
        row.strIp = EntryField(strEntry, 1);
        row.strMac = EntryField(strEntry, 2);
        CHostRow* pOld = Take(byEntry, row.strName + " " + row.strIp + " " + row.strMac);
        if (!pOld)
            pOld = Take(byMac, MacOf(row));
        if (pOld) {
            CHostRow kept = *pOld;
            kept.strName = row.strName, kept.strIp = row.strIp, kept.strMac = row.strMac;
            kept.bNew = false;
            row = kept;
        } else {
            row.nId = m_nNextId++;
        }
        row.strMacShown = MacShownText(row.strMac);
        booked.insert(MacOf(row));
        m_rows.push_back(std::move(row));
    }
    for (size_t i = 0; i < old.size(); ++i)
        if (old[i].bNew && !taken[i] && !booked.count(MacOf(old[i])))
            m_rows.push_back(old[i]);
    m_bAskNow = true;
}

CHostRow* CHostsBook::RowOf(uint64_t nId)
{
    const auto it = m_rowIndex.find(nId);
    if (it != m_rowIndex.end() && it->second < m_rows.size() && m_rows[it->second].nId == nId)
        return &m_rows[it->second];
    m_rowIndex.clear();  // the rows changed since: index them again
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_rowIndex[m_rows[i].nId] = i;
    const auto again = m_rowIndex.find(nId);
    return again == m_rowIndex.end() ? nullptr : &m_rows[again->second];
}

void CHostsBook::Tell(const std::string& strLine)
{
    if (m_pView)
        m_pView->Say(strLine);
}

void CHostsBook::Changed()
{
    m_wake.notify_all();
    if (m_pView)
        m_pView->RowsChanged();
}

// Saves the book as the window's edits leave it. A book at risk (not read,
// changed by another program, holding what the list does not carry) is
// replaced only when the user agrees; otherwise the edit is undone.
bool CHostsBook::Save(const std::string& strWhat)
{
    using EChoice = IMessageBox::ESaveChoice;
    m_bInSave = true;
    CStatus status = m_book.SaveProfile();
    IMessageBox::ESaveQuestion question{};
    if (!status.Ok() && m_pMessages) {
        const std::string strQuestion = ReplaceQuestion(m_book, question);
        if (!strQuestion.empty() && m_pMessages->AskSave(question, strQuestion) == EChoice::Save)
            status = m_book.SaveProfile(true);
    }
    m_bInSave = false;
    if (status.Ok())
        return true;
    Tell(strWhat + ": not saved, so not done: " + status.strError);
    m_book.RemoveAll();  // what the file holds
    m_book.LoadProfile();
    RebuildRows(true);
    Changed();
    return false;
}

void CHostsBook::CheckBook()
{
    std::lock_guard lock(m_mutex);
    if (m_bInSave ||
        (!m_book.IsProfileUnread() &&
         m_book.ReplaceRisk() != CSetList::EReplaceRisk::ChangedOnDisk))
        return;
    const bool bWasUnread = m_book.IsProfileUnread();
    m_book.RemoveAll();
    m_book.LoadProfile();
    if (bWasUnread && m_book.IsProfileUnread())
        return;
    RebuildRows(true);
    Tell("The address book was changed by another program: read again.");
    Changed();
}

void CHostsBook::Wake(const std::vector<uint64_t>& ids, bool bWait)
{
    std::vector<CHostRow> hosts;
    {
        std::lock_guard lock(m_mutex);
        for (const uint64_t nId : ids)
            if (const CHostRow* pRow = RowOf(nId))
                hosts.push_back(*pRow);
    }
    CWakeOptions options = m_services.wake;
    options.bSentBy = true;
    CWaker waker(*m_services.pSockets, m_pWakeKit ? m_pWakeKit->pRoutes : nullptr, options);
    std::vector<CWakeOutcome> outcomes(hosts.size());
    waker.InRounds(hosts.size(), [&](size_t i, bool bFirst) {
        const CWakeOutcome outcome =
            waker.Wake({hosts[i].strName, hosts[i].strIp, MacOf(hosts[i])});
        if (bFirst)
            outcomes[i] = outcome;
    });
    std::string strLine;
    std::vector<std::string> sent;
    std::lock_guard lock(m_mutex);
    const int64_t nNowMs = NowMs();
    for (size_t i = 0; i < hosts.size(); ++i) {
        const CWakeOutcome& outcome = outcomes[i];
        const std::string& strName = hosts[i].strName;
        if (outcome.status == CWakeOutcome::EStatus::InvalidMac) {
            strLine += (strLine.empty() ? "" : "; ") + strName +
                ": not sent, the hardware address is not valid (\"" + hosts[i].strMac + "\")";
            continue;
        }
        if (outcome.status == CWakeOutcome::EStatus::SendFailed) {
            strLine += (strLine.empty() ? "" : "; ") + strName + ": not sent, " + outcome.strReason;
            continue;
        }
        sent.push_back(strName);
        if (hosts.size() == 1)
            strLine = strName + ": sent by " + outcome.strSentBy +
                (outcome.strReason.empty() ? "" : " (" + outcome.strReason + ")");
        if (CHostRow* pRow = RowOf(hosts[i].nId)) {
            pRow->state = EHostState::Waking;
            pRow->nWokenMs = nNowMs;
            m_bWoken = true;
            pRow->strReason.clear();
            if (bWait)
                m_waitFor.insert(pRow->nId);
        }
    }
    if (hosts.size() > 1 && !sent.empty())
        strLine = NamesText(sent) + ": sent" + (strLine.empty() ? "" : "; " + strLine);
    Tell(strLine.empty() ? "Nothing to wake: no host is selected." : strLine);
    Changed();
}

void CHostsBook::Add(const std::vector<uint64_t>& ids)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> added;
    for (const uint64_t nId : ids) {
        const CHostRow* pRow = RowOf(nId);
        if (!pRow || !pRow->bNew)
            continue;
        // A name the book took meanwhile is made free again.
        std::string strName = pRow->strName;
        for (int n = 2; !m_book.FindHostField(strName, 0).empty(); ++n)
            strName = pRow->strName + "-" + std::to_string(n);
        m_book.AddOrReplaceHost(strName + " " + pRow->strIp + " " + pRow->strMac);  // at the head
        added.push_back(strName);
    }
    if (added.empty()) {
        Tell("Nothing to add: only hosts a scan found are new to the address book.");
        return;
    }
    if (Save("Add " + NamesText(added))) {
        RebuildRows(true);
        Tell(NamesText(added) + ": added to the address book");
        Changed();
    }
}

bool CHostsBook::Edit(uint64_t nId, const std::string& strName, const std::string& strIp,
                      const std::string& strMac, std::string& strError)
{
    std::lock_guard lock(m_mutex);
    const CHostRow* pRow = RowOf(nId);
    const std::string strStored = EntryName(strName);
    std::string strMac12;
    uint32_t dwAddr = 0;
    strError.clear();
    if (!pRow)
        strError = "The host is no longer listed.";
    else if (strStored.empty())
        strError = "A host needs a name.";
    else if (!TrimBlanks(strIp).empty() && !ParseDotted(TrimBlanks(strIp), dwAddr))
        strError = "\"" + strIp + "\" is " + kDottedExpected + ".";
    else if (!ParseAnyMac(TrimBlanks(strMac), strMac12))
        strError = "\"" + strMac + "\" is not a hardware address: " + kMacTextExpected + ".";
    if (!strError.empty())
        return false;
    const size_t nIndex = static_cast<size_t>(pRow - m_rows.data());
    size_t i = 0;
    for (const std::string& strEntry : m_book)
        if (i++ != nIndex && NamesMatch(EntryField(strEntry, 0), strStored)) {
            strError = "Another host of the address book is named \"" + strStored + "\".";
            return false;
        }
    const std::string strEntry =
        strStored + " " + (dwAddr ? DottedText(dwAddr) : "0.0.0.0") + " " + strMac12;
    if (pRow->bNew) {
        m_book.AddOrReplaceHost(strEntry);
    } else {
        auto it = m_book.begin();
        std::advance(it, nIndex);
        m_book.ReplaceEntry(it, strEntry);
    }
    if (!Save(strStored))
        return true;  // said why, and undone
    RebuildRows(true);
    Tell(strStored + ": saved");
    Changed();
    return true;
}

void CHostsBook::Delete(const std::vector<uint64_t>& ids)
{
    std::lock_guard lock(m_mutex);
    const std::set<uint64_t> gone(ids.begin(), ids.end());
    std::vector<std::string> names;
    CSetList kept;
    size_t i = 0;
    for (const std::string& strEntry : m_book) {
        if (gone.count(m_rows[i++].nId))
            names.push_back(EntryField(strEntry, 0));
        else
            kept.AddTail(strEntry);
    }
    const size_t nNew = static_cast<size_t>(std::count_if(
        m_rows.begin(), m_rows.end(), [&](auto& row) { return row.bNew && gone.count(row.nId); }));
    std::erase_if(m_rows, [&](const CHostRow& row) { return row.bNew && gone.count(row.nId); });
    if (!names.empty()) {
        m_book.RemoveAll();
        for (const std::string& strEntry : kept)
            m_book.AddTail(strEntry);
        if (!Save("Delete " + NamesText(names)))
            return;
        RebuildRows(true);
    }
    if (names.empty() && nNew == 0)
        return Tell("Nothing to delete: no host is selected.");
    Tell(names.empty() ? CountOf(nNew, "new host", "new hosts") + " taken off the list"
                       : NamesText(names) + ": deleted from the address book");
    Changed();
}
