#include "discovery/EchoRequest.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "discovery/NeighbourTable.h"
#include "discovery/Netlink.h"

namespace {

const uint8_t kEchoReply = 0;
const uint8_t kEchoRequestType = 8;
const size_t kIcmpHeader = 8;

class CFd {
public:
    explicit CFd(int hFd = -1)
        : m_hFd(hFd)
    { }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    ~CFd()
    {
        if (m_hFd >= 0)
            ::close(m_hFd);
    }
    int Get() const { return m_hFd; }

private:
    int m_hFd;
};

// Opens the first way that the system allows, in order of preference.
int OpenEchoSocket(EEchoWay& way)
{
    int hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (hSocket >= 0) {
        way = EEchoWay::Dgram;
        return hSocket;
    }
    hSocket = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (hSocket >= 0) {
        // Only echo replies need to reach this socket.
        icmp_filter filter{};
        filter.data = ~(1u << kEchoReply);
        ::setsockopt(hSocket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        way = EEchoWay::Raw;
        return hSocket;
    }
    hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (hSocket >= 0) {
        way = EEchoWay::Udp;
        return hSocket;
    }
    way = EEchoWay::None;
    return -1;
}

// Reads what is waiting on the neighbour notification socket; true when it
// settles the target's entry. bLost: notifications were dropped, so the
// entry must be looked at directly.
bool NotificationsSettle(CNetlinkSocket& netlink, std::vector<uint8_t>& buffer, uint32_t dwTarget,
                         uint32_t dwIndex, bool& bLost, bool& bBroken)
{
    for (;;) {
        const long nLength = netlink.Receive(buffer, true);
        if (nLength == 0)
            return false;
        if (nLength < 0) {
            if (errno == ENOBUFS)
                bLost = true;
            else
                bBroken = true;
            return false;
        }
        int nLeft = static_cast<int>(nLength);
        for (auto* pHeader = reinterpret_cast<const nlmsghdr*>(buffer.data());
             NLMSG_OK(pHeader, nLeft); pHeader = NLMSG_NEXT(pHeader, nLeft)) {
            CNeighbourRow row;
            if (ParseNeighbourMessage(pHeader, row) && row.dwAddr == dwTarget &&
                row.dwIndex == dwIndex && IsNeighbourSettled(row))
                return true;
        }
    }
}

}  // namespace

const char* EchoWayName(EEchoWay way)
{
    switch (way) {
    case EEchoWay::Dgram: return "dgram";
    case EEchoWay::Raw: return "raw";
    case EEchoWay::Udp: return "udp";
    case EEchoWay::None: break;
    }
    return "none";
}

uint16_t InternetChecksum(const void* pData, size_t nLength)
{
    const auto* pBytes = static_cast<const uint8_t*>(pData);
    uint32_t nSum = 0;
    for (size_t i = 0; i + 1 < nLength; i += 2)
        nSum += static_cast<uint32_t>(pBytes[i] << 8 | pBytes[i + 1]);
    if (nLength % 2)
        nSum += static_cast<uint32_t>(pBytes[nLength - 1] << 8);
    while (nSum >> 16)
        nSum = (nSum & 0xFFFF) + (nSum >> 16);
    return htons(static_cast<uint16_t>(~nSum));
}

std::vector<uint8_t> BuildEchoRequest(uint16_t nIdentifier, uint16_t nSequence)
{
    std::vector<uint8_t> message(kIcmpHeader + kEchoDataSize, kEchoDataByte);
    message[0] = kEchoRequestType;
    message[1] = 0;
    message[2] = message[3] = 0;
    message[4] = static_cast<uint8_t>(nIdentifier >> 8);
    message[5] = static_cast<uint8_t>(nIdentifier);
    message[6] = static_cast<uint8_t>(nSequence >> 8);
    message[7] = static_cast<uint8_t>(nSequence);
    const uint16_t nChecksum = InternetChecksum(message.data(), message.size());  // network order
    std::memcpy(&message[2], &nChecksum, sizeof nChecksum);
    return message;
}

bool IsEchoReplyFor(const uint8_t* pData, size_t nLength, bool bWithIpHeader, bool bCheckIdentifier,
                    uint16_t nIdentifier, uint16_t nSequence)
{
    if (bWithIpHeader) {
        if (nLength < 20 || (pData[0] >> 4) != 4)
            return false;
        const size_t nHeader = static_cast<size_t>(pData[0] & 0x0F) * 4;
        if (nHeader < 20 || nHeader > nLength)
            return false;
        pData += nHeader;
        nLength -= nHeader;
    }
    if (nLength < kIcmpHeader || pData[0] != kEchoReply || pData[1] != 0)
        return false;
    const uint16_t nGotId = static_cast<uint16_t>(pData[4] << 8 | pData[5]);
    const uint16_t nGotSeq = static_cast<uint16_t>(pData[6] << 8 | pData[7]);
    return nGotSeq == nSequence && (!bCheckIdentifier || nGotId == nIdentifier);
}

CEchoOutcome CEchoRequest::SendEcho(uint32_t dwTarget, int nTimeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);

