#include "discovery/Netlink.h"

#include <ifaddrs.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

namespace {

const size_t kInitialBuffer = 32 * 1024;

// Checks the header of an NLMSG_ERROR message; returns the positive error
// number, 0 for an acknowledgement, -1 when the message is cut short.
int ErrorOf(const nlmsghdr* pHeader)
{
    if (pHeader->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr)))
        return -1;
    const auto* pError = static_cast<const nlmsgerr*>(NLMSG_DATA(pHeader));
    return -pError->error;
}

// Walks the messages of one datagram that answer (nSeq, nPortId), handing
// each other message to onMessage, which returns false for a malformed one.
template <typename F>
ENetlinkStep WalkReply(const void* pData, size_t nLength, uint32_t nSeq, uint32_t nPortId,
                       int& nError, bool bDump, F onMessage)
{
    int nLeft = static_cast<int>(nLength);
    bool bInterrupted = false;
    for (auto* pHeader = static_cast<const nlmsghdr*>(pData); NLMSG_OK(pHeader, nLeft);
         pHeader = NLMSG_NEXT(pHeader, nLeft)) {
        if (pHeader->nlmsg_seq != nSeq || pHeader->nlmsg_pid != nPortId)
            continue;  // a notification or a late answer to something else
        if (pHeader->nlmsg_flags & NLM_F_DUMP_INTR)
            bInterrupted = true;
        if (pHeader->nlmsg_type == NLMSG_DONE)
            return bInterrupted ? ENetlinkStep::Interrupted : ENetlinkStep::Done;
        if (pHeader->nlmsg_type == NLMSG_ERROR) {
            const int nCode = ErrorOf(pHeader);
            if (nCode == 0 && !bDump)
                return ENetlinkStep::Done;
            if (nCode == 0)
                continue;  // an acknowledgement; the dump goes on
            nError = nCode < 0 ? EBADMSG : nCode;
            return ENetlinkStep::Error;
        }
        if (pHeader->nlmsg_type == NLMSG_NOOP || pHeader->nlmsg_type == NLMSG_OVERRUN)
            continue;
        if (!onMessage(pHeader)) {
            nError = EBADMSG;
            return ENetlinkStep::Error;
        }
        if (!bDump)
            return ENetlinkStep::Done;
    }
    if (nLeft != 0) {
        nError = EBADMSG;  // a truncated or inconsistent message
        return ENetlinkStep::Error;
    }
    return bInterrupted ? ENetlinkStep::Interrupted : ENetlinkStep::More;
}

}  // namespace

