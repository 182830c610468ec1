// One discovery of the "MAC" button for bench/discovery.sh: one probe, one
// read of the neighbour table and the scan of its rows; prints "key value"
// lines: mac, way (the socket the probe went out on), end (replied, entry or
// timeout), rows, ms. Exit 0 when found.
//   nuvik_bench_discover A.B.C.D
#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "discovery/MacDiscovery.h"
#include "net/Netlink.h"

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
    in_addr addr{};
    if (argc != 2 || ::inet_pton(AF_INET, argv[1], &addr) != 1) {
        std::fprintf(stderr, "usage: nuvik_bench_discover A.B.C.D\n");
        return 2;
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
