#include "hosts/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>

namespace {

// Links followed before a path is taken for a loop, as the kernel does.
const int kMaxLinkHops = 40;
// Names tried for a temporary file before giving up.
const int kNameAttempts = 16;
// A temporary file untouched for longer than this belongs to no save still
// running: saves take milliseconds.
const time_t kStaleTemporarySeconds = 60;
const size_t kSuffixDigits = 16;

const char* KindOf(mode_t nMode)
{
    if (S_ISFIFO(nMode))
        return "a FIFO";
    if (S_ISCHR(nMode))
        return "a character device";
    if (S_ISBLK(nMode))
        return "a block device";
    if (S_ISSOCK(nMode))
        return "a socket";
    if (S_ISDIR(nMode))
        return "a directory";
    return "not a regular file";
}

// Sixteen hex digits no other writer can guess or repeat: a name built from
// the process id collides in sandboxes that reuse ids.
std::string RandomSuffix()
{
    static std::atomic<uint64_t> s_nCounter{0};
    uint64_t nRandom = 0;
    if (::getrandom(&nRandom, sizeof nRandom, GRND_NONBLOCK) !=
        static_cast<ssize_t>(sizeof nRandom))
        nRandom =
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<uint64_t>(::getpid()) << 40) ^ s_nCounter++;
    char sz[kSuffixDigits + 1];
    std::snprintf(sz, sizeof sz, "%016llx", static_cast<unsigned long long>(nRandom));
    return sz;
}

// The start of the temporary names for a target: ".<name>.".
std::string TemporaryPrefixFor(const std::string& strPath)
{
    return "." + strPath.substr(strPath.find_last_of('/') + 1) + ".";
}

// A hidden name beside the target, for the new file until it replaces it.
std::string TemporaryNameFor(const std::string& strPath)
{
    return DirectoryOf(strPath) + "/" + TemporaryPrefixFor(strPath) + RandomSuffix() + ".tmp";
}

