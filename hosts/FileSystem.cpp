#include "hosts/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "hosts/SetList.h"
#include "net/SocketLayer.h"

namespace {

CFileStatus Failure(const std::string& strPath, int nError)
{
    return CFileStatus{false, strPath + ": " + ErrorText(nError)};
}

// A name no other writer of the same directory picks: the target's own name
// hidden behind a dot, with the process id and a counter.
std::string TemporaryNameFor(const std::string& strPath)
{
    static std::atomic<unsigned> s_nCounter{0};
    const std::string strDir = DirectoryOf(strPath);
    const std::string strBase = strPath.substr(strPath.find_last_of('/') + 1);
    return strDir + "/." + strBase + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(s_nCounter++);
}

// A file kept as a symbolic link (a dotfile manager's, say) is replaced
// where the link points, so that the link stays.
std::string LinkTarget(const std::string& strPath)
{
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return strPath;
    char* pszReal = ::realpath(strPath.c_str(), nullptr);
    if (pszReal == nullptr)
        return strPath;
    std::string strReal = pszReal;
    std::free(pszReal);
    return strReal;
}

} // namespace

int CPosixFileSystem::Result(int nResult)
{
    m_nLastError = nResult < 0 ? errno : 0;
    return nResult;
}

int CPosixFileSystem::Open(const std::string& strPath, int nFlags, mode_t nMode)
{
    return Result(::open(strPath.c_str(), nFlags | O_CLOEXEC, nMode));
}

ssize_t CPosixFileSystem::Read(int hFile, void* pData, size_t nLength)
{
    const ssize_t n = ::read(hFile, pData, nLength);
    m_nLastError = n < 0 ? errno : 0;
    return n;
}

ssize_t CPosixFileSystem::Write(int hFile, const void* pData, size_t nLength)
{
    const ssize_t n = ::write(hFile, pData, nLength);
    m_nLastError = n < 0 ? errno : 0;
    return n;
}

int CPosixFileSystem::Fsync(int hFile) { return Result(::fsync(hFile)); }
int CPosixFileSystem::Close(int hFile) { return Result(::close(hFile)); }
int CPosixFileSystem::Rename(const std::string& strFrom, const std::string& strTo)
{
    return Result(::rename(strFrom.c_str(), strTo.c_str()));
}
int CPosixFileSystem::Unlink(const std::string& strPath) { return Result(::unlink(strPath.c_str())); }
int CPosixFileSystem::MkDir(const std::string& strPath, mode_t nMode) { return Result(::mkdir(strPath.c_str(), nMode)); }

CPosixFileSystem& CPosixFileSystem::Instance()
{
    static CPosixFileSystem s_files;
    return s_files;
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

int ReadWholeFile(IFileSystem& files, const std::string& strPath, std::string& strData)
{
    strData.clear();
    const int hFile = files.Open(strPath, O_RDONLY, 0);
    if (hFile < 0)
        return files.LastError();
    char buffer[65536];
    for (;;) {
        const ssize_t n = files.Read(hFile, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            const int nError = files.LastError();
            if (nError == EINTR)
                continue;
            files.Close(hFile);
            return nError;
        }
        strData.append(buffer, static_cast<size_t>(n));
    }
    files.Close(hFile);
    return 0;
}

CFileStatus WriteFileAtomic(IFileSystem& files, const std::string& strPathAsNamed, const std::string& strData)
{
    const std::string strPath = LinkTarget(strPathAsNamed);
    const std::string strTemp = TemporaryNameFor(strPath);
    const int hFile = files.Open(strTemp, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (hFile < 0)
        return Failure(strPath, files.LastError());

    // Every step up to the rename can fail; the old file is untouched until then.
    auto abandon = [&](int nError, bool bOpen) {
        if (bOpen)
            files.Close(hFile);
        files.Unlink(strTemp);
        return Failure(strPath, nError);
    };

    size_t nDone = 0;
    while (nDone < strData.size()) {
        const ssize_t n = files.Write(hFile, strData.data() + nDone, strData.size() - nDone);
        if (n < 0) {
            if (files.LastError() == EINTR)
                continue;
            return abandon(files.LastError(), true);
        }
        if (n == 0)
            return abandon(EIO, true);
        nDone += static_cast<size_t>(n);
    }
    if (files.Fsync(hFile) != 0)
        return abandon(files.LastError(), true);
    if (files.Close(hFile) != 0)
        return abandon(files.LastError(), false);
    if (files.Rename(strTemp, strPath) != 0)
        return abandon(files.LastError(), false);

    // Make the rename itself durable. The new file is in place by now, so a
    // directory that can't be synced (some file systems refuse) is no failure.
    const int hDir = files.Open(DirectoryOf(strPath), O_RDONLY | O_DIRECTORY, 0);
    if (hDir >= 0) {
        files.Fsync(hDir);
        files.Close(hDir);
    }
    return {};
}

CFileStatus CopyFileAtomic(IFileSystem& files, const std::string& strFrom, const std::string& strTo)
{
    std::string strData;
    if (const int nError = ReadWholeFile(files, strFrom, strData); nError != 0)
        return Failure(strFrom, nError);
    return WriteFileAtomic(files, strTo, strData);
}

CFileStatus RemoveFile(IFileSystem& files, const std::string& strPath)
{
    if (files.Unlink(strPath) != 0 && files.LastError() != ENOENT)
        return Failure(strPath, files.LastError());
    return {};
}

CFileStatus MakeDirectories(IFileSystem& files, const std::string& strPath, mode_t nMode)
{
    if (strPath.empty() || strPath == "/" || strPath == ".")
        return {};
    if (files.MkDir(strPath, nMode) == 0)
        return {};
    int nError = files.LastError();
    if (nError == ENOENT) {
        if (CFileStatus parent = MakeDirectories(files, DirectoryOf(strPath), nMode); !parent.bOk)
            return parent;
        if (files.MkDir(strPath, nMode) == 0)
            return {};
        nError = files.LastError();
    }
    // Something of that name is there already. Should it be no directory, the
    // file meant for it can't be created either, and that failure is reported.
    if (nError == EEXIST)
        return {};
    return Failure(strPath, nError);
}
