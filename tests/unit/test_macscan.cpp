// The scan of the neighbour table, the rtnetlink parsers on hand-built
// buffers, and the echo message helpers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>
#include <initializer_list>

#include "discovery/EchoRequest.h"
#include "discovery/MacScan.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Netlink.h"

namespace {

uint32_t Ip(const char* pszDotted)
{
    return ::inet_addr(pszDotted);
}

CNeighbourRow Row(const char* pszAddr, std::initializer_list<uint8_t> phys, uint32_t dwLen = ~0u)
{
    CNeighbourRow row;
    row.dwAddr = Ip(pszAddr);
    row.dwPhysAddrLen = dwLen == ~0u ? static_cast<uint32_t>(phys.size()) : dwLen;
    size_t i = 0;
    for (uint8_t b : phys)
        if (i < sizeof row.bPhysAddr)
            row.bPhysAddr[i++] = b;
    return row;
}

TEST(ScanNeighbourTableTest, FirstMatchingRowWithAnAddressWins)
{
    std::vector<CNeighbourRow> many;
    for (int i = 0; i < 250; ++i) {
        CNeighbourRow row;
        row.dwAddr = htonl(0x0A000000u + static_cast<uint32_t>(i));
        row.dwPhysAddrLen = 6;
        row.bPhysAddr[5] = static_cast<uint8_t>(i);
        many.push_back(row);
    }
    const uint32_t dwTarget = Ip("10.0.0.5");
    const struct {
        const char* pszRule;
        std::vector<CNeighbourRow> rows;
        uint32_t dwTarget;
        bool bFound;
        const char* pszAfter;  // the text, "AABBCCDDEEFF" before the scan
    } cases[] = {
        {"upper-case hex", {Row("10.0.0.5", {0x00, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D})}, dwTarget, true, "001AFF2B3C4D"},
        {"first of two matches",
         {Row("10.0.0.4", {1, 1, 1, 1, 1, 1}), Row("10.0.0.5", {2, 2, 2, 2, 2, 2}), Row("10.0.0.5", {3, 3, 3, 3, 3, 3})},
         dwTarget, true, "020202020202"},
        {"empty row, scan goes on", {Row("10.0.0.5", {}), Row("10.0.0.5", {0xDE, 0xAD, 0xBE, 0xEF, 0, 1})},
         dwTarget, true, "DEADBEEF0001"},
        {"empty row only", {Row("10.0.0.5", {}), Row("10.0.0.6", {1, 2, 3, 4, 5, 6})}, dwTarget, false, ""},
        {"length 4", {Row("10.0.0.5", {0xAB, 0xCD, 0xEF, 0x01})}, dwTarget, true, "ABCDEF01"},
        {"length 8", {Row("10.0.0.5", {1, 2, 3, 4, 5, 6, 7, 8})}, dwTarget, true, "0102030405060708"},
        {"length over 8", {Row("10.0.0.5", {1, 2, 3, 4, 5, 6, 7, 8}, 20)}, dwTarget, true, "0102030405060708"},
        {"no match", {Row("10.0.0.4", {1, 2, 3, 4, 5, 6})}, dwTarget, false, "AABBCCDDEEFF"},
        {"no rows", {}, dwTarget, false, "AABBCCDDEEFF"},
        {"250 rows", many, htonl(0x0A000000u + 200), true, "0000000000C8"},
    };
    for (const auto& c : cases) {
        std::string strMac = "AABBCCDDEEFF";
        EXPECT_EQ(ScanNeighbourTable(c.rows, c.dwTarget, strMac), c.bFound) << c.pszRule;
        EXPECT_EQ(strMac, c.pszAfter) << c.pszRule;
    }
}

// Builds netlink datagrams the way the kernel lays them out.
class CNetlinkBuffer {
public:
    void Neighbour(uint32_t nSeq, uint32_t nPid, const char* pszAddr, uint16_t wState, int nIndex,
                   std::initializer_list<uint8_t> lladdr, bool bWithLladdr = true, uint8_t nFamily = AF_INET)
    {
        const size_t nStart = Begin(RTM_NEWNEIGH, NLM_F_MULTI, nSeq, nPid);
        ndmsg neigh{};
        neigh.ndm_family = nFamily;
        neigh.ndm_ifindex = nIndex;
        neigh.ndm_state = wState;
        Append(&neigh, sizeof neigh);
        const uint32_t dwAddr = Ip(pszAddr);
        Attribute(NDA_DST, &dwAddr, sizeof dwAddr);
        if (bWithLladdr) {
            const std::vector<uint8_t> bytes(lladdr);
            Attribute(NDA_LLADDR, bytes.data(), bytes.size());
        }
        End(nStart);
    }
    void Done(uint32_t nSeq, uint32_t nPid, uint16_t nFlags = NLM_F_MULTI)
    {
        const size_t nStart = Begin(NLMSG_DONE, nFlags, nSeq, nPid);
        const int nZero = 0;
        Append(&nZero, sizeof nZero);
        End(nStart);
    }
    void Error(uint32_t nSeq, uint32_t nPid, int nErrno)
    {
        const size_t nStart = Begin(NLMSG_ERROR, 0, nSeq, nPid);
        nlmsgerr error{};
        error.error = -nErrno;
        Append(&error, sizeof error);
        End(nStart);
    }
    void Route(uint32_t nSeq, uint32_t nPid, uint8_t nType, uint32_t dwOif, const char* pszGateway)
    {
        const size_t nStart = Begin(RTM_NEWROUTE, 0, nSeq, nPid);
        rtmsg route{};
        route.rtm_family = AF_INET;
        route.rtm_type = nType;
        Append(&route, sizeof route);
        Attribute(RTA_OIF, &dwOif, sizeof dwOif);
        if (pszGateway) {
            const uint32_t dwGateway = Ip(pszGateway);
            Attribute(RTA_GATEWAY, &dwGateway, sizeof dwGateway);
        }
        End(nStart);
    }
    std::vector<uint8_t> bytes;

private:
    size_t Begin(uint16_t nType, uint16_t nFlags, uint32_t nSeq, uint32_t nPid)
    {
        const size_t nStart = bytes.size();
        nlmsghdr header{};
        header.nlmsg_type = nType;
        header.nlmsg_flags = nFlags;
        header.nlmsg_seq = nSeq;
        header.nlmsg_pid = nPid;
        Append(&header, sizeof header);
        return nStart;
    }
    void End(size_t nStart)
    {
        const uint32_t nLen = static_cast<uint32_t>(bytes.size() - nStart);
        std::memcpy(&bytes[nStart], &nLen, sizeof nLen);
        bytes.resize(nStart + NLMSG_ALIGN(nLen));
    }
    void Attribute(uint16_t nType, const void* pData, size_t nSize)
    {
        rtattr attr{};
        attr.rta_type = nType;
        attr.rta_len = static_cast<unsigned short>(RTA_LENGTH(nSize));
        Append(&attr, sizeof attr);
        Append(pData, nSize);
        bytes.resize(NLMSG_ALIGN(bytes.size()));
    }
    void Append(const void* pData, size_t nSize)
    {
        const auto* p = static_cast<const uint8_t*>(pData);
        bytes.insert(bytes.end(), p, p + nSize);
    }
};

const uint32_t kSeq = 41, kPid = 777;

class NetlinkParserTest : public ::testing::Test {
protected:
    std::vector<CNeighbourRow> rows;
    CRouteInfo route;
    int nError = 0;

