#pragma once
// rtnetlink through libmnl: a socket that asks the kernel and reads its
// answers, the parsers of the messages nuvik asks for (one message each, so
// that they are tested on hand-built messages), and the kernel's routes,
// links and neighbour table behind their interfaces.
#include <linux/netlink.h>

#include <functional>
#include <vector>

#include "net/NeighbourTable.h"
#include "net/Routes.h"

struct mnl_socket;

// Each reads one message and gives false for one that is not of its kind or
// lacks what it needs: an IPv4 RTM_NEWNEIGH with its destination; an
// RTM_NEWROUTE; an IPv4 unicast RTM_NEWROUTE with neither gateway nor via;
// the RTM_NEWNEIGHTBL of the IPv4 table ("arp_cache") with its limits and
// its count of entries.
bool ParseNeighbourMessage(const nlmsghdr* pHeader, CNeighbourRow& row);
bool ParseRouteMessage(const nlmsghdr* pHeader, CRouteInfo& route);
bool ParseLinkRouteMessage(const nlmsghdr* pHeader, CLinkRoute& route);
bool ParseNeighbourTableMessage(const nlmsghdr* pHeader, CNeighbourLoad& load);

// An rtnetlink socket bound to a port the kernel chooses, opened at its first
// use and kept for the next: a batch asks many small questions.
class CNetlinkSocket {
public:
    CNetlinkSocket() = default;
    CNetlinkSocket(const CNetlinkSocket&) = delete;
    CNetlinkSocket& operator=(const CNetlinkSocket&) = delete;
    ~CNetlinkSocket();

    // nGroups: the multicast groups to join (RTMGRP_* bits); a socket that
    // joins some does not wait when it reads. 0, or the errno.
    int Open(unsigned nGroups = 0);
    int Handle() const;

    using MessageHandler = std::function<void(const nlmsghdr*)>;
    // Sends the request and hands each message of its answer to onMessage
    // until the answer is complete. 0, or the errno: the kernel's refusal,
    // or EINTR for a dump that the table's changes interrupted.
    int Request(nlmsghdr& request, const MessageHandler& onMessage);
    // Hands each message waiting (notifications) to onMessage. 0 when all
    // is read; ENOBUFS when the kernel dropped some; another errno when the
    // socket is broken.
    int ReadWaiting(const MessageHandler& onMessage);

private:
    void Close();

    mnl_socket* m_pSocket = nullptr;
    unsigned m_nPortId = 0;
    unsigned m_nSeq = 0;
    std::vector<char> m_buffer;
};

class CNetlinkRouteTable : public IRouteTable {
public:
    int LookUpRoute(uint32_t dwAddr, CRouteInfo& route) override;
    int LinkRoutes(std::vector<CLinkRoute>& routes) override;
    int LinkAddresses(std::vector<CLinkAddress>& addresses) override;
    std::string LinkName(unsigned nIndex) override;
    ELinkState FindLink(const std::string& strName, unsigned& nIndex) override;

private:
    CNetlinkSocket m_netlink;
};

class CNetlinkNeighbourTable : public INeighbourTable {
public:
    int GetTable(std::vector<CNeighbourRow>& rows) override;
    int GetLoad(CNeighbourLoad& load) override;

private:
    CNetlinkSocket m_netlink;
};
