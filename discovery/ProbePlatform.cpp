#include "discovery/ProbePlatform.h"

#include "net/InterfaceControl.h"

#include <fcntl.h>
#include <linux/icmp.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "discovery/Netlink.h"

namespace {

sockaddr_in Address(uint32_t dwAddr, uint16_t nPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwAddr;
    addr.sin_port = htons(nPort);
    return addr;
}

}  // namespace

unsigned ReadKernelNumber(const char* pszPath, unsigned nDefault)
{
    const int hFile = ::open(pszPath, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (hFile < 0)
        return nDefault;
    char szText[32] = {};
    const ssize_t nRead = ::read(hFile, szText, sizeof szText - 1);
    ::close(hFile);
    if (nRead <= 0)
        return nDefault;
    char* pEnd = nullptr;
    errno = 0;
    const unsigned long nValue = std::strtoul(szText, &pEnd, 10);
    if (pEnd == szText || errno != 0 || nValue == 0 || nValue > 1u << 30 ||
        (*pEnd != '\n' && *pEnd != '\0'))
        return nDefault;
    return static_cast<unsigned>(nValue);
}

CPosixProbePlatform::~CPosixProbePlatform() = default;

int CPosixProbePlatform::Open(EProbeSocket kind)
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
    const int hSocket = ::socket(AF_INET, nType | SOCK_NONBLOCK | SOCK_CLOEXEC, nProtocol);
    if (hSocket < 0)
        return -1;
    if (kind == EProbeSocket::EchoRaw) {
        icmp_filter filter{};
        filter.data = ~(1u << 0);  // echo replies only
        ::setsockopt(hSocket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    if (kind != EProbeSocket::Tcp) {
        // Room for many datagrams waiting for their neighbours, and replies.
        const int nSize = 1 << 20;
        ::setsockopt(hSocket, SOL_SOCKET, SO_SNDBUF, &nSize, sizeof nSize);
        ::setsockopt(hSocket, SOL_SOCKET, SO_RCVBUF, &nSize, sizeof nSize);
    }
    return hSocket;
}

int CPosixProbePlatform::Connect(int hSocket, uint32_t dwAddr, uint16_t nPort)
{
    const sockaddr_in to = Address(dwAddr, nPort);
    int nResult;
    do {
        nResult = ::connect(hSocket, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (nResult < 0 && errno == EINTR);
    return nResult == 0 ? 0 : errno;
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
    ssize_t nSent;
    do {
        nSent = ::sendmsg(hSocket, &msg, MSG_DONTWAIT);
    } while (nSent < 0 && errno == EINTR);
    return nSent >= 0 ? 0 : errno;
}

long CPosixProbePlatform::Receive(int hSocket, uint8_t* pBuffer, size_t nSize, uint32_t& dwFrom)
{
    for (;;) {
        sockaddr_in from{};
        socklen_t nFromSize = sizeof from;
        const ssize_t nGot = ::recvfrom(hSocket, pBuffer, nSize, MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &nFromSize);
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
            return -1;
        dwFrom = from.sin_addr.s_addr;
        return static_cast<long>(nGot);
    }
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
    return ::poll(fds.data(), fds.size(), nTimeoutMs);
}

int64_t CPosixProbePlatform::NowUs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

int CPosixProbePlatform::OpenNeighbourWatch()
{
    auto pWatch = std::make_unique<CNetlinkSocket>();
    if (!pWatch->Open(RTMGRP_NEIGH))
        return -1;
    const int nSize = 1 << 20;
    ::setsockopt(pWatch->Handle(), SOL_SOCKET, SO_RCVBUF, &nSize, sizeof nSize);
    const int hWatch = pWatch->Handle();
    m_watches[hWatch] = std::move(pWatch);
    return hWatch;
}

int CPosixProbePlatform::ReadNeighbourWatch(int hWatch, std::vector<CNeighbourRow>& rows)
{
    const auto it = m_watches.find(hWatch);
    if (it == m_watches.end())
        return -2;
    for (;;) {
        const long nLength = it->second->Receive(m_buffer, true);
        if (nLength == 0)
            return 1;
        if (nLength < 0)
            return errno == ENOBUFS ? -1 : -2;
        int nLeft = static_cast<int>(nLength);
        for (auto* pHeader = reinterpret_cast<const nlmsghdr*>(m_buffer.data());
             NLMSG_OK(pHeader, nLeft); pHeader = NLMSG_NEXT(pHeader, nLeft)) {
            CNeighbourRow row;
            if (ParseNeighbourMessage(pHeader, row))
                rows.push_back(row);
        }
    }
}

CNeighbourLimits CPosixProbePlatform::NeighbourLimits()
{
    // Only the first network namespace shows them; the table's limits are
    // the system's, whichever namespace asks.
    CNeighbourLimits limits;
    limits.nGcThresh2 =
        ReadKernelNumber("/proc/sys/net/ipv4/neigh/default/gc_thresh2", limits.nGcThresh2);
    limits.nGcThresh3 =
        ReadKernelNumber("/proc/sys/net/ipv4/neigh/default/gc_thresh3", limits.nGcThresh3);
    return limits;
}

unsigned CPosixProbePlatform::SocketBudget()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    // Leave room for what else the process holds.
    const rlim_t nFree = limit.rlim_cur > 64 ? limit.rlim_cur - 64 : 0;
    return static_cast<unsigned>(std::min<rlim_t>(nFree, 4096));
}
