#pragma once
// The few file calls the address book makes, behind an interface so that
// tests can make any of them fail; and the whole-file operations built on
// them: reading a file, replacing a file atomically, copying one.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

struct CFileStatus;

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    // Each call mirrors its POSIX namesake: -1 on failure, with the reason
    // available from LastError() until the next call.
    virtual int Open(const std::string& strPath, int nFlags, mode_t nMode) = 0;
    virtual ssize_t Read(int hFile, void* pData, size_t nLength) = 0;
    virtual ssize_t Write(int hFile, const void* pData, size_t nLength) = 0;
    virtual int Fsync(int hFile) = 0;
    virtual int Close(int hFile) = 0;
    virtual int Rename(const std::string& strFrom, const std::string& strTo) = 0;
    virtual int Unlink(const std::string& strPath) = 0;
    virtual int MkDir(const std::string& strPath, mode_t nMode) = 0;
    virtual int LastError() const = 0;
};

// The operating system's files.
class CPosixFileSystem : public IFileSystem {
public:
    int Open(const std::string& strPath, int nFlags, mode_t nMode) override;
    ssize_t Read(int hFile, void* pData, size_t nLength) override;
    ssize_t Write(int hFile, const void* pData, size_t nLength) override;
    int Fsync(int hFile) override;
    int Close(int hFile) override;
    int Rename(const std::string& strFrom, const std::string& strTo) override;
    int Unlink(const std::string& strPath) override;
    int MkDir(const std::string& strPath, mode_t nMode) override;
    int LastError() const override { return m_nLastError; }

    static CPosixFileSystem& Instance();

private:
    int Result(int nResult);
    int m_nLastError = 0;
};

// Reads the whole file into strData; 0, or the system's error number.
int ReadWholeFile(IFileSystem& files, const std::string& strPath, std::string& strData);

// Replaces the file at strPath by strData without ever leaving a partly
// written file there: the data goes to a temporary file in the same
// directory, is flushed to disk, and is renamed over the old file. On
// failure the old file is untouched and the temporary file is gone.
// A symbolic link is followed: the file it names is replaced, the link stays.
CFileStatus WriteFileAtomic(IFileSystem& files, const std::string& strPath, const std::string& strData);

// Copies strFrom over strTo (replacing it atomically, as above).
CFileStatus CopyFileAtomic(IFileSystem& files, const std::string& strFrom, const std::string& strTo);

// Removes the file; a file that is not there is no error.
CFileStatus RemoveFile(IFileSystem& files, const std::string& strPath);

// Creates the directory and its missing parents with the given mode.
CFileStatus MakeDirectories(IFileSystem& files, const std::string& strPath, mode_t nMode);

// The directory part of a path ("." for a bare name).
std::string DirectoryOf(const std::string& strPath);
