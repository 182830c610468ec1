#include "hosts/BookLock.h"

#include <fcntl.h>

#include <cerrno>

CStatus CBookLock::Take(IFileSystem& files, const std::string& strBookPath, int nWaitMs)
{
    Release();
    std::string strTarget;
    if (const int nError = FinalTarget(strBookPath, strTarget))
        return Failure(strBookPath, nError);
    const size_t nSlash = strTarget.rfind('/');
    const std::string strLock =
        (nSlash == std::string::npos ? "" : strTarget.substr(0, nSlash + 1)) + "." +
        strTarget.substr(nSlash == std::string::npos ? 0 : nSlash + 1) + ".lock";
    // Read-only suffices for flock; another user of a shared book can open it.
    const int nFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int hFile = -1;
    int nError = files.Open(strLock, nFlags | O_CREAT, 0644, hFile);
    if (nError == EACCES || nError == EROFS || nError == EPERM) {
        // No new file in the directory: the book is rewritten in place, so
        // the lock can be on the book itself.
        if (files.Open(strTarget, nFlags, 0, hFile) != 0)
            return Failure("cannot make the address book's lock file " + strLock, nError);
        nError = 0;
    }
    if (nError)
        return Failure("cannot make the address book's lock file " + strLock, nError);
    nError = files.Lock(hFile, nWaitMs);
    if (nError) {
        files.Close(hFile);
        return nError == EWOULDBLOCK
            ? Failure(strBookPath,
                      "another program is changing the address book (its lock " + strLock +
                          " was held for " + std::to_string(nWaitMs / 1000) + " s)",
                      nError)
            : Failure("cannot lock the address book's lock file " + strLock, nError);
    }
    m_pFiles = &files;
    m_hFile = hFile;
    return {};
}

void CBookLock::Release()
{
    if (m_hFile >= 0)
        m_pFiles->Close(m_hFile);
    m_hFile = -1;
}
