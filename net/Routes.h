#pragma once
// The kernel's routes and links, as far as nuvik needs them: which way a
// datagram to an address would go, which links are attached and with which
// prefixes. Behind an interface so that tests can substitute a fake.
#include <linux/rtnetlink.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// Where the kernel would send a packet for an address.
struct CRouteInfo {
    uint8_t nType = 0;        // RTN_UNICAST, RTN_LOCAL, ...
    uint32_t dwOutIndex = 0;  // output interface
    uint32_t dwGateway = 0;   // network order; 0 when the address is on the link
    // A unicast route without a gateway.
    bool OnLink() const { return nType == RTN_UNICAST && dwGateway == 0; }
};

// A route of the kernel's tables that puts its destination on a link, with
// no gateway: the prefix, and the interface (0 when it has several ways out).
struct CLinkRoute {
    uint32_t dwDst = 0;  // network order
    uint8_t nDstLen = 0;
    uint32_t dwOutIndex = 0;
    bool Covers(uint32_t dwAddr) const
    {
        const uint32_t dwMask =
            nDstLen == 0 ? 0 : htonl(~0u << (32 - std::min<unsigned>(nDstLen, 32)));
        return ((dwAddr ^ dwDst) & dwMask) == 0;
    }
};

// One IPv4 address of an attached link, with the length of its prefix.
struct CLinkAddress {
    unsigned nIndex = 0;
    std::string strLink;  // the interface's name
    uint32_t dwAddr = 0;  // network order
    unsigned nPrefixLen = 0;
};

// A network interface: its index and name.
struct CLink {
    unsigned nIndex = 0;
    std::string strName;
};

// Whether an interface the user named can carry a wake.
enum class ELinkState { Missing, Down, NoAddress, Usable };

class IRouteTable {
public:
    virtual ~IRouteTable() = default;

    // The route to dwAddr (network order). 0, or the errno (ENETUNREACH
    // when there is none).
    virtual int LookUpRoute(uint32_t dwAddr, CRouteInfo& route) = 0;
    // Every IPv4 unicast route without a gateway, of every table.
    virtual int LinkRoutes(std::vector<CLinkRoute>& routes) = 0;
    // Every IPv4 address of every interface that is up, can broadcast and is
    // not the loopback, in the kernel's order.
    virtual int LinkAddresses(std::vector<CLinkAddress>& addresses) = 0;
    // The interface's name, for messages; its number when it has none.
    virtual std::string LinkName(unsigned nIndex) = 0;
    // The interface of that name: missing, down, up without an IPv4
    // address, or usable; nIndex gets its index when it exists.
    virtual ELinkState FindLink(const std::string& strName, unsigned& nIndex) = 0;
};

// The interfaces of the addresses, each once, in their order.
std::vector<CLink> LinksOf(const std::vector<CLinkAddress>& addresses);
