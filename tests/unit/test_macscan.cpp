// The scan of the neighbour table, the rtnetlink parsers on hand-built
// buffers, and the echo message helpers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "discovery/EchoRequest.h"
#include "discovery/MacScan.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Netlink.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Ip(const char* pszDotted)
{
    return ::inet_addr(pszDotted);
}

CNeighbourRow Row(const char* pszAddr, const Bytes& phys, uint32_t dwLen = ~0u)
{
    CNeighbourRow row;
    row.dwAddr = Ip(pszAddr);
    row.dwPhysAddrLen = dwLen == ~0u ? static_cast<uint32_t>(phys.size()) : dwLen;
    std::copy_n(phys.begin(), std::min(phys.size(), sizeof row.bPhysAddr), row.bPhysAddr);
    return row;
}

TEST(ScanNeighbourTableTest, FirstMatchingRowWithAnAddressWins)
{
    std::vector<CNeighbourRow> many;
    for (int i = 0; i < 250; ++i)
        many.push_back(Row("10.0.1.0", {0, 0, 0, 0, 0, static_cast<uint8_t>(i)}));
    many[200].dwAddr = Ip("10.0.0.5");
    const struct {
        const char* pszRule;
        std::vector<CNeighbourRow> rows;
        bool bFound;
        const char* pszAfter;  // the text, "AABBCCDDEEFF" before the scan
    } cases[] = {
        {"upper-case hex", {Row("10.0.0.5", {0x00, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D})}, true, "001AFF2B3C4D"},
        {"first of two matches",
         {Row("10.0.0.4", {1, 1, 1, 1, 1, 1}), Row("10.0.0.5", {2, 2, 2, 2, 2, 2}), Row("10.0.0.5", {3, 3, 3, 3, 3, 3})},
         true, "020202020202"},
        {"empty row, scan goes on", {Row("10.0.0.5", {}), Row("10.0.0.5", {0xDE, 0xAD, 0xBE, 0xEF, 0, 1})},
         true, "DEADBEEF0001"},
        {"empty row only", {Row("10.0.0.5", {}), Row("10.0.0.6", {1, 2, 3, 4, 5, 6})}, false, ""},
        {"length 4", {Row("10.0.0.5", {0xAB, 0xCD, 0xEF, 0x01})}, true, "ABCDEF01"},
        {"length over 8", {Row("10.0.0.5", {1, 2, 3, 4, 5, 6, 7, 8}, 20)}, true, "0102030405060708"},
        {"no match", {Row("10.0.0.4", {1, 2, 3, 4, 5, 6})}, false, "AABBCCDDEEFF"},
        {"250 rows", many, true, "0000000000C8"},
    };
    for (const auto& c : cases) {
        std::string strMac = "AABBCCDDEEFF";
        EXPECT_EQ(ScanNeighbourTable(c.rows, Ip("10.0.0.5"), strMac), c.bFound) << c.pszRule;
        EXPECT_EQ(strMac, c.pszAfter) << c.pszRule;
    }
}

const uint32_t kSeq = 41, kPid = 777;

// Builds netlink datagrams the way the kernel lays them out: each part padded
// to four bytes, the header's length kept up to date.
struct CNetlinkBuffer {
    Bytes bytes;
    size_t nStart = 0;

