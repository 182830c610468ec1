#include "app/SystemServices.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "app/WindowLoader.h"
#include "discovery/ProbeKit.h"
#include "hosts/FileSystem.h"
#include "net/Ethers.h"
#include "net/Netlink.h"
#include "net/ProbePlatform.h"
#include "net/Resolver.h"
#include "net/SocketLayer.h"
#include "ui/MessageBox.h"

namespace {

volatile sig_atomic_t s_nStopSignal = 0;
void OnStopSignal(int nSignal) { s_nStopSignal = nSignal; }

}  // namespace

struct CSystemServices::CParts {
    explicit CParts(const std::string& strAppName)
        : messages(strAppName)
    { }
    CPosixSocketLayer sockets;
    CNetlinkRouteTable routes;
    CNetlinkNeighbourTable neighbours;
    CPosixProbePlatform platform;
    CSystemResolver resolver;
    CSystemEthers ethers;
    CPosixFileSystem files;
    CStreamMessageBox messages;
};

CSystemServices::CSystemServices(const std::string& strAppName)
    : m_pParts(std::make_unique<CParts>(strAppName))
{
    CParts& parts = *m_pParts;
    m_services.pSockets = &parts.sockets;
    m_services.pRoutes = &parts.routes;
    m_services.pNeighbours = &parts.neighbours;
    m_services.pPlatform = &parts.platform;
    m_services.pResolver = &parts.resolver;
    m_services.pEthers = &parts.ethers;
    m_services.pFiles = &parts.files;
    // Each call resolves on its own: the scan asks from several threads.
    m_services.reverseLookup = [](uint32_t dwAddr, std::string& strName) {
        return CSystemResolver().GetHostByAddr(dwAddr, strName) == 0;
    };
    m_services.pMessages = &parts.messages;
    m_services.pfnRunDialog = &RunDialogMode;
    m_services.pfnShowMessage = &ShowDialogMessage;
    m_services.pfnRunHosts = &RunHostsMode;
    m_services.makeProbeKit = [] {
        struct CSystemKit : CProbeKit {
            CPosixProbePlatform platform;
            CNetlinkRouteTable routes;
            CNetlinkNeighbourTable neighbours;
        };
        auto pKit = std::make_unique<CSystemKit>();
        pKit->pPlatform = &pKit->platform;
        pKit->pRoutes = &pKit->routes;
        pKit->pNeighbours = &pKit->neighbours;
        return std::unique_ptr<CProbeKit>(std::move(pKit));
    };
    m_services.nowMs = [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return now.tv_sec * int64_t{1000} + now.tv_nsec / 1000000;
    };
    m_services.pfnPause = &PauseMs;
    m_services.pOut = stdout;
    m_services.pProgress = ::isatty(STDERR_FILENO) ? stderr : nullptr;
    m_services.pStop = &s_nStopSignal;
}

CSystemServices::~CSystemServices() = default;

CStopOnSignals::CStopOnSignals()
{
    struct sigaction stop { };
    stop.sa_handler = OnStopSignal;  // no SA_RESTART: a wait ends at once
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, &m_beforeInt);
    ::sigaction(SIGTERM, &stop, &m_beforeTerm);
}

CStopOnSignals::~CStopOnSignals()
{
    ::sigaction(SIGINT, &m_beforeInt, nullptr);
    ::sigaction(SIGTERM, &m_beforeTerm, nullptr);
}

void PauseMs(int nMs)
{
    timespec left{nMs / 1000, (nMs % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) { }
}
