#include "wake/Listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "net/SocketLayer.h"
#include "ui/MessageBox.h"
#include "wake/MagicPacket.h"

namespace {

volatile sig_atomic_t g_bStop = 0;

void OnStopSignal(int) { g_bStop = 1; }

std::string Dotted(uint32_t dwAddr)
{
    char szText[INET_ADDRSTRLEN] = "";
    in_addr addr{dwAddr};
    return inet_ntop(AF_INET, &addr, szText, sizeof szText);
}

}  // namespace

std::string CheckMagicPacket(const uint8_t* pData, size_t nLength, std::string& strMac)
{
    strMac.clear();
    for (size_t j = 6; j < 6 + kMacBytes && nLength >= 6 + kMacBytes; ++j) {
        strMac += kMacDigits[pData[j] >> 4];
        strMac += kMacDigits[pData[j] & 0xF];
    }
    if (nLength != kMagicPacketSize)
        return "not well formed: " + std::to_string(nLength) + " bytes, not " +
            std::to_string(kMagicPacketSize);
    for (size_t i = 0; i < 6; ++i)
        if (pData[i] != 0xFF)
            return "not well formed: the first six bytes are not all 0xFF";
    for (size_t k = 1; k < 16; ++k)
        if (std::memcmp(pData + 6, pData + 6 + k * kMacBytes, kMacBytes) != 0)
            return "not well formed: copy " + std::to_string(k + 1) +
                " of the address differs from the first";
    return "well formed";
}

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
    return std::string(szTime) + " from " + Dotted(dwFrom) + " port " + std::to_string(nFromPort) +
        " to " + Dotted(dwTo) + ": " + (strMac.empty() ? "no hardware address" : strMac) + ", " +
        strCheck;
}

int ListenForWakes(uint16_t nPort, IMessageBox& messages, std::FILE* pOut)
{
    const std::string strPort = "UDP port " + std::to_string(nPort);
    const int hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(nPort);
    if (hSocket < 0 || ::setsockopt(hSocket, IPPROTO_IP, IP_PKTINFO, &nOn, sizeof nOn) != 0 ||
        ::bind(hSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int nError = errno;
        if (hSocket >= 0)
            ::close(hSocket);
        if (nError == EACCES && nPort < 1024)
            messages.MessageBox("cannot listen on " + strPort +
                                ": a port below 1024 needs root or the capability "
                                "CAP_NET_BIND_SERVICE; choose another with --listen=PORT");
        else
            messages.MessageBox("cannot listen on " + strPort + ": " + ErrorText(nError));
        return 2;
    }

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

    int nExit = 0;
    uint8_t data[2048];
    while (!g_bStop) {
        pollfd wait{hSocket, POLLIN, 0};
        if (::ppoll(&wait, 1, nullptr, &waiting) < 0) {
            if (errno == EINTR)
                continue;
            messages.MessageBox("cannot wait on " + strPort + ": " + ErrorText(errno));
            nExit = 2;
            break;
        }
        sockaddr_in from{};
        iovec io{data, sizeof data};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t nLength = ::recvmsg(hSocket, &msg, MSG_DONTWAIT | MSG_TRUNC);
        if (nLength < 0)
            continue;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        uint32_t dwTo = 0;
        for (cmsghdr* p = CMSG_FIRSTHDR(&msg); p != nullptr; p = CMSG_NXTHDR(&msg, p))
            if (p->cmsg_level == IPPROTO_IP && p->cmsg_type == IP_PKTINFO)
                dwTo = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(p))->ipi_addr.s_addr;
        // A datagram longer than the buffer is reported by its real length.
        const std::string strLine = DescribeArrival(now, from.sin_addr.s_addr, ntohs(from.sin_port),
                                                    dwTo, data, static_cast<size_t>(nLength));
        if (std::fprintf(pOut, "%s\n", strLine.c_str()) < 0 || std::fflush(pOut) != 0) {
            messages.MessageBox("cannot write to standard output: " + ErrorText(errno));
            nExit = 2;
            break;
        }
    }
    ::close(hSocket);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return nExit;
}
