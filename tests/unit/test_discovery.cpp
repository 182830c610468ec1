// Finding a hardware address in the neighbour table, the rtnetlink parsers on
// hand-built messages, and the echo message.
#include <libmnl/libmnl.h>
#include <linux/neighbour.h>

#include "discovery/EchoMessage.h"
#include "discovery/MacDiscovery.h"
#include "fakes/Fakes.h"
#include "net/Netlink.h"
#include "net/ProbePlatform.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(NeighbourTable, TheFirstMatchingRowWithAnAddressWins)
{
    // pszAfter: what strMac holds after the scan; it holds "AABBCCDDEEFF" before
    const std::tuple<std::vector<CNeighbourRow>, bool, const char*> cases[] = {
        {{Row("10.0.0.4", {1, 1, 1, 1, 1, 1}), Row("10.0.0.5", {0x0A, 0x1B, 0xFF, 0, 0, 1}),
          Row("10.0.0.5", {3, 3, 3, 3, 3, 3})},
         true,
         "0A1BFF000001"},
        {{Row("10.0.0.5", {}), Row("10.0.0.5", {0xDE, 0xAD, 0xBE, 0xEF})}, true, "DEADBEEF"},
        {{Row("10.0.0.5", {}), Row("10.0.0.6", {1, 2, 3, 4, 5, 6})}, false, ""},
        {{Row("10.0.0.5", {1, 2, 3, 4, 5, 6, 7, 8}, 20)}, true, "0102030405060708"},
        {{Row("10.0.0.4", {1, 2, 3, 4, 5, 6})}, false, "AABBCCDDEEFF"},
    };
    for (const auto& [rows, bFound, pszAfter] : cases) {
        std::string strMac = "AABBCCDDEEFF";
        EXPECT_EQ(std::pair(ScanNeighbourTable(rows, NetAddr("10.0.0.5"), strMac), strMac),
                  std::pair(bFound, std::string(pszAfter)));
    }
}

// One rtnetlink message, laid out by libmnl as the kernel lays it out.
struct CMessage {
    alignas(nlmsghdr) char buffer[512] = {};
    template <typename T>
    CMessage(uint16_t nType, const T& fixed)
    {
        mnl_nlmsg_put_header(buffer)->nlmsg_type = nType;
        *static_cast<T*>(mnl_nlmsg_put_extra_header(Header(), sizeof(T))) = fixed;
    }
    nlmsghdr* Header() { return reinterpret_cast<nlmsghdr*>(buffer); }
    CMessage& Attr(uint16_t nType, const void* pData, size_t nSize)
    {
        mnl_attr_put(Header(), nType, nSize, pData);
        return *this;
    }
    CMessage& Addr(uint16_t nType, const char* psz)
    {
        const uint32_t dwAddr = NetAddr(psz);
        return Attr(nType, &dwAddr, 4);
    }
};

