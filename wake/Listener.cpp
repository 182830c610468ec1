#include "wake/Listener.h"

#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>

#include "base/Address.h"
#include "wake/MagicPacket.h"

namespace {

volatile sig_atomic_t g_bStop = 0;

void OnStopSignal(int) { g_bStop = 1; }

}  // namespace

std::string DescribeArrival(const timespec& when, uint32_t dwFrom, uint16_t nFromPort,
                            uint32_t dwTo, const uint8_t* pData, size_t nLength)
{
    tm local{};
    localtime_r(&when.tv_sec, &local);
    char szTime[64] = "";
    const size_t nTime = std::strftime(szTime, sizeof szTime, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(szTime + nTime, sizeof szTime - nTime, ".%03ld", when.tv_nsec / 1000000);
    std::string strMac;
    const std::string strCheck = CheckMagicPacket(pData, nLength, strMac);
    return std::string(szTime) + " from " + DottedText(dwFrom) + " port " +
        std::to_string(nFromPort) + " to " + DottedText(dwTo) + ": " +
        (strMac.empty() ? "no hardware address" : strMac) + ", " + strCheck;
}

namespace {

// The receive queue asked for: a burst of wakes waits there while the lines
// are written (the kernel grants at most net.core.rmem_max, root more).
const int kReceiveBuffer = 8 << 20;

// A UDP socket on nPort of every local address that tells each datagram's
// destination and the count of those the kernel dropped; -1 with the reason
// when it can't be had.
int OpenListener(uint16_t nPort, CStatus& status)
{
    const std::string strWhat = "cannot listen on UDP port " + std::to_string(nPort);
    const int hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(nPort);
    if (hSocket >= 0 && ::setsockopt(hSocket, IPPROTO_IP, IP_PKTINFO, &nOn, sizeof nOn) == 0 &&
        ::setsockopt(hSocket, SOL_SOCKET, SO_RXQ_OVFL, &nOn, sizeof nOn) == 0 &&
        ::bind(hSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
        if (::setsockopt(hSocket, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer,
                         sizeof kReceiveBuffer))
            ::setsockopt(hSocket, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
        return hSocket;
    }
    const int nError = errno;
    if (hSocket >= 0)
        ::close(hSocket);
    status = nError == EACCES && nPort < 1024
        ? Failure(strWhat,
                  "a port below 1024 needs root or the capability CAP_NET_BIND_SERVICE; "
                  "choose another with --listen=PORT",
                  nError)
        : Failure(strWhat, nError);
    return -1;
}

// One datagram waiting on the socket, as its line; false when none was
// there. nDropped: the kernel's count of the datagrams it dropped so far.
bool ReadArrival(int hSocket, std::string& strLine, uint32_t& nDropped)
{
    uint8_t data[2048];
    sockaddr_in from{};
    iovec io{data, sizeof data};
    alignas(
        cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(uint32_t))] = {};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t nLength = ::recvmsg(hSocket, &msg, MSG_DONTWAIT | MSG_TRUNC);
    if (nLength < 0)
        return false;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint32_t dwTo = 0;
    for (cmsghdr* p = CMSG_FIRSTHDR(&msg); p != nullptr; p = CMSG_NXTHDR(&msg, p)) {
        if (p->cmsg_level == IPPROTO_IP && p->cmsg_type == IP_PKTINFO)
            dwTo = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(p))->ipi_addr.s_addr;
        else if (p->cmsg_level == SOL_SOCKET && p->cmsg_type == SO_RXQ_OVFL)
            std::memcpy(&nDropped, CMSG_DATA(p), sizeof nDropped);
    }
    // A datagram longer than the buffer is reported by its real length.
    strLine = DescribeArrival(now, from.sin_addr.s_addr, ntohs(from.sin_port), dwTo, data,
                              static_cast<size_t>(nLength));
    return true;
}

}  // namespace

CStatus ListenForWakes(uint16_t nPort, std::FILE* pOut,
                       const std::function<void(const std::string&)>& onNote)
{
    CStatus status;
    const int hSocket = OpenListener(nPort, status);
    if (hSocket < 0)
        return status;

    // The signals are let through only while waiting, so that none is lost
    // between the check and the wait.
    sigset_t stops, before, waiting;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, &before);
    waiting = before;
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGTERM);
    struct sigaction action { };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // What arrives in a burst is written at once; the lines are flushed
    // when the socket has nothing more (a failed write shows there, in the
    // stream's error flag, and ends the run).
    std::setvbuf(pOut, nullptr, _IOFBF, 1 << 16);  // not a flush a line, even on a terminal
    uint32_t nDropped = 0;
    std::string strLine;
    while (!g_bStop && status.Ok()) {
        if (ReadArrival(hSocket, strLine, nDropped)) {
            if (std::fprintf(pOut, "%s\n", strLine.c_str()) < 0)
                break;
            continue;
        }
        if (std::fflush(pOut) != 0)
            break;
        pollfd wait{hSocket, POLLIN, 0};
        if (::ppoll(&wait, 1, nullptr, &waiting) < 0 && errno != EINTR)
            status = Failure("cannot wait on UDP port " + std::to_string(nPort), errno);
    }
    std::fflush(pOut);
    // Drops after the last datagram read are told by no datagram: the
    // socket's own count has them.
    uint32_t memory[SK_MEMINFO_VARS] = {};
    socklen_t nMemory = sizeof memory;
    if (::getsockopt(hSocket, SOL_SOCKET, SO_MEMINFO, memory, &nMemory) == 0 &&
        nMemory > SK_MEMINFO_DROPS * sizeof(uint32_t))
        nDropped = std::max(nDropped, memory[SK_MEMINFO_DROPS]);
    ::close(hSocket);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (nDropped > 0 && onNote)
        onNote(std::to_string(nDropped) + (nDropped == 1 ? " datagram was" : " datagrams were") +
               " lost: they came faster than they could be shown");
    return status;
}
