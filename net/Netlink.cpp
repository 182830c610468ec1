#include "net/Netlink.h"

#include <ifaddrs.h>
#include <libmnl/libmnl.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "base/MacText.h"

namespace {

// The kernel never puts more than 32 KiB into one datagram of a dump.
const size_t kBufferSize = 64 * 1024;
const int kDumpAttempts = 3;
const uint64_t kClockTicks =
    100;  // USER_HZ: the unit of the kernel's times in neighbour entries  // a dump that the
          // table's changes keep interrupting is given up

// The attributes after a message's fixed header of nHeader bytes, by type
// (null for those missing); false when the message is too short for the
// header.
template <size_t N>
bool ReadAttributes(const nlmsghdr* pHeader, size_t nHeader, std::array<const nlattr*, N>& attrs)
{
    attrs.fill(nullptr);
    if (mnl_nlmsg_get_payload_len(pHeader) < nHeader)
        return false;
    const auto Keep = [](const nlattr* pAttr, void* pData) {
        auto& table = *static_cast<std::array<const nlattr*, N>*>(pData);
        if (mnl_attr_get_type(pAttr) < N)
            table[mnl_attr_get_type(pAttr)] = pAttr;
        return MNL_CB_OK;
    };
    return mnl_attr_parse(pHeader, static_cast<unsigned>(nHeader), Keep, &attrs) >= 0;
}

// A four-byte attribute (an IPv4 address, an index); false when missing or
// of another size.
bool Read32(const nlattr* pAttr, uint32_t& dwValue)
{
    if (!pAttr || mnl_attr_get_payload_len(pAttr) != sizeof dwValue)
        return false;
    std::memcpy(&dwValue, mnl_attr_get_payload(pAttr), sizeof dwValue);
    return true;
}

// A dump of an IPv4 table: asked again while the table's changes interrupt
// it; restart() forgets what an interrupted attempt gave.
template <typename T>
int Dump(CNetlinkSocket& netlink, uint16_t nType, const T& family,
         const CNetlinkSocket::MessageHandler& onMessage, const std::function<void()>& restart)
{
    int nError = EINTR;
    for (int nAttempt = 0; nAttempt < kDumpAttempts && nError == EINTR; ++nAttempt) {
        alignas(nlmsghdr) char buffer[MNL_NLMSG_HDRLEN + MNL_ALIGN(sizeof(T))];
        nlmsghdr* pRequest = mnl_nlmsg_put_header(buffer);
        pRequest->nlmsg_type = nType;
        pRequest->nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        std::memcpy(mnl_nlmsg_put_extra_header(pRequest, sizeof(T)), &family, sizeof(T));
        restart();
        nError = netlink.Request(*pRequest, onMessage);
    }
    return nError;
}

// Each IPv4 address of the interfaces, with the interface's flags. An
// address with a label ("eth0:1") belongs to the interface named before the
// colon. 0, or the errno.
template <typename F>
int WalkAddresses(F onAddress)
{
    ifaddrs* pList = nullptr;
    if (::getifaddrs(&pList) != 0)
        return errno;
    for (const ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        const std::string strName(p->ifa_name, std::strcspn(p->ifa_name, ":"));
        const bool bIpv4 = p->ifa_addr != nullptr && p->ifa_addr->sa_family == AF_INET;
        onAddress(strName, p->ifa_flags, bIpv4 ? p : nullptr);
    }
    ::freeifaddrs(pList);
    return 0;
}

unsigned PrefixOfMask(uint32_t dwMask)  // host order; a mask with holes counts its leading ones
{
    unsigned n = 0;
    while (n < 32 && (dwMask & (0x80000000u >> n)))
        ++n;
    return n;
}

}  // namespace