TEST(Netlink, EachMessageGivesWhatItCarriesOrNothing)
{
    const Bytes lladdr = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    CNeighbourRow row;
    const ndmsg neigh{.ndm_family = AF_INET, .ndm_ifindex = 3, .ndm_state = NUD_STALE};
    CMessage full(RTM_NEWNEIGH, neigh);
    full.Addr(NDA_DST, "10.0.0.1").Attr(NDA_LLADDR, lladdr.data(), lladdr.size());
    ASSERT_TRUE(ParseNeighbourMessage(full.Header(), row));
    EXPECT_EQ(std::tuple(row.dwAddr, row.dwIndex, row.wState, row.dwPhysAddrLen, row.bPhysAddr[7]),
              std::tuple(NetAddr("10.0.0.1"), 3u, uint16_t{NUD_STALE}, 10u, uint8_t{8}));
    EXPECT_EQ(NeighbourMacText(row), "0102030405060708");
    CMessage v6(RTM_NEWNEIGH, ndmsg{.ndm_family = AF_INET6}), noDst(RTM_NEWNEIGH, neigh);
    v6.Addr(NDA_DST, "10.0.0.2");
    EXPECT_FALSE(ParseNeighbourMessage(v6.Header(), row) ||
                 ParseNeighbourMessage(noDst.Header(), row));

    // Of the routes, those on a link (unicast, neither gateway nor via) with
    // their prefix; the route to one address keeps its type and gateway.
    const auto Route = [](uint8_t nType, uint8_t nDstLen, uint16_t nGateway) {
        CMessage route(RTM_NEWROUTE,
                       rtmsg{.rtm_family = AF_INET, .rtm_dst_len = nDstLen, .rtm_type = nType});
        const uint32_t dwOif = 3;
        route.Addr(RTA_DST, "10.0.3.0").Attr(RTA_OIF, &dwOif, 4);
        if (nGateway)
            route.Addr(nGateway, "10.0.3.1");
        return route;
    };
    CLinkRoute link;
    ASSERT_TRUE(ParseLinkRouteMessage(Route(RTN_UNICAST, 24, 0).Header(), link));
    EXPECT_EQ(std::tuple(link.dwDst, link.nDstLen, link.dwOutIndex),
              std::tuple(NetAddr("10.0.3.0"), 24, 3u));
    for (const auto& [nType, nGateway] : {std::pair<uint8_t, uint16_t>{RTN_UNICAST, RTA_GATEWAY},
                                          {RTN_UNICAST, RTA_VIA},
                                          {RTN_BROADCAST, 0}})
        EXPECT_FALSE(ParseLinkRouteMessage(Route(nType, 24, nGateway).Header(), link)) << nType;
    CRouteInfo route;
    ASSERT_TRUE(ParseRouteMessage(Route(RTN_BLACKHOLE, 32, RTA_GATEWAY).Header(), route));
    EXPECT_EQ(std::tuple(route.nType, route.dwOutIndex, route.dwGateway),
              std::tuple(RTN_BLACKHOLE, 3u, NetAddr("10.0.3.1")));

    // The IPv4 table's own message tells its limits and how many entries
    // the whole system holds.
    ndt_config config{};
    config.ndtc_entries = 700;
    const uint32_t dwThresh2 = 600, dwThresh3 = 900;
    const auto Table = [&](const char* pszName) {
        CMessage table(RTM_NEWNEIGHTBL, ndtmsg{.ndtm_family = AF_INET});
        table.Attr(NDTA_NAME, pszName, strlen(pszName) + 1)
            .Attr(NDTA_CONFIG, &config, sizeof config);
        return table.Attr(NDTA_THRESH2, &dwThresh2, 4).Attr(NDTA_THRESH3, &dwThresh3, 4);
    };
    CNeighbourLoad load;
    ASSERT_TRUE(ParseNeighbourTableMessage(Table("arp_cache").Header(), load));
    EXPECT_EQ(std::tuple(load.nEntries, load.nThresh2, load.nThresh3),
              std::tuple(700u, 600u, 900u));
    EXPECT_FALSE(ParseNeighbourTableMessage(Table("ndisc_cache").Header(), load));
}

TEST(EchoMessage, SixtyFourBytesOfAAWithAChecksumAndItsReplyMatched)
{
    const Bytes request = BuildEchoRequest(0x1234, 7);
    EXPECT_EQ(Bytes(request.begin() + 8, request.end()), Bytes(64, 0xAA));
    // Worked out by hand: 0x0800 + 0x1234 + 0x0007 + 32 x 0xAAAA, folded, inverted.
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 8),
              Bytes({8, 0, 0x90, 0x6F, 0x12, 0x34, 0, 7}));
    const uint8_t kOdd[] = {0x00, 0x01, 0xF2, 0x03, 0xF4,
                            0xF5, 0xF6, 0xF7, 0x01};  // RFC 1071's words, one byte more
    const uint16_t nSum = InternetChecksum(kOdd, sizeof kOdd);
    EXPECT_EQ(
        Bytes(reinterpret_cast<const uint8_t*>(&nSum), reinterpret_cast<const uint8_t*>(&nSum) + 2),
        Bytes({0x21, 0x0D}));
    EXPECT_FALSE(IsEchoReplyFor(request.data(), request.size(), false, 0x1234, 7));  // looped back
    Bytes packet = request;
    packet.insert(packet.begin(), 24, 0);  // an IPv4 header with 4 bytes of options, then the reply
    packet[0] = 0x46;
    packet[24] = 0;
    EXPECT_TRUE(IsEchoReplyFor(packet.data(), packet.size(), true, 0x1234, 7));
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), packet.size(), true, 0x1235, 7));
    EXPECT_TRUE(IsEchoReplyFor(packet.data() + 24, packet.size() - 24, false, 0x1235, 7));
    EXPECT_FALSE(IsEchoReplyFor(packet.data() + 24, packet.size() - 24, false, 0x1234, 8));
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), 30, true, 0x1234, 7));  // cut short
}

// The real platform releases what it opened: a closed socket's state is an error.
TEST(ProbePlatform, ASocketClosedIsGone)
{
    CPosixProbePlatform platform;
    int hSocket = -1;
    ASSERT_EQ(platform.Open(EProbeSocket::Udp, hSocket), 0);
    platform.Close(hSocket);
    EXPECT_EQ(platform.PendingError(hSocket), EBADF);
}

}  // namespace
