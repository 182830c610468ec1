#pragma once
// A route table of fixed answers that counts its lookups.
#include <arpa/inet.h>

#include <map>
#include <string>
#include <vector>

#include "net/Routes.h"

class CFakeRoutes : public IRouteTable {
public:
    std::map<std::string, CRouteInfo> routes;  // dotted address -> route; others have none
    std::vector<CLink> links;                   // what BroadcastLinks gives
    std::vector<CLinkRoute> linkRoutes;         // what LinkRoutes gives
    bool bLinkRoutesRead = false;               // false: LinkRoutes fails
    int nLookUps = 0;

    // A route on the link of interface nIndex, or through the gateway pszGateway.
    static CRouteInfo Route(unsigned nIndex, const char* pszGateway = nullptr)
    {
        return {RTN_UNICAST, nIndex, pszGateway ? inet_addr(pszGateway) : 0};
    }

    bool LookUpRoute(uint32_t dwAddr, CRouteInfo& route) override
    {
        ++nLookUps;
        auto it = routes.find(inet_ntoa(in_addr{dwAddr}));
        if (it == routes.end())
            return false;
        route = it->second;
        return true;
    }
    bool LinkRoutes(std::vector<CLinkRoute>& routesOut) override
    {
        routesOut = linkRoutes;
        return bLinkRoutesRead;
    }
    std::vector<CLink> BroadcastLinks() override { return links; }
    std::string LinkName(unsigned nIndex) override { return "if" + std::to_string(nIndex); }
};
