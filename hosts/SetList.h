#pragma once
// The host list: the address book in memory, an ordered list of host entries
// ("name address hardware-address", fields separated by spaces), and its
// profile file on disk.
#include <list>
#include <string>

class IFileChooser;
struct CProfileName;

// Outcome of a file operation: on failure, the path and the system's reason.
struct CFileStatus {
    bool bOk = true;
    std::string strError;  // "<path>: <reason>" when !bOk
};

// Outcome of an operation that asks the user for a file first.
struct CDialogOutcome {
    int nResult = 0;       // 1 confirmed, 0 cancelled
    CFileStatus status;    // what became of the copy when confirmed
};

class CSetList {
public:
    CSetList() = default;

    // Where the profile file is and who picks files for export and import.
    void AttachProfile(CProfileName* pProfile, IFileChooser* pChooser);

    // The list itself.
    using const_iterator = std::list<std::string>::const_iterator;
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }
    size_t GetCount() const { return m_entries.size(); }
    bool IsEmpty() const { return m_entries.empty(); }
    void AddHead(std::string strEntry) { m_entries.push_front(std::move(strEntry)); }
    void AddTail(std::string strEntry) { m_entries.push_back(std::move(strEntry)); }
    void RemoveAll() { m_entries.clear(); }

    // Lookup by name (field 0, compared without regard to ASCII letter case;
    // the first match from the head counts).
    std::string FindHostField(std::string strName, int k) const;
    int AddOrReplaceHost(std::string strEntry);  // 0 nothing, 1 added, 2 replaced
    int RemoveHost(std::string strName);         // 1 removed, 0 not found

    // The profile file.
    int LoadProfile();
    CFileStatus SaveProfile();
    CDialogOutcome ExportProfile();
    CDialogOutcome ImportProfile();
    int SelectProfile(std::string strFileName);

private:
    std::list<std::string> m_entries;
    CProfileName* m_pProfile = nullptr;
    IFileChooser* m_pChooser = nullptr;
};

// Field k of an entry: fields are maximal runs of non-space bytes; the empty
// text when the entry has fewer than k + 1 fields.
std::string EntryField(const std::string& strEntry, int k);