bool ParseNeighbourMessage(const nlmsghdr* pHeader, CNeighbourRow& row)
{
    if (pHeader->nlmsg_type != RTM_NEWNEIGH || pHeader->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return false;
    const auto* pNeigh = static_cast<const ndmsg*>(NLMSG_DATA(pHeader));
    if (pNeigh->ndm_family != AF_INET)
        return false;
    CNeighbourRow found;
    found.dwIndex = static_cast<uint32_t>(pNeigh->ndm_ifindex);
    found.wState = pNeigh->ndm_state;
    bool bHasDst = false;
    int nLeft = static_cast<int>(pHeader->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (auto* pAttr = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(pNeigh) +
                                                       NLMSG_ALIGN(sizeof(ndmsg)));
         RTA_OK(pAttr, nLeft); pAttr = RTA_NEXT(pAttr, nLeft)) {
        const size_t nPayload = RTA_PAYLOAD(pAttr);
        switch (pAttr->rta_type) {
        case NDA_DST:
            if (nPayload != sizeof found.dwAddr)
                return false;
            std::memcpy(&found.dwAddr, RTA_DATA(pAttr), sizeof found.dwAddr);
            bHasDst = true;
            break;
        case NDA_LLADDR:
            found.dwPhysAddrLen = static_cast<uint32_t>(nPayload);
            std::memcpy(found.bPhysAddr, RTA_DATA(pAttr),
                        std::min(nPayload, sizeof found.bPhysAddr));
            break;
        default: break;
        }
    }
    if (!bHasDst)
        return false;
    row = found;
    return true;
}

ENetlinkStep ParseNeighbourDump(const void* pData, size_t nLength, uint32_t nSeq, uint32_t nPortId,
                                std::vector<CNeighbourRow>& rows, int& nError)
{
    return WalkReply(pData, nLength, nSeq, nPortId, nError, true, [&rows](const nlmsghdr* pHeader) {
        if (pHeader->nlmsg_type != RTM_NEWNEIGH)
            return true;
        if (pHeader->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
            return false;
        CNeighbourRow row;
        if (ParseNeighbourMessage(pHeader, row))
            rows.push_back(row);
        return true;
    });
}

ENetlinkStep ParseRouteReply(const void* pData, size_t nLength, uint32_t nSeq, uint32_t nPortId,
                             CRouteInfo& route, int& nError)
{
    return WalkReply(
        pData, nLength, nSeq, nPortId, nError, false, [&route](const nlmsghdr* pHeader) {
            if (pHeader->nlmsg_type != RTM_NEWROUTE ||
                pHeader->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
                return false;
            const auto* pRoute = static_cast<const rtmsg*>(NLMSG_DATA(pHeader));
            CRouteInfo found;
            found.nType = pRoute->rtm_type;
            int nLeft = static_cast<int>(RTM_PAYLOAD(pHeader));
            for (const rtattr* pAttr = RTM_RTA(pRoute); RTA_OK(pAttr, nLeft);
                 pAttr = RTA_NEXT(pAttr, nLeft)) {
                if (pAttr->rta_type == RTA_OIF && RTA_PAYLOAD(pAttr) == sizeof found.dwOutIndex)
                    std::memcpy(&found.dwOutIndex, RTA_DATA(pAttr), sizeof found.dwOutIndex);
                else if (pAttr->rta_type == RTA_GATEWAY &&
                         RTA_PAYLOAD(pAttr) == sizeof found.dwGateway)
                    std::memcpy(&found.dwGateway, RTA_DATA(pAttr), sizeof found.dwGateway);
            }
            route = found;
            return true;
        });
}

ENetlinkStep ParseLinkRouteDump(const void* pData, size_t nLength, uint32_t nSeq, uint32_t nPortId,
                                std::vector<CLinkRoute>& routes, int& nError)
{
    return WalkReply(
        pData, nLength, nSeq, nPortId, nError, true, [&routes](const nlmsghdr* pHeader) {
            if (pHeader->nlmsg_type != RTM_NEWROUTE)
                return true;
            if (pHeader->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
                return false;
            const auto* pRoute = static_cast<const rtmsg*>(NLMSG_DATA(pHeader));
            if (pRoute->rtm_family != AF_INET || pRoute->rtm_type != RTN_UNICAST)
                return true;
            CLinkRoute found;
            found.nDstLen = pRoute->rtm_dst_len;
            int nLeft = static_cast<int>(RTM_PAYLOAD(pHeader));
            for (const rtattr* pAttr = RTM_RTA(pRoute); RTA_OK(pAttr, nLeft);
                 pAttr = RTA_NEXT(pAttr, nLeft)) {
                if (pAttr->rta_type == RTA_GATEWAY || pAttr->rta_type == RTA_VIA)
                    return true;
                if (pAttr->rta_type == RTA_DST && RTA_PAYLOAD(pAttr) == sizeof found.dwDst)
                    std::memcpy(&found.dwDst, RTA_DATA(pAttr), sizeof found.dwDst);
                else if (pAttr->rta_type == RTA_OIF &&
                         RTA_PAYLOAD(pAttr) == sizeof found.dwOutIndex)
                    std::memcpy(&found.dwOutIndex, RTA_DATA(pAttr), sizeof found.dwOutIndex);
            }
            routes.push_back(found);
            return true;
        });
}

CNetlinkSocket::~CNetlinkSocket()
{
    if (m_hSocket >= 0)
        ::close(m_hSocket);
}

bool CNetlinkSocket::Open(uint32_t nGroups)
{
    m_hSocket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_hSocket < 0)
        return false;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = nGroups;
    socklen_t nSize = sizeof local;
    if (::bind(m_hSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0 ||
        ::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &nSize) < 0) {
        ::close(m_hSocket);
        m_hSocket = -1;
        return false;
    }
    m_nPortId = local.nl_pid;
    m_nSeq = static_cast<uint32_t>(::time(nullptr));
    return true;
}

uint32_t CNetlinkSocket::Send(nlmsghdr& request)
{
    if (++m_nSeq == 0)
        ++m_nSeq;
    request.nlmsg_seq = m_nSeq;
    request.nlmsg_pid = m_nPortId;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t nSent;
    do {
        nSent = ::sendto(m_hSocket, &request, request.nlmsg_len, 0,
                         reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    } while (nSent < 0 && errno == EINTR);
    return nSent == static_cast<ssize_t>(request.nlmsg_len) ? m_nSeq : 0;
}

ENetlinkStep CNetlinkSocket::Transact(nlmsghdr& request, const NetlinkParser& parse)
{
    const uint32_t nSeq = Send(request);
    if (nSeq == 0)
        return ENetlinkStep::Error;
    for (;;) {
        const long nLength = Receive(m_buffer);
        if (nLength < 0)
            return ENetlinkStep::Error;
        const ENetlinkStep step = parse(m_buffer.data(), static_cast<size_t>(nLength), nSeq);
        if (step != ENetlinkStep::More)
            return step;
    }
}

long CNetlinkSocket::Receive(std::vector<uint8_t>& buffer, bool bDontWait)
{
    if (buffer.size() < kInitialBuffer)
        buffer.resize(kInitialBuffer);
    const int nWait = bDontWait ? MSG_DONTWAIT : 0;
    for (;;) {
        // Peek first: MSG_TRUNC makes the kernel tell the datagram's full size.
        ssize_t nSize =
            ::recv(m_hSocket, buffer.data(), buffer.size(), MSG_PEEK | MSG_TRUNC | nWait);
        if (nSize < 0) {
            if (errno == EINTR)
                continue;
            if (bDontWait && (errno == EAGAIN || errno == EWOULDBLOCK))
                return 0;
            return -1;  // ENOBUFS included: notifications were lost
        }
        if (static_cast<size_t>(nSize) > buffer.size())
            buffer.resize(static_cast<size_t>(nSize));
        sockaddr_nl from{};
        iovec io{buffer.data(), buffer.size()};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &io;
        msg.msg_iovlen = 1;
        nSize = ::recvmsg(m_hSocket, &msg, 0);
        if (nSize < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (msg.msg_flags & MSG_TRUNC) {
            errno = EMSGSIZE;
            return -1;
        }
        if (from.nl_pid != 0)
            continue;  // not from the kernel
        return static_cast<long>(nSize);
    }
}

bool LookUpRoute(uint32_t dwAddr, CRouteInfo& route)
{
    CNetlinkRouteTable routes;
    return routes.LookUpRoute(dwAddr, route);
}

bool CNetlinkRouteTable::LookUpRoute(uint32_t dwAddr, CRouteInfo& route)
{
    if (m_netlink.Handle() < 0 && !m_netlink.Open())
        return false;
    struct {
        nlmsghdr header;
        rtmsg route;
        char attributes[RTA_SPACE(sizeof(uint32_t))];
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.route);
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.route.rtm_family = AF_INET;
    request.route.rtm_dst_len = 32;
    auto* pAttr = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                            NLMSG_ALIGN(request.header.nlmsg_len));
    pAttr->rta_type = RTA_DST;
    pAttr->rta_len = RTA_LENGTH(sizeof dwAddr);
    std::memcpy(RTA_DATA(pAttr), &dwAddr, sizeof dwAddr);
    request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_SPACE(sizeof dwAddr);

    int nError = 0;
    return m_netlink.Transact(
               request.header, [&](const void* pData, size_t nLength, uint32_t nSeq) {
                   return ParseRouteReply(pData, nLength, nSeq, m_netlink.PortId(), route, nError);
               }) == ENetlinkStep::Done;
}

bool CNetlinkRouteTable::LinkRoutes(std::vector<CLinkRoute>& routes)
{
    if (m_netlink.Handle() < 0 && !m_netlink.Open())
        return false;
    struct {
        nlmsghdr header;
        rtmsg route;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.route.rtm_family = AF_INET;
    // A dump that the table's changes keep interrupting is given up.
    for (int nAttempt = 0; nAttempt < 3; ++nAttempt) {
        std::vector<CLinkRoute> found;
        int nError = 0;
        const auto Parse = [&](const void* pData, size_t nLength, uint32_t nSeq) {
            return ParseLinkRouteDump(pData, nLength, nSeq, m_netlink.PortId(), found, nError);
        };
        const ENetlinkStep step = m_netlink.Transact(request.header, Parse);
        if (step == ENetlinkStep::Done) {
            routes = std::move(found);
            return true;
        }
        if (step != ENetlinkStep::Interrupted)
            return false;
    }
    return false;
}

std::vector<CLink> CNetlinkRouteTable::BroadcastLinks()
{
    std::vector<CLink> links;
    ifaddrs* pList = nullptr;
    if (::getifaddrs(&pList) != 0)
        return links;
    // One entry per IPv4 address; an address with a label ("eth0:1") belongs
    // to the interface named before the colon.
    for (const ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET)
            continue;
        if ((p->ifa_flags & (IFF_UP | IFF_BROADCAST)) != (IFF_UP | IFF_BROADCAST) ||
            (p->ifa_flags & IFF_LOOPBACK))
            continue;
        const std::string strName(p->ifa_name, std::strcspn(p->ifa_name, ":"));
        if (std::any_of(links.begin(), links.end(),
                        [&](const CLink& link) { return link.strName == strName; }))
            continue;
        if (const unsigned nIndex = ::if_nametoindex(strName.c_str()))
            links.push_back({nIndex, strName});
    }
    ::freeifaddrs(pList);
    return links;
}

std::string CNetlinkRouteTable::LinkName(unsigned nIndex)
{
    char szName[IF_NAMESIZE];
    return ::if_indextoname(nIndex, szName) ? std::string(szName)
                                            : "interface " + std::to_string(nIndex);
}

ELinkState CNetlinkRouteTable::FindLink(const std::string& strName, unsigned& nIndex)
{
    nIndex = strName.size() < IF_NAMESIZE ? ::if_nametoindex(strName.c_str()) : 0;
    if (nIndex == 0)
        return ELinkState::Missing;
    ifaddrs* pList = nullptr;
    if (::getifaddrs(&pList) != 0)
        return ELinkState::Missing;
    ELinkState state = ELinkState::Down;
    for (const ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        // An address with a label ("eth0:1") belongs to the interface named before the colon.
        if (std::string(p->ifa_name, std::strcspn(p->ifa_name, ":")) != strName ||
            !(p->ifa_flags & IFF_UP))
            continue;
        if (p->ifa_addr != nullptr && p->ifa_addr->sa_family == AF_INET) {
            state = ELinkState::Usable;
            break;
        }
        state = ELinkState::NoAddress;
    }
    ::freeifaddrs(pList);
    return state;
}
