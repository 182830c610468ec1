#include "net/ProbePlatform.h"

#include <linux/icmp.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/InterfaceControl.h"
#include "net/Netlink.h"

namespace {

sockaddr_in Address(uint32_t dwAddr, uint16_t nPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwAddr;
    addr.sin_port = htons(nPort);
    return addr;
}

// Retries a call a signal interrupted; 0 or the errno.
template <typename F>
int Retrying(F call)
{
    for (;;) {
        if (call() >= 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

}  // namespace

CPosixProbePlatform::~CPosixProbePlatform() = default;

int CPosixProbePlatform::Open(EProbeSocket kind, int& hSocket)
{
    int nType = SOCK_DGRAM, nProtocol = IPPROTO_UDP;
    switch (kind) {
    case EProbeSocket::EchoDgram: nProtocol = IPPROTO_ICMP; break;
    case EProbeSocket::EchoRaw:
        nType = SOCK_RAW;
        nProtocol = IPPROTO_ICMP;
        break;
    case EProbeSocket::Udp: break;
    case EProbeSocket::Tcp:
        nType = SOCK_STREAM;
        nProtocol = IPPROTO_TCP;
        break;
    }
    hSocket = ::socket(AF_INET, nType | SOCK_NONBLOCK | SOCK_CLOEXEC, nProtocol);
    if (hSocket < 0)
        return errno;
    if (kind == EProbeSocket::EchoRaw) {
        icmp_filter filter{};
        filter.data = ~(1u << ICMP_ECHOREPLY);  // echo replies only
        ::setsockopt(hSocket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    if (kind != EProbeSocket::Tcp) {
        // Room for many datagrams waiting for their neighbours, and replies.
        const int nSize = 1 << 20;
        ::setsockopt(hSocket, SOL_SOCKET, SO_SNDBUF, &nSize, sizeof nSize);
        ::setsockopt(hSocket, SOL_SOCKET, SO_RCVBUF, &nSize, sizeof nSize);
    }
    return 0;
}

int CPosixProbePlatform::Connect(int hSocket, uint32_t dwAddr, uint16_t nPort)
{
    const sockaddr_in to = Address(dwAddr, nPort);
    return Retrying(
        [&] { return ::connect(hSocket, reinterpret_cast<const sockaddr*>(&to), sizeof to); });
}

int CPosixProbePlatform::SendTo(int hSocket, const std::vector<uint8_t>& data, uint32_t dwAddr,
                                uint16_t nPort, unsigned nIfIndex)
{
    sockaddr_in to = Address(dwAddr, nPort);
    iovec io{const_cast<uint8_t*>(data.data()), data.size()};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    CInterfaceControl control;
    if (nIfIndex != 0)
        SendByInterface(msg, control, nIfIndex);
    return Retrying([&] { return ::sendmsg(hSocket, &msg, MSG_DONTWAIT); });
}

int CPosixProbePlatform::Receive(int hSocket, uint8_t* pBuffer, size_t nSize, size_t& nGot,
                                 uint32_t& dwFrom)
{
    sockaddr_in from{};
    socklen_t nFromSize = sizeof from;
    ssize_t n = -1;
    const int nError = Retrying([&] {
        return n = ::recvfrom(hSocket, pBuffer, nSize, MSG_DONTWAIT,
                              reinterpret_cast<sockaddr*>(&from), &nFromSize);
    });
    nGot = nError ? 0 : static_cast<size_t>(n);
    dwFrom = from.sin_addr.s_addr;
    return nError;
}

int CPosixProbePlatform::PendingError(int hSocket)
{
    int nError = 0;
    socklen_t nSize = sizeof nError;
    if (::getsockopt(hSocket, SOL_SOCKET, SO_ERROR, &nError, &nSize) < 0)
        return errno;
    return nError;
}

void CPosixProbePlatform::Close(int hSocket)
{
    if (m_watches.erase(hSocket) == 0)  // a watch closes itself
        ::close(hSocket);
}

int CPosixProbePlatform::Poll(std::vector<pollfd>& fds, int nTimeoutMs)
{
    return ::poll(fds.data(), fds.size(), nTimeoutMs) < 0 ? errno : 0;
}

int64_t CPosixProbePlatform::NowUs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

int CPosixProbePlatform::OpenNeighbourWatch(int& hWatch)
{
    auto pWatch = std::make_unique<CNetlinkSocket>();
    if (const int nError = pWatch->Open(RTMGRP_NEIGH))
        return nError;
    hWatch = pWatch->Handle();
    m_watches[hWatch] = std::move(pWatch);
    return 0;
}

int CPosixProbePlatform::ReadNeighbourWatch(int hWatch, std::vector<CNeighbourRow>& rows)
{
    const auto it = m_watches.find(hWatch);
    if (it == m_watches.end())
        return EBADF;
    return it->second->ReadWaiting([&](const nlmsghdr* pHeader) {
        CNeighbourRow row;
        if (ParseNeighbourMessage(pHeader, row))
            rows.push_back(row);
    });
}
