#pragma once
// Which link a wake leaves by. The limited broadcast leaves by the interface
// of the default route; a host that the kernel's routes put on the link of
// another interface is woken out of that one instead.
#include <cstdint>
#include <vector>

#include "net/Routes.h"

class CLinkChooser {
public:
    explicit CLinkChooser(IRouteTable* pRoutes = nullptr) : m_pRoutes(pRoutes) {}

    // The interface to send the wake of the host at dwHost (network order,
    // 0 when unknown) out of; 0 to send by the default route, which is the
    // answer for an unknown address, a host behind a gateway, a failed
    // lookup and a host on the default route's own link.
    unsigned ChooseLink(uint32_t dwHost);

    // The route of the limited broadcast and the table's on-link routes are
    // read once and kept, for a batch; after this they are read afresh.
    void Forget() { m_bRoutesRead = false; }

    IRouteTable* Routes() const { return m_pRoutes; }

private:
    void ReadRoutes();

    IRouteTable* m_pRoutes;
    bool m_bRoutesRead = false;
    uint32_t m_dwBroadcastIndex = 0;  // 0: no route for the limited broadcast at all
    bool m_bOtherLinksKnown = false;  // false: every host needs a lookup
    std::vector<CLinkRoute> m_otherLinks;  // on-link routes not by the broadcast's interface
};
