#include "net/SocketLayer.h"

#include <unistd.h>

#include <cerrno>

#include "net/InterfaceControl.h"

namespace {

int Result(int nResult) { return nResult < 0 ? errno : 0; }

}  // namespace

int CPosixSocketLayer::Socket(int nFamily, int nType, int nProtocol, int& hSocket)
{
    hSocket = ::socket(nFamily, nType | SOCK_CLOEXEC, nProtocol);
    return Result(hSocket);
}

int CPosixSocketLayer::SetSockOpt(int hSocket, int nLevel, int nOption, const void* pValue,
                                  socklen_t nLength)
{
    return Result(::setsockopt(hSocket, nLevel, nOption, pValue, nLength));
}

int CPosixSocketLayer::Bind(int hSocket, const sockaddr_in& addr)
{
    return Result(::bind(hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr));
}

int CPosixSocketLayer::GetSockName(int hSocket, sockaddr_in& addr)
{
    socklen_t nLength = sizeof addr;
    return Result(::getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLength));
}

int CPosixSocketLayer::SendTo(int hSocket, const void* pData, size_t nLength,
                              const sockaddr_in& addr, unsigned nIfIndex, size_t& nSent)
{
    iovec io{const_cast<void*>(pData), nLength};
    msghdr msg{};
    msg.msg_name = const_cast<sockaddr_in*>(&addr);
    msg.msg_namelen = sizeof addr;
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    CInterfaceControl control;
    if (nIfIndex != 0)
        SendByInterface(msg, control, nIfIndex);
    ssize_t n;
    do {
        n = ::sendmsg(hSocket, &msg, 0);
    } while (n < 0 && errno == EINTR);
    nSent = n < 0 ? 0 : static_cast<size_t>(n);
    return Result(static_cast<int>(n < 0 ? -1 : 0));
}

int CPosixSocketLayer::Close(int hSocket) { return Result(::close(hSocket)); }

int SocketStartUp(ISocketLayer& sockets)
{
    int hSocket = -1;
    if (const int nError = sockets.Socket(AF_INET, SOCK_DGRAM, 0, hSocket))
        return nError;
    sockets.Close(hSocket);
    return 0;
}
