// Probe for tests and benchmarks, one "key value" line each.
//   nuvik_discover A.B.C.D         one echo request, one read of the neighbour
//                                  table and the scan, as the dialog does them:
//                                  mac, way, end, rows, ms; exit 0 when found
//   nuvik_discover --name NAME     forward lookup: name, then each addr
//   nuvik_discover --addr A.B.C.D  reverse lookup: name
// A lookup that fails prints "error" with the resolver's reason, exit 1.
#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "discovery/EchoRequest.h"
#include "discovery/MacScan.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Resolver.h"

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
        if (bName ? !resolver.GetHostByName(argv[2], record)
                  : !resolver.GetHostByAddr(addr.s_addr, record.strName)) {
            std::printf("error %s\n", resolver.LastErrorText().c_str());
            return 1;
        }
        std::printf("name %s\n", record.strName.c_str());
        for (const uint32_t dwAddr : record.addresses)
            std::printf("addr %s\n", ::inet_ntoa(in_addr{dwAddr}));
        return 0;
    }
    const auto start = std::chrono::steady_clock::now();
    CNetlinkNeighbourTable table;
    const CEchoOutcome outcome = CEchoRequest(table).SendEcho(addr.s_addr, kEchoTimeoutMs);
    std::string strMac;
    std::vector<CNeighbourRow> rows;
    const bool bFound = table.GetTable(rows) && ScanNeighbourTable(rows, addr.s_addr, strMac);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    static const char* const s_apszEnd[] = {"not-sent", "replied", "entry", "nothing", "timeout"};
    std::printf("mac %s\nway %s\nend %s\nrows %zu\nms %.1f\n", strMac.c_str(),
                EchoWayName(outcome.way), s_apszEnd[static_cast<int>(outcome.end)], rows.size(),
                elapsed.count());
    return bFound ? 0 : 1;
}
