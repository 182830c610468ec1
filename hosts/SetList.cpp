#include "hosts/SetList.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <iterator>

#include "base/PrintableText.h"
#include "base/Text.h"
#include "hosts/FileSystem.h"
#include "hosts/IniFile.h"

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

struct CCaseFold {
    char32_t cpFrom;
    char32_t cpTo;
};

// Unicode's simple case folding, in code point order (made at build time).
constexpr CCaseFold kCaseFolds[] = {
#include "CaseFoldTable.inc"
};

char32_t FoldCase(char32_t cp)
{
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp - 'A' + 'a' : cp;
    const auto it =
        std::lower_bound(std::begin(kCaseFolds), std::end(kCaseFolds), cp,
                         [](const CCaseFold& fold, char32_t c) { return fold.cpFrom < c; });
    return it != std::end(kCaseFolds) && it->cpFrom == cp ? it->cpTo : cp;
}

// A byte that begins no valid UTF-8 character stands for itself, apart from
// every character: it matches only the same byte.
constexpr char32_t kRawByte = 0x80000000;

// The unit of a name at nPos, for comparing: a UTF-8 character as its case
// fold, or a stray byte as itself. Moves nPos past it.
char32_t NextFoldedUnit(const std::string& str, size_t& nPos)
{
    const auto c = static_cast<unsigned char>(str[nPos]);
    if (c < 0x80) {
        ++nPos;
        return FoldCase(c);
    }
    const size_t nLength = Utf8SequenceLength(str, nPos);
    if (nLength == 0) {
        ++nPos;
        return kRawByte | c;
    }
    // The lead byte's payload bits, then six bits from each continuation.
    char32_t cp = c & (0x7F >> nLength);
    for (size_t n = 1; n < nLength; ++n)
        cp = (cp << 6) | (static_cast<unsigned char>(str[nPos + n]) & 0x3F);
    nPos += nLength;
    return FoldCase(cp);
}

}  // namespace

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