    CNetlinkBuffer& Begin(uint16_t nType, uint32_t nSeq = kSeq, uint16_t nFlags = NLM_F_MULTI)
    {
        nStart = bytes.size();
        return Add(nlmsghdr{0, nType, nFlags, nSeq, kPid});
    }
    CNetlinkBuffer& Add(const void* pData, size_t nSize)
    {
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(pData), static_cast<const uint8_t*>(pData) + nSize);
        bytes.resize(NLMSG_ALIGN(bytes.size()));
        const auto nLen = static_cast<uint32_t>(bytes.size() - nStart);
        std::memcpy(&bytes[nStart], &nLen, sizeof nLen);
        return *this;
    }
    template <typename T> CNetlinkBuffer& Add(const T& value) { return Add(&value, sizeof value); }
    CNetlinkBuffer& Attr(uint16_t nType, const void* pData, size_t nSize)
    {
        return Add(rtattr{static_cast<unsigned short>(RTA_LENGTH(nSize)), nType}).Add(pData, nSize);
    }
    CNetlinkBuffer& Neighbour(const char* pszAddr, const Bytes& lladdr, uint32_t nSeq = kSeq,
                              uint8_t nFamily = AF_INET, uint16_t wState = NUD_REACHABLE)
    {
        const uint32_t dwAddr = Ip(pszAddr);
        Begin(RTM_NEWNEIGH, nSeq).Add(ndmsg{.ndm_family = nFamily, .ndm_ifindex = 3, .ndm_state = wState});
        Attr(NDA_DST, &dwAddr, sizeof dwAddr);
        return lladdr.empty() ? *this : Attr(NDA_LLADDR, lladdr.data(), lladdr.size());
    }
    CNetlinkBuffer& Done(uint16_t nFlags = NLM_F_MULTI) { return Begin(NLMSG_DONE, kSeq, nFlags).Add(0); }
    CNetlinkBuffer& Error(int nErrno) { return Begin(NLMSG_ERROR, kSeq, 0).Add(nlmsgerr{.error = -nErrno}); }
    CNetlinkBuffer& Route(uint8_t nType, const char* pszGateway)
    {
        const uint32_t dwOif = 5, dwGateway = pszGateway ? Ip(pszGateway) : 0;
        Begin(RTM_NEWROUTE, kSeq, 0).Add(rtmsg{.rtm_family = AF_INET, .rtm_type = nType});
        Attr(RTA_OIF, &dwOif, sizeof dwOif);
        return pszGateway ? Attr(RTA_GATEWAY, &dwGateway, sizeof dwGateway) : *this;
    }
};

class NetlinkParserTest : public ::testing::Test {
protected:
    std::vector<CNeighbourRow> rows;
    int nError = 0;

    ENetlinkStep Dump(const CNetlinkBuffer& buffer, size_t nDrop = 0)
    {
        return ParseNeighbourDump(buffer.bytes.data(), buffer.bytes.size() - nDrop, kSeq, kPid, rows, nError);
    }
};