bool ParseNeighbourMessage(const nlmsghdr* pHeader, CNeighbourRow& row)
{
    std::array<const nlattr*, NDA_MAX + 1> attrs;
    if (pHeader->nlmsg_type != RTM_NEWNEIGH || !ReadAttributes(pHeader, sizeof(ndmsg), attrs))
        return false;
    const auto* pNeigh = static_cast<const ndmsg*>(mnl_nlmsg_get_payload(pHeader));
    CNeighbourRow found;
    if (pNeigh->ndm_family != AF_INET || !Read32(attrs[NDA_DST], found.dwAddr))
        return false;
    found.dwIndex = static_cast<uint32_t>(pNeigh->ndm_ifindex);
    found.wState = pNeigh->ndm_state;
    if (const nlattr* pInfo = attrs[NDA_CACHEINFO];
        pInfo && mnl_attr_get_payload_len(pInfo) >= sizeof(nda_cacheinfo)) {
        nda_cacheinfo info;
        std::memcpy(&info, mnl_attr_get_payload(pInfo), sizeof info);
        // In clock ticks (USER_HZ), a hundred a second on Linux.
        found.dwConfirmedAgoMs = static_cast<uint32_t>(std::min<uint64_t>(
            uint64_t{info.ndm_confirmed} * 1000 / kClockTicks, kNeverConfirmed - 1));
    }
    if (const nlattr* pAddr = attrs[NDA_LLADDR]) {
        found.dwPhysAddrLen = mnl_attr_get_payload_len(pAddr);
        std::memcpy(found.bPhysAddr, mnl_attr_get_payload(pAddr),
                    std::min<size_t>(found.dwPhysAddrLen, sizeof found.bPhysAddr));
    }
    row = found;
    return true;
}

bool ParseRouteMessage(const nlmsghdr* pHeader, CRouteInfo& route)
{
    std::array<const nlattr*, RTA_MAX + 1> attrs;
    if (pHeader->nlmsg_type != RTM_NEWROUTE || !ReadAttributes(pHeader, sizeof(rtmsg), attrs))
        return false;
    CRouteInfo found;
    found.nType = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(pHeader))->rtm_type;
    Read32(attrs[RTA_OIF], found.dwOutIndex);
    Read32(attrs[RTA_GATEWAY], found.dwGateway);
    route = found;
    return true;
}

bool ParseLinkRouteMessage(const nlmsghdr* pHeader, CLinkRoute& route)
{
    std::array<const nlattr*, RTA_MAX + 1> attrs;
    if (pHeader->nlmsg_type != RTM_NEWROUTE || !ReadAttributes(pHeader, sizeof(rtmsg), attrs))
        return false;
    const auto* pRoute = static_cast<const rtmsg*>(mnl_nlmsg_get_payload(pHeader));
    if (pRoute->rtm_family != AF_INET || pRoute->rtm_type != RTN_UNICAST || attrs[RTA_GATEWAY] ||
        attrs[RTA_VIA])
        return false;
    CLinkRoute found;
    found.nDstLen = pRoute->rtm_dst_len;
    Read32(attrs[RTA_DST], found.dwDst);
    Read32(attrs[RTA_OIF], found.dwOutIndex);
    route = found;
    return true;
}

bool ParseNeighbourTableMessage(const nlmsghdr* pHeader, CNeighbourLoad& load)
{
    std::array<const nlattr*, NDTA_MAX + 1> attrs;
    if (pHeader->nlmsg_type != RTM_NEWNEIGHTBL || !ReadAttributes(pHeader, sizeof(ndtmsg), attrs))
        return false;
    // The table's own message carries its name and limits; the messages per
    // interface carry none of them.
    const nlattr* pName = attrs[NDTA_NAME];
    const nlattr* pConfig = attrs[NDTA_CONFIG];
    if (!pName || mnl_attr_validate(pName, MNL_TYPE_NUL_STRING) < 0 ||
        std::strcmp(mnl_attr_get_str(pName), "arp_cache") != 0 || !pConfig ||
        mnl_attr_get_payload_len(pConfig) < sizeof(ndt_config))
        return false;
    CNeighbourLoad found;
    ndt_config config;
    std::memcpy(&config, mnl_attr_get_payload(pConfig), sizeof config);
    found.nEntries = config.ndtc_entries;
    Read32(attrs[NDTA_THRESH2], found.nThresh2);
    Read32(attrs[NDTA_THRESH3], found.nThresh3);
    load = found;
    return true;
}

CNetlinkSocket::~CNetlinkSocket() { Close(); }