std::string EntryName(std::string_view strTyped)
{
    std::string strName = TrimBlanks(strTyped);
    std::erase_if(strName, [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
    return strName;
}

std::u32string FoldedName(const std::string& strName)
{
    std::u32string folded;
    for (size_t nPos = 0; nPos < strName.size();)
        folded += NextFoldedUnit(strName, nPos);
    return folded;
}

bool NamesMatch(const std::string& strA, const std::string& strB)
{
    size_t nA = 0;
    size_t nB = 0;
    while (nA < strA.size() && nB < strB.size())
        if (NextFoldedUnit(strA, nA) != NextFoldedUnit(strB, nB))
            return false;
    return nA == strA.size() && nB == strB.size();
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

void CSetList::AttachProfile(CProfileName* pProfile, IFileSystem* pFiles)
{
    m_pProfile = pProfile;
    m_pFiles = pFiles;
}

IFileSystem& CSetList::Files() const { return *m_pFiles; }

std::string CSetList::ProfilePath() const { return Profile().Path(); }

namespace {

// The default profile has no place when no absolute directory is known for
// it; nothing then falls back to the current directory.
CStatus NoPlaceFor(const CProfileName& profile)
{
    return Failure(profile.strName,
                   "the address book has no place: neither XDG_CONFIG_HOME nor HOME names an "
                   "absolute directory",
                   ENOENT);
}

}  // namespace

// The configuration directory is made when it is first needed; a selected
// profile lives wherever its name says and nothing is made for it.
CStatus CSetList::PrepareProfileDirectory() const
{
    if (Profile().bSelected)
        return {};
    return MakeDirectories(Files(), DirectoryOf(ProfilePath()), 0700);
}

void CSetList::LoadProfile()
{
    std::string strText;
    const std::string strPath = ProfilePath();
    // Taken before the read: a change in between makes a later save ask
    // rather than miss it.
    m_identity = strPath.empty() ? CFileIdentity{} : FileIdentity(Files(), strPath);
    m_bIdentityKnown = !strPath.empty();
    m_loadStatus =
        strPath.empty() ? NoPlaceFor(Profile()) : ReadWholeFile(Files(), strPath, strText);
    // A missing file holds no entries; one that is there but can't be read
    // holds entries nobody has seen, and is kept.
    m_bProfileUnread = !m_loadStatus.Ok() && m_loadStatus.nError != ENOENT;
    m_leftovers = {};
    if (m_loadStatus.Ok())
        m_leftovers = AppendEntries(strText);
    m_savedEntries = m_entries;
}

namespace {

// True for a key the list reads: a number below nRead, written as the
// list writes it (no sign, no leading zero).
bool IsListKeyBelow(std::string_view strKey, size_t nRead)
{
    size_t n = 0;
    const auto [pEnd, error] = std::from_chars(strKey.data(), strKey.data() + strKey.size(), n);
    return error == std::errc() && pEnd == strKey.data() + strKey.size() &&
        std::to_string(n) == strKey && n < nRead;
}

}  // namespace

CIniFile::CLeftovers CSetList::AppendEntries(const std::string& strText)
{
    const CIniFile ini = CIniFile::Parse(strText);
    size_t nRead = 0;
    for (;; ++nRead) {
        const std::string strValue = ini.GetProfileString(kListSection, std::to_string(nRead));
        if (strValue.empty())
            break;  // the first missing or empty key ends the list
        m_entries.emplace_back(TrimIniSpace(strValue));
    }
    return ini.Leftovers(
        kListSection, [nRead](std::string_view strKey) { return IsListKeyBelow(strKey, nRead); });
}

std::string FormatProfile(const CSetList& hosts)
{
    std::string strText = "[list]\r\n";
    size_t nKey = 0;
    for (const std::string& strEntry : hosts) {
        strText += std::to_string(nKey++);
        strText += '=';
        if (IsWhollyQuoted(strEntry))
            strText += '"' + strEntry + '"';
        else
            strText += strEntry;
        strText += "\r\n";
    }
    return strText;
}

CSetList::EReplaceRisk CSetList::ReplaceRisk() const
{
    if (m_bProfileUnread)
        return EReplaceRisk::Unread;
    if (m_bIdentityKnown && !(FileIdentity(Files(), ProfilePath()) == m_identity))
        return EReplaceRisk::ChangedOnDisk;
    if (m_leftovers.nCount > 0)
        return EReplaceRisk::Leftovers;
    return EReplaceRisk::None;
}

void CSetList::MarkSaved(const CFileIdentity& identity)
{
    m_savedEntries = m_entries;
    m_bProfileUnread = false;
    m_leftovers = {};
    m_identity = identity;
    m_bIdentityKnown = true;
}

CStatus CSetList::LockProfile(int nWaitMs)
{
    const std::string strPath = ProfilePath();
    if (strPath.empty())
        return NoPlaceFor(Profile());
    const CStatus status = PrepareProfileDirectory();
    return status.Ok() ? m_lock.Take(Files(), strPath, nWaitMs) : status;
}

void CSetList::UnlockProfile() { m_lock.Release(); }

CStatus CSetList::SaveProfile(bool bReplaceAgreed)
{
    const std::string strPath = ProfilePath();
    if (strPath.empty())
        return NoPlaceFor(Profile());
    const std::string strText = FormatProfile(*this);
    if (strText.size() > kProfileSizeLimit)
        return Failure(
            strPath, "would hold more than 16 MiB, more than nuvik reads (so it was not replaced)",
            EFBIG);
    // Under the lock, no other save comes between the check for changes
    // and the rename.
    CBookLock lock;
    CStatus status = PrepareProfileDirectory();
    if (status.Ok() && !m_lock.IsHeld())
        status = lock.Take(Files(), strPath, kBookLockWaitMs);
    if (!status.Ok())
        return status;
    switch (bReplaceAgreed ? EReplaceRisk::None : ReplaceRisk()) {
    case EReplaceRisk::Unread:
        return {m_loadStatus.nError, m_loadStatus.strError + " (so it was not replaced)"};
    case EReplaceRisk::ChangedOnDisk:
        return Failure(strPath, "changed since it was read (so it was not replaced)", EAGAIN);
    case EReplaceRisk::Leftovers:
        return Failure(strPath, "holds entries the list does not carry (so it was not replaced)",
                       EAGAIN);
    case EReplaceRisk::None: break;
    }
    // An empty list leaves no file, but a link someone keeps the profile
    // behind stays, and the file it names then holds no hosts.
    CFileIdentity written;
    if (m_entries.empty() && !IsSymbolicLink(strPath)) {
        status = RemoveFile(Files(), strPath);
        written = FileIdentity(Files(), strPath);
    } else {
        status = WriteFileAtomic(Files(), strPath, strText, &written);
    }
    if (status.Ok())
        MarkSaved(written);
    return status;
}

CStatus CSetList::SaveBeforeExport()
{
    if (ProfilePath().empty() || !IsChanged() || ReplaceRisk() != EReplaceRisk::None)
        return {};
    return SaveProfile();
}

CStatus CSetList::ExportProfile(const std::string& strPath) const
{
    return WriteFileAtomic(Files(), strPath, FormatProfile(*this));
}

CStatus CSetList::ImportProfile(const std::string& strPath)
{
    if (ReplaceRisk() != EReplaceRisk::None) {
        // A profile at risk is not copied over: the chosen file's hosts
        // become the list, and closing asks before they replace it.
        std::string strText;
        CStatus status = ReadWholeFile(Files(), strPath, strText);
        if (status.Ok()) {
            RemoveAll();
            AppendEntries(strText);
        }
        return status;
    }
    CStatus status = ProfilePath().empty() ? NoPlaceFor(Profile()) : PrepareProfileDirectory();
    CBookLock lock;
    if (status.Ok() && !m_lock.IsHeld())
        status = lock.Take(Files(), ProfilePath(), kBookLockWaitMs);
    if (status.Ok())
        status = CopyFileAtomic(Files(), strPath, ProfilePath());
    if (status.Ok()) {
        RemoveAll();
        LoadProfile();
    }
    return status;
}

void CSetList::SelectProfile(std::string strFileName)
{
    CProfileName& profile = Profile();
    profile.strName = std::move(strFileName);
    profile.bSelected = true;
    LoadProfile();
}