TEST_F(NetlinkParserTest, RowsWithAndWithoutHardwareAddress)
{
    CNetlinkBuffer dump;
    dump.Neighbour("10.77.0.2", {0x02, 0x11, 0x22, 0x33, 0x44, 0x55})
        .Neighbour("10.77.0.99", {}, kSeq, AF_INET, NUD_FAILED)
        .Neighbour("10.77.0.7", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
        .Neighbour("10.77.0.8", {1, 2, 3, 4, 5, 6}, kSeq, AF_INET6)  // not part of the IPv4 table
        .Done();
    ASSERT_EQ(Dump(dump), ENetlinkStep::Done);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ((std::tuple(rows[0].dwAddr, rows[0].dwIndex, rows[0].wState, rows[0].dwPhysAddrLen)),
              (std::tuple(Ip("10.77.0.2"), 3u, NUD_REACHABLE, 6u)));
    EXPECT_EQ(Bytes(rows[0].bPhysAddr, rows[0].bPhysAddr + 6), (Bytes{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ((std::tuple(rows[1].dwAddr, rows[1].wState, rows[1].dwPhysAddrLen)),
              (std::tuple(Ip("10.77.0.99"), NUD_FAILED, 0u)));
    EXPECT_EQ((std::tuple(rows[2].dwPhysAddrLen, rows[2].bPhysAddr[7])), std::tuple(10u, 8));  // 8 bytes kept
}

TEST_F(NetlinkParserTest, MultiPartDumpSkipsForeignMessages)
{
    CNetlinkBuffer first, second;
    first.Neighbour("10.0.0.1", {1, 1, 1, 1, 1, 1})
        .Neighbour("10.0.0.9", {9, 9, 9, 9, 9, 9}, 0)          // a notification
        .Neighbour("10.0.0.8", {8, 8, 8, 8, 8, 8}, kSeq - 1);  // an old request
    second.Neighbour("10.0.0.2", {2, 2, 2, 2, 2, 2}).Done();
    EXPECT_EQ(Dump(first), ENetlinkStep::More);
    EXPECT_EQ(Dump(second), ENetlinkStep::Done);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].dwAddr, Ip("10.0.0.1"));
    EXPECT_EQ(rows[1].dwAddr, Ip("10.0.0.2"));
}

TEST_F(NetlinkParserTest, ErrorsInterruptionsAndTruncation)
{
    CNetlinkBuffer error, interrupted, cut;
    error.Error(EPERM);
    interrupted.Neighbour("10.0.0.1", {1, 1, 1, 1, 1, 1}).Done(NLM_F_MULTI | NLM_F_DUMP_INTR);
    cut.Neighbour("10.0.0.1", {1, 1, 1, 1, 1, 1});
    EXPECT_EQ(Dump(error), ENetlinkStep::Error);
    EXPECT_EQ(nError, EPERM);
    EXPECT_EQ(Dump(interrupted), ENetlinkStep::Interrupted);
    EXPECT_EQ(Dump(cut, 6), ENetlinkStep::Error);
    EXPECT_EQ(nError, EBADMSG);
}

TEST(RouteReplyTest, OnLinkOnlyForUnicastWithoutGateway)
{
    const auto Parse = [](const CNetlinkBuffer& reply, CRouteInfo& route) {
        int nError = 0;
        const ENetlinkStep step = ParseRouteReply(reply.bytes.data(), reply.bytes.size(), kSeq, kPid, route, nError);
        return step == ENetlinkStep::Error ? -nError : static_cast<int>(step == ENetlinkStep::Done);
    };
    CRouteInfo direct, routed, local, none;
    EXPECT_EQ(Parse(CNetlinkBuffer().Route(RTN_UNICAST, nullptr), direct), 1);
    EXPECT_EQ(Parse(CNetlinkBuffer().Route(RTN_UNICAST, "10.77.0.254"), routed), 1);
    EXPECT_EQ(Parse(CNetlinkBuffer().Route(RTN_LOCAL, nullptr), local), 1);
    EXPECT_EQ(Parse(CNetlinkBuffer().Error(ENETUNREACH), none), -ENETUNREACH);
    EXPECT_EQ((std::tuple(direct.OnLink(), routed.OnLink(), local.OnLink())), std::tuple(true, false, false));
    EXPECT_EQ((std::tuple(direct.dwOutIndex, routed.dwGateway)), std::tuple(5u, Ip("10.77.0.254")));
}

TEST(NeighbourSettledTest, OnlyFinalStatesWithAnAnswerEndTheWait)
{
    CNeighbourRow row = Row("10.0.0.1", {1, 2, 3, 4, 5, 6});
    for (uint16_t wState : {NUD_REACHABLE, NUD_STALE, NUD_DELAY, NUD_PROBE, NUD_PERMANENT, NUD_NOARP, NUD_INCOMPLETE,
                            NUD_NONE}) {
        row.wState = wState;
        EXPECT_EQ(IsNeighbourSettled(row), wState != NUD_INCOMPLETE && wState != NUD_NONE) << wState;
    }
    row = Row("10.0.0.1", {});
    row.wState = NUD_FAILED;
    EXPECT_TRUE(IsNeighbourSettled(row));
    row.wState = NUD_STALE;  // a valid state, but no address to report
    EXPECT_FALSE(IsNeighbourSettled(row));
}

TEST(EchoMessageTest, ChecksumAndReplyMatching)
{
    // RFC 1071's example: 00 01 F2 03 F4 F5 F6 F7 sums to DDF2, checksum 220D.
    const uint8_t example[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(ntohs(InternetChecksum(example, sizeof example)), 0x220D);
    const Bytes request = BuildEchoRequest(0x1234, 7);
    EXPECT_EQ(InternetChecksum(request.data(), request.size()), 0);  // a correct sum checks to zero
    EXPECT_FALSE(IsEchoReplyFor(request.data(), request.size(), false, true, 0x1234, 7));  // looped back

    Bytes reply = request;
    reply[0] = 0;
    EXPECT_TRUE(IsEchoReplyFor(reply.data(), reply.size(), false, true, 0x1234, 7));
    EXPECT_FALSE(IsEchoReplyFor(reply.data(), reply.size(), false, true, 0x1235, 7));
    EXPECT_TRUE(IsEchoReplyFor(reply.data(), reply.size(), false, false, 0x1235, 7));
    EXPECT_FALSE(IsEchoReplyFor(reply.data(), reply.size(), false, false, 0x1234, 8));

    Bytes packet(24, 0);  // IPv4 header with 4 bytes of options
    packet[0] = 0x46;
    packet.insert(packet.end(), reply.begin(), reply.end());
    EXPECT_TRUE(IsEchoReplyFor(packet.data(), packet.size(), true, true, 0x1234, 7));
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), 30, true, true, 0x1234, 7));  // cut short
    packet[0] = 0x4F;  // header longer than the packet
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), 40, true, true, 0x1234, 7));
}

} // namespace