    ENetlinkStep Dump(const CNetlinkBuffer& buffer, size_t nDrop = 0)
    {
        return ParseNeighbourDump(buffer.bytes.data(), buffer.bytes.size() - nDrop, kSeq, kPid, rows, nError);
    }
    ENetlinkStep Route(const CNetlinkBuffer& buffer)
    {
        return ParseRouteReply(buffer.bytes.data(), buffer.bytes.size(), kSeq, kPid, route, nError);
    }
};

TEST_F(NetlinkParserTest, RowsWithAndWithoutHardwareAddress)
{
    CNetlinkBuffer dump;
    dump.Neighbour(kSeq, kPid, "10.77.0.2", NUD_REACHABLE, 3, {0x02, 0x11, 0x22, 0x33, 0x44, 0x55});
    dump.Neighbour(kSeq, kPid, "10.77.0.99", NUD_FAILED, 3, {}, false);
    dump.Neighbour(kSeq, kPid, "10.77.0.7", NUD_PERMANENT, 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    dump.Neighbour(kSeq, kPid, "10.77.0.8", NUD_REACHABLE, 4, {1, 2, 3, 4, 5, 6}, true, AF_INET6);
    dump.Done(kSeq, kPid);
    ASSERT_EQ(Dump(dump), ENetlinkStep::Done);
    ASSERT_EQ(rows.size(), 3u);  // the IPv6 row is not part of the IPv4 table
    EXPECT_EQ(rows[0].dwAddr, Ip("10.77.0.2"));
    EXPECT_EQ(rows[0].dwIndex, 3u);
    EXPECT_EQ(rows[0].wState, NUD_REACHABLE);
    EXPECT_EQ(rows[0].dwPhysAddrLen, 6u);
    EXPECT_EQ(rows[0].bPhysAddr[0], 0x02);
    EXPECT_EQ(rows[0].bPhysAddr[5], 0x55);
    EXPECT_EQ(rows[1].dwAddr, Ip("10.77.0.99"));
    EXPECT_EQ(rows[1].dwPhysAddrLen, 0u);
    EXPECT_EQ(rows[2].dwPhysAddrLen, 10u);  // as stated; only 8 bytes kept
    EXPECT_EQ(rows[2].bPhysAddr[7], 8);
}

TEST_F(NetlinkParserTest, MultiPartDumpAndForeignMessages)
{
    CNetlinkBuffer first, second;
    first.Neighbour(kSeq, kPid, "10.0.0.1", NUD_STALE, 2, {1, 1, 1, 1, 1, 1});
    first.Neighbour(0, 0, "10.0.0.9", NUD_REACHABLE, 2, {9, 9, 9, 9, 9, 9});  // a notification
    first.Neighbour(kSeq - 1, kPid, "10.0.0.8", NUD_REACHABLE, 2, {8, 8, 8, 8, 8, 8});  // an old request
    second.Neighbour(kSeq, kPid, "10.0.0.2", NUD_STALE, 2, {2, 2, 2, 2, 2, 2});
    second.Done(kSeq, kPid);
    EXPECT_EQ(Dump(first), ENetlinkStep::More);
    EXPECT_EQ(Dump(second), ENetlinkStep::Done);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].dwAddr, Ip("10.0.0.1"));
    EXPECT_EQ(rows[1].dwAddr, Ip("10.0.0.2"));
}

