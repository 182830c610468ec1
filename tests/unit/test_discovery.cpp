// Finding a hardware address in the neighbour table, the rtnetlink parsers on
// hand-built buffers, and the echo message.
#include <linux/neighbour.h>

#include <cstring>

#include "discovery/MacScan.h"
#include "discovery/Netlink.h"
#include "discovery/ProbePlatform.h"
#include "fakes/Fakes.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(NeighbourTable, TheFirstMatchingRowWithAnAddressWins)
{
    // pszAfter: what strMac holds after the scan; it holds "AABBCCDDEEFF" before
    const struct {
        std::vector<CNeighbourRow> rows;
        bool bFound;
        const char* pszAfter;
    } cases[] = {
        {{Row("10.0.0.4", {1, 1, 1, 1, 1, 1}), Row("10.0.0.5", {0x0A, 0x1B, 0xFF, 0, 0, 1}),
          Row("10.0.0.5", {3, 3, 3, 3, 3, 3})},
         true,
         "0A1BFF000001"},
        {{Row("10.0.0.5", {}), Row("10.0.0.5", {0xDE, 0xAD, 0xBE, 0xEF})}, true, "DEADBEEF"},
        {{Row("10.0.0.5", {}), Row("10.0.0.6", {1, 2, 3, 4, 5, 6})}, false, ""},
        {{Row("10.0.0.5", {1, 2, 3, 4, 5, 6, 7, 8}, 20)}, true, "0102030405060708"},
        {{Row("10.0.0.4", {1, 2, 3, 4, 5, 6})}, false, "AABBCCDDEEFF"},
    };
    for (const auto& c : cases) {
        std::string strMac = "AABBCCDDEEFF";
        EXPECT_EQ(ScanNeighbourTable(c.rows, NetAddr("10.0.0.5"), strMac), c.bFound) << c.pszAfter;
        EXPECT_EQ(strMac, c.pszAfter);
    }
    // A single entry is the target's on its own interface (0: any).
    const std::vector<CNeighbourRow> rows = {Row("10.0.0.5", {1}, ~0u, 2),
                                             Row("10.0.0.5", {3}, ~0u, 3)};
    EXPECT_EQ(FindNeighbourRow(rows, NetAddr("10.0.0.5"), 3), &rows[1]);
    EXPECT_EQ(FindNeighbourRow(rows, NetAddr("10.0.0.5"), 0), &rows[0]);
    EXPECT_EQ(FindNeighbourRow(rows, NetAddr("10.0.0.5"), 4), nullptr);
}

const uint32_t kSeq = 41, kPid = 777;

// Netlink datagrams laid out as the kernel does: parts padded to four bytes,
// the header's length kept up to date.
struct CNetlinkBuffer {
    Bytes bytes;
    size_t nStart = 0;

    CNetlinkBuffer& Begin(uint16_t nType, uint32_t nSeq = kSeq, uint16_t nFlags = NLM_F_MULTI)
    {
        nStart = bytes.size();
        return Add(nlmsghdr{0, nType, nFlags, nSeq, kPid});
    }
    template <typename T>
    CNetlinkBuffer& Add(const T& value)
    {
        return Add(&value, sizeof value);
    }
    CNetlinkBuffer& Add(const void* pData, size_t nSize)
    {
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(pData),
                     static_cast<const uint8_t*>(pData) + nSize);
        bytes.resize(NLMSG_ALIGN(bytes.size()));
        const auto nLen = static_cast<uint32_t>(bytes.size() - nStart);
        std::memcpy(&bytes[nStart], &nLen, sizeof nLen);
        return *this;
    }
    CNetlinkBuffer& Attr(uint16_t nType, const void* pData, size_t nSize)
    {
        return Add(rtattr{static_cast<unsigned short>(RTA_LENGTH(nSize)), nType}).Add(pData, nSize);
    }
    CNetlinkBuffer& Neighbour(const char* pszAddr, const Bytes& lladdr, uint32_t nSeq = kSeq,
                              uint8_t nFamily = AF_INET)
    {
        const uint32_t dwAddr = NetAddr(pszAddr);
        Begin(RTM_NEWNEIGH, nSeq)
            .Add(ndmsg{.ndm_family = nFamily, .ndm_ifindex = 3, .ndm_state = NUD_REACHABLE});
        Attr(NDA_DST, &dwAddr, sizeof dwAddr);
        return lladdr.empty() ? *this : Attr(NDA_LLADDR, lladdr.data(), lladdr.size());
    }
    CNetlinkBuffer& Route(uint8_t nType, uint8_t nDstLen, const char* pszDst, uint32_t dwOif,
                          uint16_t nGateway = 0)
    {
        const uint32_t dwDst = NetAddr(pszDst);
        Begin(RTM_NEWROUTE)
            .Add(rtmsg{.rtm_family = AF_INET, .rtm_dst_len = nDstLen, .rtm_type = nType});
        Attr(RTA_DST, &dwDst, sizeof dwDst).Attr(RTA_OIF, &dwOif, sizeof dwOif);
        return nGateway ? Attr(nGateway, &dwDst, sizeof dwDst) : *this;  // RTA_GATEWAY or RTA_VIA
    }
    CNetlinkBuffer& Done(uint16_t nFlags = NLM_F_MULTI)
    {
        return Begin(NLMSG_DONE, kSeq, nFlags).Add(0);
    }
    CNetlinkBuffer& Error(int nErrno)
    {
        return Begin(NLMSG_ERROR, kSeq, 0).Add(nlmsgerr{.error = -nErrno});
    }
};

