#include "net/SocketLayer.h"

#include "net/InterfaceControl.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
template <typename T>
T Track(T nResult, int& nLastError)
{
    nLastError = nResult < 0 ? errno : 0;
    return nResult;
}
}  // namespace

int CPosixSocketLayer::Socket(int nFamily, int nType, int nProtocol)
{
    return Track(::socket(nFamily, nType | SOCK_CLOEXEC, nProtocol), m_nLastError);
}

int CPosixSocketLayer::SetSockOpt(int hSocket, int nLevel, int nOption, const void* pValue,
                                  socklen_t nLength)
{
    return Track(::setsockopt(hSocket, nLevel, nOption, pValue, nLength), m_nLastError);
}

int CPosixSocketLayer::Bind(int hSocket, const sockaddr_in& addr)
{
    return Track(::bind(hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr),
                 m_nLastError);
}

ssize_t CPosixSocketLayer::SendTo(int hSocket, const void* pData, size_t nLength, int nFlags,
                                  const sockaddr_in& addr)
{
    ssize_t nSent;
    do {
        nSent = ::sendto(hSocket, pData, nLength, nFlags, reinterpret_cast<const sockaddr*>(&addr),
                         sizeof addr);
    } while (nSent < 0 && errno == EINTR);
    return Track(nSent, m_nLastError);
}

ssize_t CPosixSocketLayer::SendMsg(int hSocket, const void* pData, size_t nLength, int nFlags,
                                   const sockaddr_in& addr, unsigned nIfIndex)
{
    iovec io{const_cast<void*>(pData), nLength};
    msghdr msg{};
    msg.msg_name = const_cast<sockaddr_in*>(&addr);
    msg.msg_namelen = sizeof addr;
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    CInterfaceControl control;
    SendByInterface(msg, control, nIfIndex);
    ssize_t nSent;
    do {
        nSent = ::sendmsg(hSocket, &msg, nFlags);
    } while (nSent < 0 && errno == EINTR);
    return Track(nSent, m_nLastError);
}

int CPosixSocketLayer::Close(int hSocket) { return Track(::close(hSocket), m_nLastError); }

int SocketStartUp(ISocketLayer& sockets)
{
    const int hSocket = sockets.Socket(AF_INET, SOCK_DGRAM, 0);
    if (hSocket < 0)
        return sockets.LastError() ? sockets.LastError() : EINVAL;
    sockets.Close(hSocket);
    return 0;
}

std::string ErrorText(int nError)
{
    char szBuffer[256];
    // GNU strerror_r returns the text, which may or may not be in the buffer.
    return ::strerror_r(nError, szBuffer, sizeof szBuffer);
}
