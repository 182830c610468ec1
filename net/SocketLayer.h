#pragma once
// The socket layer: the few POSIX socket calls the program makes, behind an
// interface so that tests can substitute a recording fake.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

class ISocketLayer {
public:
    virtual ~ISocketLayer() = default;

    // Each call mirrors its POSIX namesake: -1 on failure, with the reason
    // available from LastError() until the next call.
    virtual int Socket(int nFamily, int nType, int nProtocol) = 0;
    virtual int SetSockOpt(int hSocket, int nLevel, int nOption, const void* pValue,
                           socklen_t nLength) = 0;
    virtual int Bind(int hSocket, const sockaddr_in& addr) = 0;
    virtual ssize_t SendTo(int hSocket, const void* pData, size_t nLength, int nFlags,
                           const sockaddr_in& addr) = 0;
    // sendmsg of one datagram to addr, out of interface nIfIndex: the index
    // goes in an IP_PKTINFO control message, so that no route is needed.
    virtual ssize_t SendMsg(int hSocket, const void* pData, size_t nLength, int nFlags,
                            const sockaddr_in& addr, unsigned nIfIndex) = 0;
    virtual int Close(int hSocket) = 0;
    virtual int LastError() const = 0;
};

// The real socket layer of the operating system.
class CPosixSocketLayer : public ISocketLayer {
public:
    int Socket(int nFamily, int nType, int nProtocol) override;
    int SetSockOpt(int hSocket, int nLevel, int nOption, const void* pValue,
                   socklen_t nLength) override;
    int Bind(int hSocket, const sockaddr_in& addr) override;
    ssize_t SendTo(int hSocket, const void* pData, size_t nLength, int nFlags,
                   const sockaddr_in& addr) override;
    ssize_t SendMsg(int hSocket, const void* pData, size_t nLength, int nFlags,
                    const sockaddr_in& addr, unsigned nIfIndex) override;
    int Close(int hSocket) override;
    int LastError() const override { return m_nLastError; }

private:
    int m_nLastError = 0;
};

// Start-up check of the socket layer: it can be used when an IPv4 UDP socket
// can be created. Returns 0 on success, otherwise the system's error number.
int SocketStartUp(ISocketLayer& sockets);

// The system's text for an error number ("Address already in use", ...).
std::string ErrorText(int nError);