TEST_F(NetlinkParserTest, ErrorsInterruptionsAndTruncation)
{
    CNetlinkBuffer error, interrupted, cut;
    error.Error(kSeq, kPid, EPERM);
    EXPECT_EQ(Dump(error), ENetlinkStep::Error);
    EXPECT_EQ(nError, EPERM);

    interrupted.Neighbour(kSeq, kPid, "10.0.0.1", NUD_STALE, 2, {1, 1, 1, 1, 1, 1});
    interrupted.Done(kSeq, kPid, NLM_F_MULTI | NLM_F_DUMP_INTR);
    EXPECT_EQ(Dump(interrupted), ENetlinkStep::Interrupted);

    cut.Neighbour(kSeq, kPid, "10.0.0.1", NUD_STALE, 2, {1, 1, 1, 1, 1, 1});
    EXPECT_EQ(Dump(cut, 6), ENetlinkStep::Error);
    EXPECT_EQ(nError, EBADMSG);
}

TEST_F(NetlinkParserTest, RouteIsOnLinkOnlyWithoutGateway)
{
    CNetlinkBuffer direct, routed, local, unreachable;
    direct.Route(kSeq, kPid, RTN_UNICAST, 5, nullptr);
    routed.Route(kSeq, kPid, RTN_UNICAST, 5, "10.77.0.254");
    local.Route(kSeq, kPid, RTN_LOCAL, 1, nullptr);
    unreachable.Error(kSeq, kPid, ENETUNREACH);
    ASSERT_EQ(Route(direct), ENetlinkStep::Done);
    EXPECT_TRUE(route.OnLink());
    EXPECT_EQ(route.dwOutIndex, 5u);
    ASSERT_EQ(Route(routed), ENetlinkStep::Done);
    EXPECT_FALSE(route.OnLink());
    EXPECT_EQ(route.dwGateway, Ip("10.77.0.254"));
    ASSERT_EQ(Route(local), ENetlinkStep::Done);
    EXPECT_FALSE(route.OnLink());
    EXPECT_EQ(Route(unreachable), ENetlinkStep::Error);
    EXPECT_EQ(nError, ENETUNREACH);
}

