#include "wake/LinkChooser.h"

#include <netinet/in.h>

#include <algorithm>

void CLinkChooser::ReadRoutes()
{
    CRouteInfo broadcast;
    m_dwBroadcastIndex =
        m_pRoutes->LookUpRoute(htonl(INADDR_BROADCAST), broadcast) == 0 ? broadcast.dwOutIndex : 0;
    m_otherLinks.clear();
    m_bOtherLinksKnown = m_pRoutes->LinkRoutes(m_otherLinks) == 0;
    if (m_dwBroadcastIndex != 0)
        std::erase_if(m_otherLinks, [this](const CLinkRoute& route) {
            return route.dwOutIndex == m_dwBroadcastIndex;
        });
    m_bRoutesRead = true;
}

unsigned CLinkChooser::ChooseLink(uint32_t dwHost)
{
    if (m_pRoutes == nullptr || dwHost == 0)
        return 0;
    if (!m_bRoutesRead)
        ReadRoutes();
    // The kernel's route to a host can only lead out of another link when an
    // on-link route of another interface covers it; a batch then needs no
    // lookup of its own for the hosts on the default route's link.
    const auto Covers = [dwHost](const CLinkRoute& route) { return route.Covers(dwHost); };
    if (m_bOtherLinksKnown && std::none_of(m_otherLinks.begin(), m_otherLinks.end(), Covers))
        return 0;
    CRouteInfo host;
    if (m_pRoutes->LookUpRoute(dwHost, host) != 0 || !host.OnLink())
        return 0;
    // Without a route for the limited broadcast the host's own link is the
    // one that can reach it.
    if (host.dwOutIndex == m_dwBroadcastIndex)
        return 0;
    return host.dwOutIndex;
}

CDestination CLinkChooser::Choose(uint32_t dwHost)
{
    CDestination dest;
    dest.dwAddr = m_delivery.dwTo ? m_delivery.dwTo : htonl(INADDR_BROADCAST);
    dest.nPort = m_delivery.nPort;
    if (m_delivery.nInterface) {
        dest.nLink = m_delivery.nInterface;
        dest.why = ELinkWhy::Named;
    } else if (m_delivery.dwTo) {
        dest.why = ELinkWhy::Destination;
    } else {
        dest.nLink = ChooseLink(dwHost);
        dest.why = dest.nLink ? ELinkWhy::HostsLink : ELinkWhy::DefaultRoute;
    }
    return dest;
}

std::string CLinkChooser::LinkNameOf(const CDestination& dest)
{
    if (m_pRoutes == nullptr)
        return "the kernel's route";
    if (dest.nLink)
        return m_pRoutes->LinkName(dest.nLink);
    CRouteInfo route;
    if (m_pRoutes->LookUpRoute(dest.dwAddr, route) == 0 && route.dwOutIndex)
        return m_pRoutes->LinkName(route.dwOutIndex);
    return "the kernel's route";
}

std::vector<CLink> CLinkChooser::BroadcastLinks()
{
    std::vector<CLinkAddress> addresses;
    if (m_pRoutes == nullptr || m_pRoutes->LinkAddresses(addresses) != 0)
        return {};
    return LinksOf(addresses);
}
