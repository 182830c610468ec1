#pragma once
// The real file system, except that any call can be told to fail with a
// chosen error; records the calls made.
#include <fcntl.h>

#include <map>
#include <string>
#include <vector>

#include "hosts/FileSystem.h"

class CFaultyFileSystem : public IFileSystem {
public:
    std::map<std::string, int> failures;  // "open", "write", "fsync", "close", "rename", "link", ... -> errno
    std::vector<std::string> ops;

    int Open(const std::string& strPath, int nFlags, mode_t nMode) override
    {
        // "tmpfile": a file system without unnamed files.
        if ((nFlags & O_TMPFILE) == O_TMPFILE && Fails("tmpfile"))
            return -1;
        return Fails("open") ? -1 : Pass(m_real.Open(strPath, nFlags, nMode));
    }
    ssize_t Read(int hFile, void* pData, size_t nLength) override
    {
        return Fails("read") ? -1 : Pass(m_real.Read(hFile, pData, nLength));
    }
    ssize_t Write(int hFile, const void* pData, size_t nLength) override
    {
        if (Fails("write"))
            return -1;
        // A short write first, so that callers must loop.
        return Pass(m_real.Write(hFile, pData, nLength > 1 ? nLength / 2 : nLength));
    }
    int Fstat(int hFile, struct stat& st) override { return Fails("fstat") ? -1 : Pass(m_real.Fstat(hFile, st)); }
    int Stat(const std::string& strPath, struct stat& st) override
    {
        return Fails("stat") ? -1 : Pass(m_real.Stat(strPath, st));
    }
    int Fchmod(int hFile, mode_t nMode) override { return Fails("fchmod") ? -1 : Pass(m_real.Fchmod(hFile, nMode)); }
    int Fsync(int hFile) override { return Fails("fsync") ? -1 : Pass(m_real.Fsync(hFile)); }
    int LinkOpenFile(int hFile, const std::string& strTo) override
    {
        return Fails("link") ? -1 : Pass(m_real.LinkOpenFile(hFile, strTo));
    }
    int Close(int hFile) override
    {
        // A failing close still releases the descriptor, as close(2) does.
        const int nResult = m_real.Close(hFile);
        return Fails("close") ? -1 : Pass(nResult);
    }
    int Rename(const std::string& strFrom, const std::string& strTo) override
    {
        return Fails("rename") ? -1 : Pass(m_real.Rename(strFrom, strTo));
    }
    int Unlink(const std::string& strPath) override { return Fails("unlink") ? -1 : Pass(m_real.Unlink(strPath)); }
    int MkDir(const std::string& strPath, mode_t nMode) override
    {
        return Fails("mkdir") ? -1 : Pass(m_real.MkDir(strPath, nMode));
    }
    int LastError() const override { return m_nLastError; }

private:
    template <typename T>
    T Pass(T result)
    {
        m_nLastError = m_real.LastError();
        return result;
    }
    bool Fails(const char* pszOp)
    {
        ops.push_back(pszOp);
        const auto it = failures.find(pszOp);
        m_nLastError = it == failures.end() ? 0 : it->second;
        return it != failures.end();
    }

    CPosixFileSystem m_real;
    int m_nLastError = 0;
};
