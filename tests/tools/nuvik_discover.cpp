// Probe for tests and benchmarks, one "key value" line each.
//   nuvik_discover A.B.C.D         the "MAC" button's discovery: one probe, one read
//                                  of the neighbour table and the scan of its rows:
//                                  mac, way (the socket the probe went out on),
//                                  end (replied, entry or timeout), rows, ms;
//                                  exit 0 when found
//   nuvik_discover --name NAME     forward lookup: name, then each addr
//   nuvik_discover --addr A.B.C.D  reverse lookup: name
// A lookup that fails prints "error" with the resolver's reason, exit 1.
#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "discovery/MacDiscovery.h"
#include "net/Netlink.h"
#include "net/Resolver.h"

namespace {

// The real platform, telling which socket the probe went out on.
struct CTracedPlatform : CPosixProbePlatform {
    const char* pszWay = "none";
    int Open(EProbeSocket kind, int& hSocket) override
    {
        static const char* const s_apszWays[] = {"dgram", "raw", "udp", "tcp"};
        const int nError = CPosixProbePlatform::Open(kind, hSocket);
        if (nError == 0 && pszWay == std::string("none"))
            pszWay = s_apszWays[static_cast<int>(kind)];
        return nError;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const std::string strMode = argc == 3 ? argv[1] : "";
    const bool bName = strMode == "--name", bAddr = strMode == "--addr";
    in_addr addr{};
    if (!(argc == 2 || bName || bAddr) ||
        (!bName && ::inet_pton(AF_INET, argv[argc - 1], &addr) != 1)) {
        std::fprintf(stderr, "usage: nuvik_discover A.B.C.D | --name NAME | --addr A.B.C.D\n");
        return 2;
    }
    CSystemResolver resolver;
    CHostRecord record;
    if (bName || bAddr) {
        const int nError = bName ? resolver.GetHostByName(argv[2], record)
                                 : resolver.GetHostByAddr(addr.s_addr, record.strName);
        if (nError) {
            std::printf("error %s\n", ResolverErrorText(nError).c_str());
            return 1;
        }
        std::printf("name %s\n", record.strName.c_str());
        for (const uint32_t dwAddr : record.addresses)
            std::printf("addr %s\n", ::inet_ntoa(in_addr{dwAddr}));
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    CTracedPlatform platform;
    CNetlinkRouteTable routes;
    CNetlinkNeighbourTable table;
    std::vector<CNeighbourRow> rows;
    CProbeResult result;
    std::string strMac;
    const bool bFound = ProbeThenReadTable(platform, routes, table, addr.s_addr, rows, &result) &&
        ScanNeighbourTable(rows, addr.s_addr, strMac);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    const char* pszEnd = result.how == EProbeHow::Echo && result.state == EProbeState::Up
        ? "replied"
        : elapsed.count() < kEchoTimeoutMs ? "entry"
                                           : "timeout";
    std::printf("mac %s\nway %s\nend %s\nrows %zu\nms %.1f\n", strMac.c_str(), platform.pszWay,
                pszEnd, rows.size(), elapsed.count());
    return bFound ? 0 : 1;
}
