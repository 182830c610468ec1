#pragma once
// The few file calls the address book makes, behind an interface so that
// tests can make any of them fail; and the whole-file operations built on
// them: reading a file, replacing a file atomically, copying one.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "base/Error.h"

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    // Each call mirrors its POSIX namesake and returns 0 or the errno of its
    // failure.
    virtual int Open(const std::string& strPath, int nFlags, mode_t nMode, int& hFile) = 0;
    virtual int Read(int hFile, void* pData, size_t nLength, size_t& nRead) = 0;
    virtual int Write(int hFile, const void* pData, size_t nLength, size_t& nWritten) = 0;
    virtual int Fstat(int hFile, struct stat& st) = 0;
    virtual int Stat(const std::string& strPath, struct stat& st) = 0;
    virtual int Lstat(const std::string& strPath, struct stat& st) = 0;
    virtual int Fchmod(int hFile, mode_t nMode) = 0;
    virtual int Fchown(int hFile, uid_t nOwner, gid_t nGroup) = 0;
    virtual int Ftruncate(int hFile, off_t nLength) = 0;
    virtual int Fsync(int hFile) = 0;
    virtual int Close(int hFile) = 0;
    // Gives an open file made with O_TMPFILE the name strTo (linkat).
    virtual int LinkOpenFile(int hFile, const std::string& strTo) = 0;
    virtual int Rename(const std::string& strFrom, const std::string& strTo) = 0;
    virtual int Unlink(const std::string& strPath) = 0;
    virtual int MkDir(const std::string& strPath, mode_t nMode) = 0;
    // The names in a directory, "." and ".." left out.
    virtual int ReadDirectory(const std::string& strPath, std::vector<std::string>& names) = 0;
    // An exclusive flock(2) on the open file, waited for at most nWaitMs:
    // 0, EWOULDBLOCK when another holder kept it that long, or the errno.
    virtual int Lock(int hFile, int nWaitMs) = 0;
};

// The operating system's files.
class CPosixFileSystem : public IFileSystem {
public:
    int Open(const std::string& strPath, int nFlags, mode_t nMode, int& hFile) override;
    int Read(int hFile, void* pData, size_t nLength, size_t& nRead) override;
    int Write(int hFile, const void* pData, size_t nLength, size_t& nWritten) override;
    int Fstat(int hFile, struct stat& st) override;
    int Stat(const std::string& strPath, struct stat& st) override;
    int Lstat(const std::string& strPath, struct stat& st) override;
    int Fchmod(int hFile, mode_t nMode) override;
    int Fchown(int hFile, uid_t nOwner, gid_t nGroup) override;
    int Ftruncate(int hFile, off_t nLength) override;
    int Fsync(int hFile) override;
    int Close(int hFile) override;
    int LinkOpenFile(int hFile, const std::string& strTo) override;
    int Rename(const std::string& strFrom, const std::string& strTo) override;
    int Unlink(const std::string& strPath) override;
    int MkDir(const std::string& strPath, mode_t nMode) override;
    int ReadDirectory(const std::string& strPath, std::vector<std::string>& names) override;
    int Lock(int hFile, int nWaitMs) override;
};

// The largest profile nuvik reads: far above any address book (100,000
// hosts take about 5 MB), and a bound on what a wrong file can cost.
constexpr size_t kProfileSizeLimit = 16 * 1024 * 1024;

// Reads the whole file into strData. Only a regular file of at most nLimit
// bytes is read; the file is opened without blocking, so a FIFO or a device
// is refused at once rather than waited on.
CStatus ReadWholeFile(IFileSystem& files, const std::string& strPath, std::string& strData,
                      size_t nLimit = kProfileSizeLimit);

// Mode of a file nuvik creates: the address book is a private list.
constexpr mode_t kNewFileMode = 0600;

// What tells one state of a file from another: which file it is, its size
// and when it was last written. A path that names nothing has bExists false
// (nError: why the path could not be looked at).
struct CFileIdentity {
    bool bExists = false;
    int nError = 0;
    dev_t nDevice = 0;
    ino_t nInode = 0;
    off_t nSize = 0;
    timespec modified{};
    bool operator==(const CFileIdentity& other) const;
};
CFileIdentity FileIdentity(IFileSystem& files, const std::string& strPath);

// Replaces the file at strPath by strData without ever leaving a partly
// written file there: the data goes to an unnamed file in the same directory
// (or, where the file system has none, a hidden one with an unpredictable
// name), is flushed to disk, and is renamed over the old file. On failure
// the old file is untouched and nothing is left behind; hidden files of that
// naming that a killed save left (older than a minute) are removed by the
// next save. A symbolic link is followed, also a dangling one: the file it
// names is replaced or created, the link stays. Only a regular file is
// replaced: a FIFO, a device, a socket or a directory there is refused and
// nothing is written. The new file keeps the mode of the one it replaces,
// plus read and write for its owner, and (where the process may) its owner
// and group; a new one gets kNewFileMode. When the directory takes no new
// file but the file itself may be written, it is rewritten in place: not
// atomic, so only then. pWritten, when given, gets the new file's identity.
CStatus WriteFileAtomic(IFileSystem& files, const std::string& strPath, const std::string& strData,
                        CFileIdentity* pWritten = nullptr);

// Copies strFrom over strTo (read as ReadWholeFile reads, replaced as above).
CStatus CopyFileAtomic(IFileSystem& files, const std::string& strFrom, const std::string& strTo);

// Removes the file; a file that is not there is no error.
CStatus RemoveFile(IFileSystem& files, const std::string& strPath);

// Creates the directory and its missing parents with the given mode.
CStatus MakeDirectories(IFileSystem& files, const std::string& strPath, mode_t nMode);

// The directory part of a path ("." for a bare name).
std::string DirectoryOf(const std::string& strPath);

// The file a path finally names. Links are followed one by one, also to a
// target that does not exist yet, so that a dangling link gets its file
// created rather than being replaced itself. 0, or the error number.
int FinalTarget(const std::string& strPath, std::string& strTarget);

// True when the path names a symbolic link (which may dangle).
bool IsSymbolicLink(const std::string& strPath);