TEST(NeighbourSettledTest, OnlyFinalStatesEndTheWait)
{
    CNeighbourRow row = Row("10.0.0.1", {1, 2, 3, 4, 5, 6});
    for (uint16_t wState : {NUD_REACHABLE, NUD_STALE, NUD_DELAY, NUD_PROBE, NUD_PERMANENT, NUD_NOARP}) {
        row.wState = wState;
        EXPECT_TRUE(IsNeighbourSettled(row)) << wState;
    }
    row.wState = NUD_INCOMPLETE;
    EXPECT_FALSE(IsNeighbourSettled(row));
    row.wState = NUD_NONE;
    EXPECT_FALSE(IsNeighbourSettled(row));
    row.wState = NUD_FAILED;
    row.dwPhysAddrLen = 0;
    EXPECT_TRUE(IsNeighbourSettled(row));
    row.wState = NUD_STALE;  // a valid state, but no address to report
    EXPECT_FALSE(IsNeighbourSettled(row));
}

TEST(EchoMessageTest, RequestLayoutAndChecksum)
{
    const std::vector<uint8_t> message = BuildEchoRequest(0x1234, 0x0102);
    ASSERT_EQ(message.size(), 8u + 64u);
    EXPECT_EQ(message[0], 8);
    EXPECT_EQ(message[1], 0);
    EXPECT_EQ(message[4], 0x12);
    EXPECT_EQ(message[5], 0x34);
    EXPECT_EQ(message[6], 0x01);
    EXPECT_EQ(message[7], 0x02);
    for (size_t i = 8; i < message.size(); ++i)
        ASSERT_EQ(message[i], 0xAA) << i;
    EXPECT_EQ(InternetChecksum(message.data(), message.size()), 0);  // a correct sum checks to zero
    // RFC 1071's example: 00 01 F2 03 F4 F5 F6 F7 sums to DDF2, checksum 220D.
    const uint8_t example[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(ntohs(InternetChecksum(example, sizeof example)), 0x220D);
}

TEST(EchoMessageTest, RepliesAreMatchedByTypeIdentifierAndSequence)
{
    std::vector<uint8_t> reply = BuildEchoRequest(0x1234, 7);
    reply[0] = 0;  // echo reply
    EXPECT_TRUE(IsEchoReplyFor(reply.data(), reply.size(), false, true, 0x1234, 7));
    EXPECT_FALSE(IsEchoReplyFor(reply.data(), reply.size(), false, true, 0x1235, 7));
    EXPECT_TRUE(IsEchoReplyFor(reply.data(), reply.size(), false, false, 0x1235, 7));
    EXPECT_FALSE(IsEchoReplyFor(reply.data(), reply.size(), false, false, 0x1234, 8));
    std::vector<uint8_t> request = BuildEchoRequest(0x1234, 7);  // our own request looped back
    EXPECT_FALSE(IsEchoReplyFor(request.data(), request.size(), false, true, 0x1234, 7));

    std::vector<uint8_t> packet(24, 0);  // IPv4 header with 4 bytes of options
    packet[0] = 0x46;
    packet.insert(packet.end(), reply.begin(), reply.end());
    EXPECT_TRUE(IsEchoReplyFor(packet.data(), packet.size(), true, true, 0x1234, 7));
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), 30, true, true, 0x1234, 7));  // cut short
    packet[0] = 0x4F;  // header longer than the packet
    EXPECT_FALSE(IsEchoReplyFor(packet.data(), 40, true, true, 0x1234, 7));
}

} // namespace
