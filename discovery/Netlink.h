#pragma once
// Plain rtnetlink: a small socket wrapper and the parsers of the replies the
// program asks for. The parsers work on buffers so that they can be tested
// without a kernel.
#include <linux/netlink.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "discovery/NeighbourTable.h"
#include "net/Routes.h"

enum class ENetlinkStep {
    More,         // the reply goes on in the next datagram
    Done,         // NLMSG_DONE (or the single answer) was seen
    Error,        // NLMSG_ERROR with a non-zero code, or a malformed message
    Interrupted,  // the dump changed while it was read; ask again
};

// Reads one RTM_NEWNEIGH message into row. False for anything that is not an
// IPv4 neighbour message with a destination address.
bool ParseNeighbourMessage(const nlmsghdr* pHeader, CNeighbourRow& row);

// Walks one received datagram of a neighbour dump. Messages that do not carry
// nSeq and nPortId are ignored. IPv4 rows are appended to rows; on Error,
// nError receives the positive error number.
ENetlinkStep ParseNeighbourDump(const void* pData, size_t nLength, uint32_t nSeq, uint32_t nPortId,
                                std::vector<CNeighbourRow>& rows, int& nError);

// Walks the reply to a single route lookup.
ENetlinkStep ParseRouteReply(const void* pData, size_t nLength, uint32_t nSeq, uint32_t nPortId,
                             CRouteInfo& route, int& nError);

// Walks one received datagram of a route dump, appending the IPv4 unicast
// routes without a gateway to routes.
ENetlinkStep ParseLinkRouteDump(const void* pData, size_t nLength, uint32_t nSeq, uint32_t nPortId,
                                std::vector<CLinkRoute>& routes, int& nError);

// An rtnetlink socket bound to a port the kernel chooses.
class CNetlinkSocket {
public:
    CNetlinkSocket() = default;
    CNetlinkSocket(const CNetlinkSocket&) = delete;
    CNetlinkSocket& operator=(const CNetlinkSocket&) = delete;
    ~CNetlinkSocket();

    // nGroups: the multicast groups to join (RTMGRP_* bits), 0 for none.
    bool Open(uint32_t nGroups = 0);
    int Handle() const { return m_hSocket; }
    uint32_t PortId() const { return m_nPortId; }

    // Sends a request, giving it the next sequence number, which it returns
    // (0 on failure).
    uint32_t Send(nlmsghdr& request);
    // Receives one datagram from the kernel into buffer, growing it when the
    // datagram would not fit. Returns its length, 0 when nothing is waiting
    // (bDontWait), -1 on error.
    long Receive(std::vector<uint8_t>& buffer, bool bDontWait = false);

    // Sends a request and hands every datagram of the answer to parse (data,
    // length, the request's sequence number) until it says the answer is
    // complete or failed. A failed send or receive gives Error.
    using NetlinkParser =
        std::function<ENetlinkStep(const void* pData, size_t nLength, uint32_t nSeq)>;
    ENetlinkStep Transact(nlmsghdr& request, const NetlinkParser& parse);

private:
    int m_hSocket = -1;
    uint32_t m_nPortId = 0;
    uint32_t m_nSeq = 0;
    std::vector<uint8_t> m_buffer;  // kept: a batch makes many small requests
};

// Asks the kernel for the route to dwAddr (network order).
bool LookUpRoute(uint32_t dwAddr, CRouteInfo& route);

// The kernel's routes over one rtnetlink socket, opened at the first lookup
// and kept for the next ones: a batch wake looks up a route for each host.
class CNetlinkRouteTable : public IRouteTable {
public:
    bool LookUpRoute(uint32_t dwAddr, CRouteInfo& route) override;
    bool LinkRoutes(std::vector<CLinkRoute>& routes) override;
    std::vector<CLink> BroadcastLinks() override;
    std::string LinkName(unsigned nIndex) override;
    ELinkState FindLink(const std::string& strName, unsigned& nIndex) override;

private:
    CNetlinkSocket m_netlink;
};