    CEchoOutcome outcome;
    const CFd echo(OpenEchoSocket(outcome.way));
    if (echo.Get() < 0)
        return outcome;
    outcome.bSetUp = true;

    // Only a target on a directly connected link gets a neighbour entry of
    // its own; the entry of a gateway says nothing about the target.
    CRouteInfo route;
    bool bWatch = LookUpRoute(dwTarget, route) && route.OnLink();
    CNetlinkSocket netlink;
    std::vector<uint8_t> buffer;
    if (bWatch)
        bWatch = netlink.Open(RTMGRP_NEIGH);
    if (bWatch) {
        bool bLost = false, bBroken = false;
        NotificationsSettle(netlink, buffer, 0, 0, bLost,
                            bBroken);  // drop what came before the request
    }

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = dwTarget;
    const uint16_t nIdentifier =
        static_cast<uint16_t>(::getpid() ^ reinterpret_cast<uintptr_t>(this));
    const uint16_t nSequence = ++m_nSequence;
    std::vector<uint8_t> message;
    if (outcome.way == EEchoWay::Udp) {
        message.assign(kEchoDataSize, kEchoDataByte);
        to.sin_port = htons(kDiscardPort);
    } else {
        message = BuildEchoRequest(nIdentifier, nSequence);
    }
    ssize_t nSent;
    do {
        nSent = ::sendto(echo.Get(), message.data(), message.size(), 0,
                         reinterpret_cast<sockaddr*>(&to), sizeof to);
    } while (nSent < 0 && errno == EINTR);
    if (nSent < 0)
        return outcome;  // NotSent: no reply will come, and nothing was resolved

    CNeighbourRow row;
    if (bWatch && m_table.GetEntry(dwTarget, route.dwOutIndex, row) && IsNeighbourSettled(row)) {
        outcome.end = EEchoEnd::EntrySettled;
        return outcome;
    }
    const bool bReplyCan = outcome.way != EEchoWay::Udp;
    if (!bReplyCan && !bWatch) {
        outcome.end = EEchoEnd::NothingToWaitFor;
        return outcome;
    }

    uint8_t reply[1500];
    for (;;) {
        const auto nLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (nLeft <= 0)
            break;
        pollfd fds[2];
        nfds_t nFds = 0;
        if (bReplyCan)
            fds[nFds++] = {echo.Get(), POLLIN, 0};
        const nfds_t nNetlinkSlot = nFds;
        if (bWatch)
            fds[nFds++] = {netlink.Handle(), POLLIN, 0};
        if (nFds == 0)
            break;  // nothing left to watch: wait out the time
        const int nReady = ::poll(fds, nFds, static_cast<int>(nLeft));
        if (nReady < 0 && errno != EINTR)
            break;
        if (nReady <= 0)
            continue;
        if (bReplyCan && fds[0].revents) {
            const ssize_t nGot = ::recv(echo.Get(), reply, sizeof reply, MSG_DONTWAIT);
            if (nGot > 0 &&
                IsEchoReplyFor(reply, static_cast<size_t>(nGot), outcome.way == EEchoWay::Raw,
                               outcome.way == EEchoWay::Raw, nIdentifier, nSequence)) {
                outcome.end = EEchoEnd::Replied;
                return outcome;
            }
        }
        if (bWatch && fds[nNetlinkSlot].revents) {
            bool bLost = false, bBroken = false;
            if (NotificationsSettle(netlink, buffer, dwTarget, route.dwOutIndex, bLost, bBroken) ||
                (bLost && m_table.GetEntry(dwTarget, route.dwOutIndex, row) &&
                 IsNeighbourSettled(row))) {
                outcome.end = EEchoEnd::EntrySettled;
                return outcome;
            }
            if (bBroken)
                bWatch = false;
        }
    }
    if (!bReplyCan && !bWatch && Clock::now() < deadline) {
        // Only the entry could have ended the wait, and it can no longer be watched.
        ::poll(nullptr, 0,
               static_cast<int>(
                   std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                       .count()));
    }
    outcome.end = EEchoEnd::TimedOut;
    return outcome;
}
