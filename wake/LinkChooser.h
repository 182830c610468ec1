#pragma once
// Where a wake's datagram goes and which link it leaves by. The limited
// broadcast leaves by the interface of the default route; a host that the
// kernel's routes put on the link of another interface is woken out of that
// one instead. A destination of the user's choice goes where the kernel's
// route for it leads, and an interface the user named overrides both.
#include <cstdint>
#include <string>
#include <vector>

#include "net/Routes.h"

// The wake port: the local port of every wake, and the destination port
// unless another is asked for.
constexpr uint16_t kWakePort = 4000;

// How the user wants the datagrams delivered.
struct CDelivery {
    uint16_t nPort = kWakePort;  // the destination port
    uint32_t dwTo = 0;           // the destination, network order; 0: 255.255.255.255
    unsigned nInterface = 0;     // the one interface to leave by; 0: by the routes
};

// Why a datagram leaves by the interface it does.
enum class ELinkWhy {
    DefaultRoute,  // the limited broadcast's route
    HostsLink,     // the host's address lies on another link
    EveryLink,     // no route for the limited broadcast: out of every link
    Named,         // the user named it
    Destination,   // the kernel's route for the destination the user gave
};

struct CDestination {
    uint32_t dwAddr = 0;  // network order
    uint16_t nPort = kWakePort;
    unsigned nLink = 0;  // the interface to send out of; 0: the kernel's route
    ELinkWhy why = ELinkWhy::DefaultRoute;
};

class CLinkChooser {
public:
    explicit CLinkChooser(IRouteTable* pRoutes = nullptr, CDelivery delivery = {})
        : m_pRoutes(pRoutes)
        , m_delivery(delivery)
    { }

    // The one decision of where the wake of the host at dwHost (network
    // order, 0 when unknown) goes: the destination, its port and the link.
    CDestination Choose(uint32_t dwHost);

    // The name of the interface a datagram to dest left by, for people:
    // with no link of its own, the one the kernel's route for it names.
    std::string LinkNameOf(const CDestination& dest);

    // Every interface that can broadcast, for a limited broadcast that has
    // no route at all.
    std::vector<CLink> BroadcastLinks();

    // The route of the limited broadcast and the table's on-link routes are
    // read once and kept, for a batch; after this they are read afresh.
    void Forget() { m_bRoutesRead = false; }

private:
    void ReadRoutes();
    // The interface to send the wake of the host at dwHost (network order,
    // 0 when unknown) out of; 0 to send by the default route, which is the
    // answer for an unknown address, a host behind a gateway, a failed
    // lookup and a host on the default route's own link.
    unsigned ChooseLink(uint32_t dwHost);

    IRouteTable* m_pRoutes;
    CDelivery m_delivery;
    bool m_bRoutesRead = false;
    uint32_t m_dwBroadcastIndex = 0;       // 0: no route for the limited broadcast at all
    bool m_bOtherLinksKnown = false;       // false: every host needs a lookup
    std::vector<CLinkRoute> m_otherLinks;  // on-link routes not by the broadcast's interface
};
