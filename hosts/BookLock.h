#pragma once
// The address book's advisory lock: whoever changes the book (the window's
// save, a scan that adds hosts) reads, changes and writes it under the
// lock, so that two changes at once can't lose each other's hosts. The lock
// is an flock(2) on a hidden file beside the book (".<name>.lock", never
// removed): the book itself is replaced by a rename, which a lock on the
// file would not survive. Where its directory takes no new file, the book
// is locked itself (it is then rewritten in place, not renamed).
#include <string>
#include <utility>

#include "base/Error.h"
#include "hosts/FileSystem.h"

class CBookLock {
public:
    CBookLock() = default;
    CBookLock(CBookLock&& other) noexcept
        : m_pFiles(other.m_pFiles)
        , m_hFile(std::exchange(other.m_hFile, -1))
    { }
    CBookLock& operator=(CBookLock&&) = delete;
    ~CBookLock() { Release(); }

    // Takes the lock of the book at strBookPath (a link is followed to the
    // file it names), waiting at most nWaitMs for another holder.
    CStatus Take(IFileSystem& files, const std::string& strBookPath, int nWaitMs);
    void Release();
    bool IsHeld() const { return m_hFile >= 0; }

private:
    IFileSystem* m_pFiles = nullptr;
    int m_hFile = -1;
};

// How long a change of the book waits for another one to end: saves take
// milliseconds, so a lock held longer belongs to something stuck.
constexpr int kBookLockWaitMs = 10000;
