#pragma once
// The host list: the address book in memory, an ordered list of host entries
// ("name address hardware-address", fields separated by spaces), and its
// profile file on disk.
#include <list>
#include <string>
#include <string_view>

#include "hosts/BookLock.h"
#include "hosts/FileSystem.h"
#include "hosts/IniFile.h"
#include "hosts/ProfileName.h"

class CSetList {
public:
    CSetList() = default;

    // Where the profile file is, and the file system it is read and written
    // through, which every operation on the file needs. Until a profile is
    // attached the list uses its own default profile name, nuvik.INI.
    void AttachProfile(CProfileName* pProfile, IFileSystem* pFiles);

    // The list itself.
    using const_iterator = std::list<std::string>::const_iterator;
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }
    size_t GetCount() const { return m_entries.size(); }
    bool IsEmpty() const { return m_entries.empty(); }
    void AddTail(std::string strEntry) { m_entries.push_back(std::move(strEntry)); }
    void ReplaceEntry(const_iterator it, std::string strEntry)
    {
        *m_entries.erase(it, it) = std::move(strEntry);
    }
    void RemoveAll() { m_entries.clear(); }

    // Lookup by name (field 0, compared as NamesMatch does; the first match
    // from the head counts).
    std::string FindHostField(std::string strName, int k) const;
    int AddOrReplaceHost(std::string strEntry);  // 0 nothing, 1 added, 2 replaced
    int RemoveHost(std::string strName);         // 1 removed, 0 not found

    // The profile file: section "list", keys "0", "1", ... in list order.
    // LoadProfile appends the entries of the profile file (a missing or
    // unreadable file holds none); LoadStatus() tells how the read went.
    void LoadProfile();
    const CStatus& LoadStatus() const { return m_loadStatus; }
    // A profile file that is there but could not be read is kept as it is:
    // no save, export or import of this list replaces or removes it until
    // the user has agreed. It counts as read once a save of it succeeded.
    bool IsProfileUnread() const { return m_bProfileUnread; }
    // What the profile file held that the list does not carry (keys after
    // the first gap, keys that are not numbers, other sections, comments):
    // a save drops it.
    const CIniFile::CLeftovers& Leftovers() const { return m_leftovers; }
    // True when the list differs from what was last loaded or saved.
    bool IsChanged() const { return m_entries != m_savedEntries; }
    // Why replacing the profile file would lose something nobody agreed to
    // lose: it could not be read, someone changed it since it was loaded or
    // saved (its identity, size or time), or it holds leftovers.
    enum class EReplaceRisk { None, Unread, ChangedOnDisk, Leftovers };
    EReplaceRisk ReplaceRisk() const;
    // Replaces the profile file atomically by the list (an empty list removes
    // it, or empties the file a symbolic link names); on failure the previous
    // file is as it was. Refused while ReplaceRisk() is not None, unless the
    // user agreed to replace it.
    CStatus SaveProfile(bool bReplaceAgreed = false);
    // Takes the book's lock (see CBookLock) for a read, change and save; a
    // save meanwhile takes no lock of its own. Every save and import takes
    // it for its own while. A list that would hold more than the reading
    // limit is never saved.
    CStatus LockProfile(int nWaitMs = kBookLockWaitMs);
    void UnlockProfile();
    // The save that comes before an export's file dialog: a changed list is
    // saved; a profile file at risk (or with no place) is left as it is.
    CStatus SaveBeforeExport();
    // Writes the list to strPath as a save writes the profile file.
    CStatus ExportProfile(const std::string& strPath) const;
    // Copies strPath over the profile file; when the copy succeeded the list
    // is emptied and loaded again, otherwise it stays. A profile file at risk
    // (ReplaceRisk) is not copied over: the file's entries become the list,
    // and a save asks first.
    CStatus ImportProfile(const std::string& strPath);
    // Makes strFileName (a path, relative to the current directory) the
    // profile file and appends its entries.
    void SelectProfile(std::string strFileName);

    // The profile file's path as the operations above use it.
    std::string ProfilePath() const;

private:
    CProfileName& Profile() { return m_pProfile ? *m_pProfile : m_ownProfile; }
    const CProfileName& Profile() const { return m_pProfile ? *m_pProfile : m_ownProfile; }
    IFileSystem& Files() const;
    CStatus PrepareProfileDirectory() const;
    CIniFile::CLeftovers AppendEntries(const std::string& strText);
    void MarkSaved(const CFileIdentity& identity);

    std::list<std::string> m_entries;
    std::list<std::string> m_savedEntries;  // as last loaded or saved
    CStatus m_loadStatus;
    bool m_bProfileUnread = false;
    CIniFile::CLeftovers m_leftovers;
    bool m_bIdentityKnown = false;  // m_identity is the file as loaded or saved
    CFileIdentity m_identity;
    CProfileName m_ownProfile = CProfileName::Default("nuvik");
    CProfileName* m_pProfile = nullptr;
    IFileSystem* m_pFiles = nullptr;
    CBookLock m_lock;
};

// The text of a profile file holding the entries, as nuvik writes it:
// "[list]" and then "<key>=<entry>" lines, CR LF line ends; an entry wholly
// in quotes goes in one more pair, so that a load gives it back.
std::string FormatProfile(const CSetList& hosts);

// Compares names as the list does: UTF-8 characters without regard to case
// (Unicode's simple case folding, so the command line and the window agree),
// and bytes that are not UTF-8 exactly.
bool NamesMatch(const std::string& strA, const std::string& strB);
// A name as NamesMatch compares it: two names match when these are equal.
std::u32string FoldedName(const std::string& strName);

// A name as File > Add stores it: one word on one line. Blanks at either end
// go, and so do spaces and line breaks within (pasted text can bring them),
// which the profile file could not hold.
std::string EntryName(std::string_view strTyped);

// Field k of an entry: fields are maximal runs of non-space bytes; the empty
// text when the entry has fewer than k + 1 fields.
std::string EntryField(const std::string& strEntry, int k);