void CNetlinkSocket::Close()
{
    if (m_pSocket)
        mnl_socket_close(m_pSocket);
    m_pSocket = nullptr;
}

int CNetlinkSocket::Open(unsigned nGroups)
{
    Close();
    m_pSocket = mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC | (nGroups ? SOCK_NONBLOCK : 0));
    if (m_pSocket == nullptr)
        return errno;
    if (mnl_socket_bind(m_pSocket, nGroups, MNL_SOCKET_AUTOPID) < 0) {
        const int nError = errno;
        Close();
        return nError;
    }
    m_nPortId = mnl_socket_get_portid(m_pSocket);
    m_nSeq = static_cast<unsigned>(std::time(nullptr));
    m_buffer.resize(kBufferSize);
    if (nGroups) {  // room for a burst of notifications
        int nSize = 1 << 20;
        mnl_socket_setsockopt(m_pSocket, SO_RCVBUF, &nSize, sizeof nSize);
    }
    return 0;
}

int CNetlinkSocket::Handle() const { return m_pSocket ? mnl_socket_get_fd(m_pSocket) : -1; }

namespace {

int HandMessage(const nlmsghdr* pHeader, void* pData)
{
    (*static_cast<const CNetlinkSocket::MessageHandler*>(pData))(pHeader);
    return MNL_CB_OK;
}

}  // namespace

int CNetlinkSocket::Request(nlmsghdr& request, const MessageHandler& onMessage)
{
    if (m_pSocket == nullptr)
        if (const int nError = Open())
            return nError;
    if (++m_nSeq == 0)
        ++m_nSeq;
    request.nlmsg_seq = m_nSeq;
    const bool bDump = request.nlmsg_flags & NLM_F_DUMP;
    int nResult = MNL_CB_OK;
    if (mnl_socket_sendto(m_pSocket, &request, request.nlmsg_len) < 0)
        nResult = MNL_CB_ERROR;
    while (nResult == MNL_CB_OK) {
        const ssize_t nLength = mnl_socket_recvfrom(m_pSocket, m_buffer.data(), m_buffer.size());
        if (nLength < 0 && errno == EINTR)
            continue;
        nResult = nLength < 0
            ? MNL_CB_ERROR
            : mnl_cb_run(m_buffer.data(), static_cast<size_t>(nLength), m_nSeq, m_nPortId,
                         HandMessage, const_cast<MessageHandler*>(&onMessage));
        if (!bDump && nResult == MNL_CB_OK)
            return 0;  // the one answer
    }
    if (nResult == MNL_CB_STOP)
        return 0;
    // What is left of the answer would be taken for the next one's.
    const int nError = errno ? errno : EBADMSG;
    Close();
    return nError;
}

int CNetlinkSocket::ReadWaiting(const MessageHandler& onMessage)
{
    if (m_pSocket == nullptr)
        return EBADF;
    for (;;) {
        const ssize_t nLength = mnl_socket_recvfrom(m_pSocket, m_buffer.data(), m_buffer.size());
        if (nLength < 0 && errno == EINTR)
            continue;
        if (nLength < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
        // Notifications carry no sequence number or port of ours.
        mnl_cb_run(m_buffer.data(), static_cast<size_t>(nLength), 0, 0, HandMessage,
                   const_cast<MessageHandler*>(&onMessage));
    }
}

int CNetlinkRouteTable::LookUpRoute(uint32_t dwAddr, CRouteInfo& route)
{
    alignas(nlmsghdr) char buffer[MNL_NLMSG_HDRLEN + MNL_ALIGN(sizeof(rtmsg)) + 64];
    nlmsghdr* pRequest = mnl_nlmsg_put_header(buffer);
    pRequest->nlmsg_type = RTM_GETROUTE;
    pRequest->nlmsg_flags = NLM_F_REQUEST;
    auto* pRoute = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(pRequest, sizeof(rtmsg)));
    pRoute->rtm_family = AF_INET;
    pRoute->rtm_dst_len = 32;
    mnl_attr_put(pRequest, RTA_DST, sizeof dwAddr, &dwAddr);
    bool bFound = false;
    const int nError = m_netlink.Request(*pRequest, [&](const nlmsghdr* pHeader) {
        bFound = ParseRouteMessage(pHeader, route) || bFound;
    });
    return nError ? nError : bFound ? 0 : EBADMSG;
}

