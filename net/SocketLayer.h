#pragma once
// The socket layer: the few POSIX socket calls a wake makes, behind an
// interface so that tests can substitute a recording fake. Each call mirrors
// its POSIX namesake and returns 0 or the errno of its failure.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>

class ISocketLayer {
public:
    virtual ~ISocketLayer() = default;

    virtual int Socket(int nFamily, int nType, int nProtocol, int& hSocket) = 0;
    virtual int SetSockOpt(int hSocket, int nLevel, int nOption, const void* pValue,
                           socklen_t nLength) = 0;
    virtual int Bind(int hSocket, const sockaddr_in& addr) = 0;
    virtual int GetSockName(int hSocket, sockaddr_in& addr) = 0;
    // One datagram to addr; out of interface nIfIndex when it is not 0 (the
    // index goes in an IP_PKTINFO control message, so no route is needed).
    // nSent: the bytes the kernel took.
    virtual int SendTo(int hSocket, const void* pData, size_t nLength, const sockaddr_in& addr,
                       unsigned nIfIndex, size_t& nSent) = 0;
    virtual int Close(int hSocket) = 0;
};

// The real socket layer of the operating system.
class CPosixSocketLayer : public ISocketLayer {
public:
    int Socket(int nFamily, int nType, int nProtocol, int& hSocket) override;
    int SetSockOpt(int hSocket, int nLevel, int nOption, const void* pValue,
                   socklen_t nLength) override;
    int Bind(int hSocket, const sockaddr_in& addr) override;
    int GetSockName(int hSocket, sockaddr_in& addr) override;
    int SendTo(int hSocket, const void* pData, size_t nLength, const sockaddr_in& addr,
               unsigned nIfIndex, size_t& nSent) override;
    int Close(int hSocket) override;
};

// Start-up check of the socket layer: it can be used when an IPv4 UDP socket
// can be created. 0, or the errno of the failure.
int SocketStartUp(ISocketLayer& sockets);
