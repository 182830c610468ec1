#include "hosts/SetList.h"

#include <cerrno>
#include <iterator>

#include "hosts/FileSystem.h"
#include "hosts/IniFile.h"
#include "ui/FileChooser.h"

namespace {

constexpr char kListSection[] = "list";

// The next field of an entry from position nPos on: spaces (0x20 only) are
// skipped, then the field runs up to the next space. UTF-8 never uses the
// space byte inside a multi-byte character, so splitting bytes is safe.
std::string NextField(const std::string& strEntry, size_t& nPos)
{
    const size_t nStart = strEntry.find_first_not_of(' ', nPos);
    if (nStart == std::string::npos) {
        nPos = strEntry.size();
        return {};
    }
    const size_t nEnd = strEntry.find(' ', nStart);
    nPos = nEnd == std::string::npos ? strEntry.size() : nEnd;
    return strEntry.substr(nStart, nPos - nStart);
}

char FoldAsciiChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string EntryField(const std::string& strEntry, int k)
{
    size_t nPos = 0;
    std::string strField;
    for (int i = 0; i <= k; ++i) {
        strField = NextField(strEntry, nPos);
        if (strField.empty())
            break;
    }
    return strField;
}

bool NamesMatch(const std::string& strA, const std::string& strB)
{
    if (strA.size() != strB.size())
        return false;
    for (size_t i = 0; i < strA.size(); ++i)
        if (FoldAsciiChar(strA[i]) != FoldAsciiChar(strB[i]))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Lookup by name

std::string CSetList::FindHostField(std::string strName, int k) const
{
    if (strName.empty())
        return {};
    for (const std::string& strEntry : m_entries)
        if (NamesMatch(EntryField(strEntry, 0), strName))
            return EntryField(strEntry, k);
    return {};
}

int CSetList::AddOrReplaceHost(std::string strEntry)
{
    const std::string strName = EntryField(strEntry, 0);
    if (strName.empty())
        return 0;
    int nResult = 1;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (NamesMatch(EntryField(*it, 0), strName)) {
            m_entries.erase(it);
            nResult = 2;
            break;
        }
    }
    m_entries.push_front(std::move(strEntry));
    return nResult;
}

int CSetList::RemoveHost(std::string strName)
{
    if (strName.empty())
        return 0;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (NamesMatch(EntryField(*it, 0), strName)) {
            m_entries.erase(it);
            return 1;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The profile file

void CSetList::AttachProfile(CProfileName* pProfile, IFileChooser* pChooser, IFileSystem* pFiles)
{
    m_pProfile = pProfile;
    m_pChooser = pChooser;
    m_pFiles = pFiles;
}

IFileSystem& CSetList::Files() const
{
    return m_pFiles ? *m_pFiles : CPosixFileSystem::Instance();
}

std::string CSetList::ProfilePath() const
{
    return Profile().Path();
}

namespace {

// The default profile has no place when no absolute directory is known for
// it; nothing then falls back to the current directory.
CFileStatus NoPlaceFor(const CProfileName& profile)
{
    return CFileStatus{false,
                       profile.strName + ": the address book has no place: neither XDG_CONFIG_HOME nor HOME "
                                         "names an absolute directory",
                       ENOENT};
}

} // namespace

// The configuration directory is made when it is first needed; a selected
// profile lives wherever its name says and nothing is made for it.
CFileStatus CSetList::PrepareProfileDirectory() const
{
    if (Profile().bSelected)
        return {};
    return MakeDirectories(Files(), DirectoryOf(ProfilePath()), 0700);
}

int CSetList::LoadProfile()
{
    std::string strText;
    const std::string strPath = ProfilePath();
    m_loadStatus = strPath.empty() ? NoPlaceFor(Profile()) : ReadWholeFile(Files(), strPath, strText);
    // A missing file holds no entries; one that is there but can't be read
    // holds entries nobody has seen, and is kept.
    m_bProfileUnread = !m_loadStatus.bOk && m_loadStatus.nError != ENOENT;
    if (m_loadStatus.bOk)
        AppendEntries(strText);
    return 0;
}

void CSetList::AppendEntries(const std::string& strText)
{
    const CIniFile ini = CIniFile::Parse(strText);
    for (size_t i = 0;; ++i) {
        const std::string strValue = ini.GetProfileString(kListSection, std::to_string(i));
        if (strValue.empty())
            break;  // the first missing or empty key ends the list
        m_entries.emplace_back(TrimIniSpace(strValue));
    }
}

std::string FormatProfile(const CSetList& hosts)
{
    std::string strText = "[list]\r\n";
    size_t nKey = 0;
    for (const std::string& strEntry : hosts) {
        strText += std::to_string(nKey++);
        strText += '=';
        strText += strEntry;
        strText += "\r\n";
    }
    return strText;
}

CFileStatus CSetList::SaveProfile()
{
    const std::string strPath = ProfilePath();
    if (strPath.empty())
        return NoPlaceFor(Profile());
    if (m_bProfileUnread)
        return CFileStatus{false, m_loadStatus.strError + " (so it was not replaced)", m_loadStatus.nError};
    // An empty list leaves no file, but a link someone keeps the profile
    // behind stays, and the file it names then holds no hosts.
    if (m_entries.empty() && !IsSymbolicLink(strPath))
        return RemoveFile(Files(), strPath);
    if (CFileStatus dir = PrepareProfileDirectory(); !dir.bOk)
        return dir;
    return WriteFileAtomic(Files(), strPath, FormatProfile(*this));
}

CDialogOutcome CSetList::ExportProfile()
{
    CDialogOutcome outcome;
    // A profile that could not be read stays as it is (and one that has no
    // place can't be saved); the export is then the list itself.
    const bool bFromList = m_bProfileUnread || ProfilePath().empty();
    if (!bFromList)
        outcome.status = SaveProfile();
    if (!outcome.status.bOk || m_pChooser == nullptr)
        return outcome;

    CFileDialogRequest request;
    request.bOpen = false;
    const std::optional<std::string> chosen = m_pChooser->ChooseFile(request);
    if (!chosen)
        return outcome;
    outcome.nResult = 1;
    // An empty address book has no profile file to copy; its export is the
    // file that holds no hosts.
    outcome.status = m_entries.empty() || bFromList ? WriteFileAtomic(Files(), *chosen, FormatProfile(*this))
                                                   : CopyFileAtomic(Files(), ProfilePath(), *chosen);
    return outcome;
}

CDialogOutcome CSetList::ImportProfile()
{
    CDialogOutcome outcome;
    if (m_pChooser == nullptr)
        return outcome;
    CFileDialogRequest request;
    request.bOpen = true;
    const std::optional<std::string> chosen = m_pChooser->ChooseFile(request);
    if (!chosen)
        return outcome;
    outcome.nResult = 1;
    if (m_bProfileUnread) {
        // The unread profile is not copied over: the chosen file's hosts
        // become the list, and closing asks before they replace it.
        std::string strText;
        outcome.status = ReadWholeFile(Files(), *chosen, strText);
        if (outcome.status.bOk) {
            RemoveAll();
            AppendEntries(strText);
        }
        return outcome;
    }
    outcome.status = ProfilePath().empty() ? NoPlaceFor(Profile()) : PrepareProfileDirectory();
    if (outcome.status.bOk)
        outcome.status = CopyFileAtomic(Files(), *chosen, ProfilePath());
    if (outcome.status.bOk) {
        RemoveAll();
        LoadProfile();
    }
    return outcome;
}

int CSetList::SelectProfile(std::string strFileName)
{
    CProfileName& profile = Profile();
    profile.strName = std::move(strFileName);
    profile.bSelected = true;
    LoadProfile();
    return 0;
}