// True for a name TemporaryNameFor gives the target: the prefix, sixteen
// lower-case hex digits, ".tmp".
bool IsTemporaryNameFor(const std::string& strName, const std::string& strPrefix)
{
    if (strName.size() != strPrefix.size() + kSuffixDigits + 4 || !strName.starts_with(strPrefix) ||
        !strName.ends_with(".tmp"))
        return false;
    return std::all_of(strName.begin() + static_cast<ptrdiff_t>(strPrefix.size()),
                       strName.end() - 4,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Removes the temporary files of a save of strPath that was killed before
// its rename (where there are no unnamed files, it leaves one behind).
void RemoveStaleTemporaries(IFileSystem& files, const std::string& strPath)
{
    std::vector<std::string> names;
    if (files.ReadDirectory(DirectoryOf(strPath), names) != 0)
        return;
    const std::string strPrefix = TemporaryPrefixFor(strPath);
    const time_t now = std::time(nullptr);
    for (const std::string& strName : names) {
        if (!IsTemporaryNameFor(strName, strPrefix))
            continue;
        const std::string strFile = DirectoryOf(strPath) + "/" + strName;
        struct stat st { };
        if (files.Lstat(strFile, st) == 0 && S_ISREG(st.st_mode) &&
            now - st.st_mtim.tv_sec > kStaleTemporarySeconds)
            files.Unlink(strFile);
    }
}

// What the new file takes over from the one it replaces.
struct CKeptAttributes {
    mode_t nMode = kNewFileMode;
    bool bOwner = false;  // uid and gid below are the old file's
    uid_t nOwner = 0;
    gid_t nGroup = 0;
};

// Writes the data, gives the file its owner and mode and flushes it; 0 or
// the error number. The mode is set exactly, whatever the umask; a file
// system that keeps no modes leaves the private mode the file was created
// with. The owner is kept only where the process may give files away (as
// root); elsewhere the file stays the writer's.
int FillFile(IFileSystem& files, int hFile, const std::string& strData, const CKeptAttributes& kept,
             CFileIdentity* pWritten)
{
    size_t nDone = 0;
    while (nDone < strData.size()) {
        size_t n = 0;
        const int nError = files.Write(hFile, strData.data() + nDone, strData.size() - nDone, n);
        if (nError == EINTR)
            continue;
        if (nError != 0)
            return nError;
        if (n == 0)
            return EIO;
        nDone += n;
    }
    struct stat st { };
    // Before the mode: a change of owner clears the set-id bits.
    if (kept.bOwner && files.Fstat(hFile, st) == 0 &&
        (st.st_uid != kept.nOwner || st.st_gid != kept.nGroup))
        files.Fchown(hFile, kept.nOwner, kept.nGroup);
    files.Fchmod(hFile, kept.nMode);
    if (const int nError = files.Fsync(hFile))
        return nError;
    if (pWritten != nullptr && files.Fstat(hFile, st) == 0)
        *pWritten = CFileIdentity{true, 0, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    return 0;
}

// Rewrites an existing regular file in place (truncate, write, flush), for
// a directory that takes no new file. A failure part way leaves the file
// cut: only a fallback.
CStatus WriteInPlace(IFileSystem& files, const std::string& strPath, const std::string& strWhere,
                     const std::string& strData, const CKeptAttributes& kept,
                     CFileIdentity* pWritten)
{
    int hFile = -1;
    if (const int nError =
            files.Open(strPath, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0, hFile))
        return Failure(strWhere, nError);
    struct stat st { };
    int nError = files.Fstat(hFile, st);
    if (nError == 0 && !S_ISREG(st.st_mode))
        nError = EINVAL;
    if (nError == 0)
        nError = files.Ftruncate(hFile, 0);
    if (nError == 0)
        nError = FillFile(files, hFile, strData, CKeptAttributes{kept.nMode}, pWritten);
    if (const int nClosed = files.Close(hFile); nError == 0)
        nError = nClosed;
    return nError == 0 ? CStatus{} : Failure(strWhere, nError);
}

// Gives an unnamed file a temporary name beside the target. False when the
// system can't name it (no /proc, say).
bool NameUnnamedFile(IFileSystem& files, int hFile, const std::string& strPath,
                     std::string& strTemp)
{
    for (int nAttempt = 0; nAttempt < kNameAttempts; ++nAttempt) {
        strTemp = TemporaryNameFor(strPath);
        const int nError = files.LinkOpenFile(hFile, strTemp);
        if (nError == 0)
            return true;
        if (nError != EEXIST)
            break;
    }
    strTemp.clear();
    return false;
}

// Creates a new hidden file beside the target, trying fresh names while one
// is taken. 0, or the errno.
int OpenNamedTemporary(IFileSystem& files, const std::string& strPath, std::string& strTemp,
                       int& hFile)
{
    int nError = EEXIST;
    for (int nAttempt = 0; nAttempt < kNameAttempts && nError == EEXIST; ++nAttempt) {
        strTemp = TemporaryNameFor(strPath);
        nError = files.Open(strTemp, O_WRONLY | O_CREAT | O_EXCL, kNewFileMode, hFile);
    }
    return nError;
}

CStatus ReadOpenFile(IFileSystem& files, int hFile, const std::string& strPath,
                     std::string& strData, size_t nLimit)
{
    struct stat st { };
    if (const int nError = files.Fstat(hFile, st))
        return Failure(strPath, nError);
    if (S_ISDIR(st.st_mode))
        return Failure(strPath, EISDIR);
    if (!S_ISREG(st.st_mode))
        return Failure(strPath, std::string("is ") + KindOf(st.st_mode) + ", not a regular file",
                       EINVAL);
    const CStatus tooLarge = Failure(strPath,
                                     "is larger than " + std::to_string(nLimit >> 20) +
                                         " MiB, more than an address book can be",
                                     EFBIG);
    if (static_cast<unsigned long long>(st.st_size) > nLimit)
        return tooLarge;

    strData.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        size_t n = 0;
        const int nError = files.Read(hFile, buffer, sizeof buffer, n);
        if (nError == EINTR)
            continue;
        if (nError != 0)
            return Failure(strPath, nError);
        if (n == 0)
            return {};
        if (strData.size() + n > nLimit)
            return tooLarge;  // it grew while it was read
        strData.append(buffer, n);
    }
}

int Result(int nResult) { return nResult < 0 ? errno : 0; }

}  // namespace

int FinalTarget(const std::string& strPath, std::string& strTarget)
{
    strTarget = strPath;
    for (int nHops = 0; nHops < kMaxLinkHops; ++nHops) {
        char szLink[PATH_MAX];
        const ssize_t n = ::readlink(strTarget.c_str(), szLink, sizeof szLink - 1);
        if (n <= 0)
            return 0;  // not a link, or not there: this is the file
        std::string strNext(szLink, static_cast<size_t>(n));
        if (strNext.front() != '/')
            strNext = DirectoryOf(strTarget) + "/" + strNext;
        strTarget = std::move(strNext);
    }
    return ELOOP;
}

int CPosixFileSystem::Open(const std::string& strPath, int nFlags, mode_t nMode, int& hFile)
{
    hFile = ::open(strPath.c_str(), nFlags | O_CLOEXEC, nMode);
    return Result(hFile);
}

int CPosixFileSystem::Read(int hFile, void* pData, size_t nLength, size_t& nRead)
{
    const ssize_t n = ::read(hFile, pData, nLength);
    nRead = n < 0 ? 0 : static_cast<size_t>(n);
    return Result(static_cast<int>(n < 0 ? -1 : 0));
}

int CPosixFileSystem::Write(int hFile, const void* pData, size_t nLength, size_t& nWritten)
{
    const ssize_t n = ::write(hFile, pData, nLength);
    nWritten = n < 0 ? 0 : static_cast<size_t>(n);
    return Result(static_cast<int>(n < 0 ? -1 : 0));
}

int CPosixFileSystem::Fstat(int hFile, struct stat& st) { return Result(::fstat(hFile, &st)); }
int CPosixFileSystem::Stat(const std::string& strPath, struct stat& st)
{
    return Result(::stat(strPath.c_str(), &st));
}
int CPosixFileSystem::Lstat(const std::string& strPath, struct stat& st)
{
    return Result(::lstat(strPath.c_str(), &st));
}
int CPosixFileSystem::Fchmod(int hFile, mode_t nMode) { return Result(::fchmod(hFile, nMode)); }
int CPosixFileSystem::Fchown(int hFile, uid_t nOwner, gid_t nGroup)
{
    return Result(::fchown(hFile, nOwner, nGroup));
}
int CPosixFileSystem::Ftruncate(int hFile, off_t nLength)
{
    return Result(::ftruncate(hFile, nLength));
}
int CPosixFileSystem::Fsync(int hFile) { return Result(::fsync(hFile)); }
int CPosixFileSystem::Close(int hFile) { return Result(::close(hFile)); }

int CPosixFileSystem::LinkOpenFile(int hFile, const std::string& strTo)
{
    // By the descriptor itself where the process may (it needs a capability),
    // otherwise through its entry in /proc.
    if (::linkat(hFile, "", AT_FDCWD, strTo.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    const std::string strProc = "/proc/self/fd/" + std::to_string(hFile);
    return Result(::linkat(AT_FDCWD, strProc.c_str(), AT_FDCWD, strTo.c_str(), AT_SYMLINK_FOLLOW));
}

int CPosixFileSystem::Rename(const std::string& strFrom, const std::string& strTo)
{
    return Result(::rename(strFrom.c_str(), strTo.c_str()));
}
int CPosixFileSystem::Unlink(const std::string& strPath)
{
    return Result(::unlink(strPath.c_str()));
}
int CPosixFileSystem::MkDir(const std::string& strPath, mode_t nMode)
{
    return Result(::mkdir(strPath.c_str(), nMode));
}

int CPosixFileSystem::ReadDirectory(const std::string& strPath, std::vector<std::string>& names)
{
    names.clear();
    DIR* pDir = ::opendir(strPath.c_str());
    if (pDir == nullptr)
        return errno;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string strName = pEntry->d_name;
        if (strName != "." && strName != "..")
            names.push_back(strName);
    }
    ::closedir(pDir);
    return 0;
}

int CPosixFileSystem::Lock(int hFile, int nWaitMs)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t nEndMs = now.tv_sec * int64_t{1000} + now.tv_nsec / 1000000 + nWaitMs;
    for (;;) {
        if (::flock(hFile, LOCK_EX | LOCK_NB) == 0)
            return 0;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return errno;
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec * int64_t{1000} + now.tv_nsec / 1000000 >= nEndMs)
            return EWOULDBLOCK;
        const timespec pause{0, 10 * 1000000};
        nanosleep(&pause, nullptr);
    }
}