int CNetlinkRouteTable::LinkRoutes(std::vector<CLinkRoute>& routes)
{
    std::vector<CLinkRoute> found;
    rtmsg family{};
    family.rtm_family = AF_INET;
    const int nError = Dump(
        m_netlink, RTM_GETROUTE, family,
        [&](const nlmsghdr* pHeader) {
            CLinkRoute route;
            if (ParseLinkRouteMessage(pHeader, route))
                found.push_back(route);
        },
        [&] { found.clear(); });
    if (nError == 0)
        routes = std::move(found);
    return nError;
}

int CNetlinkRouteTable::LinkAddresses(std::vector<CLinkAddress>& addresses)
{
    std::vector<CLinkAddress> found;
    const int nError =
        WalkAddresses([&](const std::string& strName, unsigned nFlags, const ifaddrs* pAddress) {
            const unsigned nWanted = IFF_UP | IFF_BROADCAST;
            if (!pAddress || pAddress->ifa_netmask == nullptr || (nFlags & nWanted) != nWanted ||
                (nFlags & IFF_LOOPBACK))
                return;
            const unsigned nIndex = ::if_nametoindex(strName.c_str());
            const auto* pAddr = reinterpret_cast<const sockaddr_in*>(pAddress->ifa_addr);
            const auto* pMask = reinterpret_cast<const sockaddr_in*>(pAddress->ifa_netmask);
            if (nIndex != 0)
                found.push_back({nIndex, strName, pAddr->sin_addr.s_addr,
                                 PrefixOfMask(ntohl(pMask->sin_addr.s_addr))});
        });
    if (nError == 0)
        addresses = std::move(found);
    return nError;
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
    ELinkState state = ELinkState::Down;
    const int nError =
        WalkAddresses([&](const std::string& strLink, unsigned nFlags, const ifaddrs* pAddress) {
            if (strLink != strName || !(nFlags & IFF_UP) || state == ELinkState::Usable)
                return;
            state = pAddress ? ELinkState::Usable : ELinkState::NoAddress;
        });
    return nError ? ELinkState::Missing : state;
}

std::vector<CLink> LinksOf(const std::vector<CLinkAddress>& addresses)
{
    std::vector<CLink> links;
    for (const CLinkAddress& address : addresses)
        if (std::none_of(links.begin(), links.end(),
                         [&](const CLink& link) { return link.nIndex == address.nIndex; }))
            links.push_back({address.nIndex, address.strLink});
    return links;
}

int CNetlinkNeighbourTable::GetTable(std::vector<CNeighbourRow>& rows)
{
    std::vector<CNeighbourRow> found;
    ndmsg family{};
    family.ndm_family = AF_INET;
    const int nError = Dump(
        m_netlink, RTM_GETNEIGH, family,
        [&](const nlmsghdr* pHeader) {
            CNeighbourRow row;
            if (ParseNeighbourMessage(pHeader, row))
                found.push_back(row);
        },
        [&] { found.clear(); });
    if (nError == 0)
        rows = std::move(found);
    return nError;
}

int CNetlinkNeighbourTable::GetLoad(CNeighbourLoad& load)
{
    bool bSeen = false;
    CNeighbourLoad found;
    ndtmsg family{};
    family.ndtm_family = AF_INET;
    const int nError = Dump(
        m_netlink, RTM_GETNEIGHTBL, family,
        [&](const nlmsghdr* pHeader) {
            bSeen = ParseNeighbourTableMessage(pHeader, found) || bSeen;
        },
        [&] { bSeen = false; });
    if (nError == 0 && bSeen)
        load = found;
    return nError ? nError : bSeen ? 0 : ENOENT;
}

std::string NeighbourMacText(const CNeighbourRow& row)
{
    return MacBytesText(row.bPhysAddr, std::min<size_t>(row.dwPhysAddrLen, sizeof row.bPhysAddr));
}
