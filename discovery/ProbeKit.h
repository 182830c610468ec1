#pragma once
// What one thread that probes needs of the system: the probe platform, the
// routes and the neighbour table each hold sockets of their own, so every
// thread gets a kit of its own.
#include <functional>
#include <memory>

#include "net/NeighbourTable.h"
#include "net/ProbePlatform.h"
#include "net/Routes.h"

struct CProbeKit {
    virtual ~CProbeKit() = default;
    IProbePlatform* pPlatform = nullptr;
    IRouteTable* pRoutes = nullptr;
    INeighbourTable* pNeighbours = nullptr;
};

using ProbeKitFactory = std::function<std::unique_ptr<CProbeKit>()>;