std::string DirectoryOf(const std::string& strPath)
{
    const size_t nSlash = strPath.find_last_of('/');
    if (nSlash == std::string::npos)
        return ".";
    if (nSlash == 0)
        return "/";
    return strPath.substr(0, nSlash);
}

bool IsSymbolicLink(const std::string& strPath)
{
    struct stat st { };
    return ::lstat(strPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

CStatus ReadWholeFile(IFileSystem& files, const std::string& strPath, std::string& strData,
                      size_t nLimit)
{
    strData.clear();
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    int hFile = -1;
    if (const int nError = files.Open(strPath, O_RDONLY | O_NONBLOCK | O_NOCTTY, 0, hFile))
        return Failure(strPath, nError);
    CStatus status = ReadOpenFile(files, hFile, strPath, strData, nLimit);
    files.Close(hFile);
    if (!status.Ok())
        strData.clear();
    return status;
}

bool CFileIdentity::operator==(const CFileIdentity& other) const
{
    return bExists == other.bExists && nError == other.nError && nDevice == other.nDevice &&
        nInode == other.nInode && nSize == other.nSize &&
        modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

CFileIdentity FileIdentity(IFileSystem& files, const std::string& strPath)
{
    struct stat st { };
    if (const int nError = files.Stat(strPath, st))
        return CFileIdentity{false, nError};
    return CFileIdentity{true, 0, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

namespace {

// Writes the new file beside the target and renames it over it; on failure
// nothing is left behind and the target is as it was.
CStatus ReplaceByNewFile(IFileSystem& files, const std::string& strPath,
                         const std::string& strWhere, const std::string& strData,
                         const CKeptAttributes& kept, bool bExists, CFileIdentity* pWritten)
{
    // An unnamed file first: should the process die before the rename, the
    // file goes with it. It gets a name only once it is complete.
    std::string strTemp;
    int hFile = -1;
    if (files.Open(DirectoryOf(strPath), O_TMPFILE | O_WRONLY, kNewFileMode, hFile) == 0) {
        if (const int nError = FillFile(files, hFile, strData, kept, pWritten)) {
            files.Close(hFile);
            return Failure(strWhere, nError);
        }
        if (!NameUnnamedFile(files, hFile, strPath, strTemp)) {
            files.Close(hFile);
            hFile = -1;
        }
    } else {
        hFile = -1;
    }
    if (hFile < 0) {
        // No unnamed files on this file system, or no way to name one.
        if (const int nError = OpenNamedTemporary(files, strPath, strTemp, hFile)) {
            // A folder the user can't write (shared, or root's) may still
            // hold a book the user may write.
            if (bExists && (nError == EACCES || nError == EPERM))
                return WriteInPlace(files, strPath, strWhere, strData, kept, pWritten);
            return Failure(strWhere, nError);
        }
        if (const int nError = FillFile(files, hFile, strData, kept, pWritten)) {
            files.Close(hFile);
            files.Unlink(strTemp);
            return Failure(strWhere, nError);
        }
    }
    // Up to the rename the old file is untouched.
    int nError = files.Close(hFile);
    if (nError == 0)
        nError = files.Rename(strTemp, strPath);
    if (nError != 0) {
        files.Unlink(strTemp);
        return Failure(strWhere, nError);
    }
    return {};
}

}  // namespace

CStatus WriteFileAtomic(IFileSystem& files, const std::string& strPathAsNamed,
                        const std::string& strData, CFileIdentity* pWritten)
{
    std::string strPath;
    if (const int nError = FinalTarget(strPathAsNamed, strPath))
        return Failure(strPathAsNamed, nError);
    // Through a link, a message names the file that is at stake.
    const std::string strWhere = strPath == strPathAsNamed
        ? strPath
        : strPath + " (where the link " + strPathAsNamed + " leads)";
    CKeptAttributes kept;
    struct stat st { };
    const bool bExists = files.Stat(strPath, st) == 0;
    if (bExists && !S_ISREG(st.st_mode))
        return Failure(strWhere,
                       std::string("is ") + KindOf(st.st_mode) +
                           ", not a regular file: nothing was written",
                       S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (bExists) {
        // A mode that kept its owner from reading the file would hide what
        // was just saved at the next start.
        kept =
            CKeptAttributes{(st.st_mode & 07777) | S_IRUSR | S_IWUSR, true, st.st_uid, st.st_gid};
    }
    if (CStatus status =
            ReplaceByNewFile(files, strPath, strWhere, strData, kept, bExists, pWritten);
        !status.Ok())
        return status;

    // Make the rename itself durable. The new file is in place by now, so a
    // directory that can't be synced (some file systems refuse) is no failure.
    int hDir = -1;
    if (files.Open(DirectoryOf(strPath), O_RDONLY | O_DIRECTORY, 0, hDir) == 0) {
        files.Fsync(hDir);
        files.Close(hDir);
    }
    RemoveStaleTemporaries(files, strPath);
    return {};
}

CStatus CopyFileAtomic(IFileSystem& files, const std::string& strFrom, const std::string& strTo)
{
    std::string strData;
    if (CStatus status = ReadWholeFile(files, strFrom, strData); !status.Ok())
        return status;
    return WriteFileAtomic(files, strTo, strData);
}

CStatus RemoveFile(IFileSystem& files, const std::string& strPath)
{
    if (const int nError = files.Unlink(strPath); nError != 0 && nError != ENOENT)
        return Failure(strPath, nError);
    return {};
}

CStatus MakeDirectories(IFileSystem& files, const std::string& strPath, mode_t nMode)
{
    if (strPath.empty() || strPath == "/" || strPath == ".")
        return {};
    int nError = files.MkDir(strPath, nMode);
    if (nError == ENOENT) {
        if (CStatus parent = MakeDirectories(files, DirectoryOf(strPath), nMode); !parent.Ok())
            return parent;
        nError = files.MkDir(strPath, nMode);
    }
    // Something of that name is there already. Should it be no directory, the
    // file meant for it can't be created either, and that failure is reported.
    if (nError == 0 || nError == EEXIST)
        return {};
    return Failure(strPath, nError);
}
