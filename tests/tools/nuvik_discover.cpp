// Probe for tests and benchmarks: one echo request, one read of the neighbour
// table and the scan, as the dialog does them, with the time it all took.
//   nuvik_discover A.B.C.D
// Prints the hardware address text (or an empty line), the way the request
// went out and the elapsed milliseconds. Exit 0 when an address was found.
//   nuvik_discover --name NAME      forward lookup: official name, addresses
//   nuvik_discover --addr A.B.C.D   reverse lookup: the name
// Exit 0 when the lookup succeeded, 1 with the resolver's reason otherwise.
#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "discovery/EchoRequest.h"
#include "discovery/MacScan.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Resolver.h"

namespace {

int LookUp(const std::string& strMode, const char* pszWhat)
{
    CSystemResolver resolver;
    if (strMode == "--name") {
        CHostRecord record;
        if (!resolver.GetHostByName(pszWhat, record)) {
            std::printf("error %s\n", resolver.LastErrorText().c_str());
            return 1;
        }
        std::printf("name %s\n", record.strName.c_str());
        for (uint32_t dwAddr : record.addresses) {
            in_addr addr{dwAddr};
            std::printf("addr %s\n", ::inet_ntoa(addr));
        }
        return 0;
    }
    in_addr addr{};
    if (::inet_pton(AF_INET, pszWhat, &addr) != 1)
        return 2;
    std::string strName;
    if (!resolver.GetHostByAddr(addr.s_addr, strName)) {
        std::printf("error %s\n", resolver.LastErrorText().c_str());
        return 1;
    }
    std::printf("name %s\n", strName.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && (std::string(argv[1]) == "--name" || std::string(argv[1]) == "--addr"))
        return LookUp(argv[1], argv[2]);
    in_addr target{};
    if (argc != 2 || ::inet_pton(AF_INET, argv[1], &target) != 1) {
        std::fprintf(stderr, "usage: nuvik_discover A.B.C.D | --name NAME | --addr A.B.C.D\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    CNetlinkNeighbourTable table;
    CEchoRequest echo(table);
    const CEchoOutcome outcome = echo.SendEcho(target.s_addr, kEchoTimeoutMs);

    std::string strMac;
    std::vector<CNeighbourRow> rows;
    const bool bTable = table.GetTable(rows);
    const bool bFound = bTable && ScanNeighbourTable(rows, target.s_addr, strMac);
    const auto nElapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();

    static const char* const s_apszEnd[] = {"not-sent", "replied", "entry", "nothing", "timeout"};
    std::printf("mac %s\nway %s\nsetup %d\nend %s\ntable %d\nrows %zu\nms %.1f\n", bFound ? strMac.c_str() : "",
                EchoWayName(outcome.way), outcome.bSetUp ? 1 : 0, s_apszEnd[static_cast<int>(outcome.end)],
                bTable ? 1 : 0, rows.size(), static_cast<double>(nElapsed) / 1000.0);
    return bFound ? 0 : 1;
}