TEST(Netlink, NeighbourDumpTakesTheIpv4RowsOfItsOwnAnswer)
{
    std::vector<CNeighbourRow> rows;
    int nError = 0;
    const auto Dump = [&](const CNetlinkBuffer& buffer, size_t nDrop = 0) {
        return ParseNeighbourDump(buffer.bytes.data(), buffer.bytes.size() - nDrop, kSeq, kPid,
                                  rows, nError);
    };
    CNetlinkBuffer first, second, error, interrupted;
    first.Neighbour("10.0.0.1", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
        .Neighbour("10.0.0.9", {9}, 0)               // a notification
        .Neighbour("10.0.0.8", {8}, kSeq - 1)        // an old request's answer
        .Neighbour("10.0.0.7", {7}, kSeq, AF_INET6)  // not of the IPv4 table
        .Neighbour("10.0.0.6", {});
    second.Neighbour("10.0.0.2", {2}).Done();
    EXPECT_EQ(Dump(first), ENetlinkStep::More);
    EXPECT_EQ(Dump(second), ENetlinkStep::Done);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ((std::tuple(rows[0].dwIndex, rows[0].dwPhysAddrLen, rows[0].bPhysAddr[7])),
              std::tuple(3u, 10u, 8));
    EXPECT_EQ((std::tuple(rows[1].dwAddr, rows[1].dwPhysAddrLen, rows[2].dwAddr)),
              std::tuple(NetAddr("10.0.0.6"), 0u, NetAddr("10.0.0.2")));
    error.Error(EPERM);
    interrupted.Neighbour("10.0.0.1", {1}).Done(NLM_F_MULTI | NLM_F_DUMP_INTR);
    EXPECT_EQ((std::tuple(Dump(error), nError)), std::tuple(ENetlinkStep::Error, EPERM));
    EXPECT_EQ(Dump(interrupted), ENetlinkStep::Interrupted);
    EXPECT_EQ((std::tuple(Dump(second, 6), nError)),
              std::tuple(ENetlinkStep::Error, EBADMSG));  // cut short

    // Of the routes, those on a link (unicast, neither gateway nor via) with
    // their prefix; the route to one address keeps its type.
    std::vector<CLinkRoute> links;
    CNetlinkBuffer routes, reply;
    routes.Route(RTN_UNICAST, 24, "10.0.3.0", 3)
        .Route(RTN_UNICAST, 0, "0.0.0.0", 2, RTA_GATEWAY)
        .Route(RTN_UNICAST, 16, "10.9.0.0", 4, RTA_VIA)
        .Route(RTN_BROADCAST, 32, "10.0.3.255", 3)
        .Done();
    EXPECT_EQ(
        ParseLinkRouteDump(routes.bytes.data(), routes.bytes.size(), kSeq, kPid, links, nError),
        ENetlinkStep::Done);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ((std::tuple(links[0].dwDst, links[0].nDstLen, links[0].dwOutIndex)),
              std::tuple(NetAddr("10.0.3.0"), 24, 3u));
    CRouteInfo route;
    reply.Route(RTN_BROADCAST, 32, "10.0.3.255", 3);
    EXPECT_EQ(ParseRouteReply(reply.bytes.data(), reply.bytes.size(), kSeq, kPid, route, nError),
              ENetlinkStep::Done);
    EXPECT_EQ((std::tuple(route.nType, route.dwOutIndex)), std::tuple(RTN_BROADCAST, 3u));
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
    EXPECT_FALSE(
        IsEchoReplyFor(request.data(), request.size(), false, true, 0x1234, 7));  // looped back
    Bytes packet = request;
    packet.insert(packet.begin(), 24, 0);  // an IPv4 header with 4 bytes of options, then the reply
    packet[0] = 0x46;
    packet[24] = 0;
    EXPECT_TRUE(IsEchoReplyFor(packet.data(), packet.size(), true, true, 0x1234, 7));
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), packet.size(), true, true, 0x1235, 7));
    EXPECT_TRUE(IsEchoReplyFor(packet.data() + 24, packet.size() - 24, false, false, 0x1235, 7));
    EXPECT_FALSE(IsEchoReplyFor(packet.data() + 24, packet.size() - 24, false, false, 0x1234, 8));
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), 30, true, true, 0x1234, 7));  // cut short
}

// The real probing calls, on loopback only: who a datagram came from, a
// socket whose state can't be read, and the kernel's numbers.
TEST(ProbePlatform, SenderAddressesErrorsAndKernelNumbers)
{
    CPosixProbePlatform platform;
    const int hSocket = platform.Open(EProbeSocket::Udp);
    sockaddr_in self{AF_INET, 0, {NetAddr("127.0.0.1")}, {}};
    socklen_t nSize = sizeof self;
    ASSERT_EQ(bind(hSocket, reinterpret_cast<sockaddr*>(&self), nSize) |
                  getsockname(hSocket, reinterpret_cast<sockaddr*>(&self), &nSize),
              0);
    ASSERT_EQ(platform.SendTo(hSocket, {1, 2, 3}, self.sin_addr.s_addr, ntohs(self.sin_port), 0),
              0);
    uint8_t buffer[8];
    uint32_t dwFrom = 0;
    EXPECT_EQ((std::pair(platform.Receive(hSocket, buffer, sizeof buffer, dwFrom), dwFrom)),
              std::pair(3L, NetAddr("127.0.0.1")));
    platform.Close(hSocket);
    EXPECT_EQ(platform.PendingError(hSocket), EBADF);
    CTempDir dir;
    for (const auto& [pszText, nValue] :
         {std::pair{"512\n", 512u}, {"0\n", 7u}, {"12x", 7u}, {"", 7u}}) {
        WriteBytes(dir / "n", pszText);
        EXPECT_EQ(ReadKernelNumber((dir / "n").c_str(), 7), nValue) << pszText;
    }
}

}  // namespace
