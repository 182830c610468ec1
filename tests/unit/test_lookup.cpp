// The "MAC" button: lookup outcomes, discovery and what ends in the list.
#include <gtest/gtest.h>

#include "fakes/DialogFixture.h"

namespace {

using List = std::vector<std::string>;

class LookupTest : public CDialogFixture {
protected:
    void SetUp() override
    {
        Open();
        resolver.forward["pc1"] = CHostRecord{"pc1.lan", {NetAddr("10.0.0.5"), NetAddr("10.0.0.6")}};
        resolver.reverse[NetAddr("10.0.0.5")] = "pc1.home.example";
        neighbours.Add("10.0.0.5", {0x00, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D});
    }
    void AddressMode(const char* pszDotted)
    {
        Command(IDC_ADDRESS_MODE);
        TypeIp(pszDotted);
    }
    void PressMac() { Command(IDC_LOOKUP); }
};

TEST_F(LookupTest, NameThatDoesNotResolve)
{
    Type(IDC_NAME, "ghost");
    Type(IDC_MAC, "001122334455");
    TypeIp("1.2.3.4");
    PressMac();
    EXPECT_EQ(messages.texts, (List{"Not found!"}));
    EXPECT_TRUE(echo.targets.empty());
    ExpectBoxes("ghost", "0.0.0.0", "001122334455");  // the hardware address is kept
    // The add still runs: the typed name and the kept address are stored,
    // with the blank control's text.
    EXPECT_EQ(Entries(), (List{"ghost 0.0.0.0 001122334455"}));
}

TEST_F(LookupTest, NameResolvesAndReverseSucceeds)
{
    Type(IDC_NAME, "pc1");
    PressMac();
    EXPECT_TRUE(messages.texts.empty());
    ExpectBoxes("pc1.home.example", "10.0.0.5", "001AFF2B3C4D");
    EXPECT_EQ(echo.targets, (std::vector<uint32_t>{NetAddr("10.0.0.5")}));  // the first address only
    EXPECT_EQ(echo.timeouts, (std::vector<int>{5000}));
    EXPECT_EQ(Entries(), (List{"pc1.home.example 10.0.0.5 001AFF2B3C4D"}));
    EXPECT_EQ(controls.items, (List{"pc1.home.example"}));
    EXPECT_EQ(controls.cursor, (List{"begin", "restore", "end"}));
}

TEST_F(LookupTest, NameResolvesWithoutReverseRecordStillDiscovers)
{
    resolver.reverse.clear();
    Type(IDC_NAME, "pc1");
    PressMac();
    EXPECT_TRUE(messages.texts.empty());
    ExpectBoxes("pc1.lan", "10.0.0.5", "001AFF2B3C4D");  // the forward record's official name
    EXPECT_EQ(Entries(), (List{"pc1.lan 10.0.0.5 001AFF2B3C4D"}));
}

TEST_F(LookupTest, NoHardwareAddressOrNoEchoEmptiesTheBoxAndAddsNothing)
{
    neighbours.rows.clear();
    Type(IDC_NAME, "pc1");
    Type(IDC_MAC, "AABBCCDDEEFF");
    PressMac();
    EXPECT_EQ(controls.texts[IDC_MAC], "");
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(messages.texts.empty());

    neighbours.Add("10.0.0.5", {0x00, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D});
    neighbours.nReads = 0;
    echo.bSetUp = false;  // an echo that cannot be set up: the table is not read
    Type(IDC_NAME, "pc1");
    Type(IDC_MAC, "AABBCCDDEEFF");
    PressMac();
    EXPECT_EQ(neighbours.nReads, 0);
    EXPECT_EQ(controls.texts[IDC_MAC], "");
}

TEST_F(LookupTest, AddressWithOrWithoutReverseRecord)
{
    AddressMode("10.0.0.5");
    PressMac();
    EXPECT_EQ(dlg->m_strName, "pc1.home.example");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "10.0.0.5");
    EXPECT_EQ(controls.texts[IDC_MAC], "001AFF2B3C4D");
    EXPECT_EQ(Entries(), (List{"pc1.home.example 10.0.0.5 001AFF2B3C4D"}));

    neighbours.Add("10.0.0.9", {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
    AddressMode("10.0.0.9");
    PressMac();
    EXPECT_EQ(controls.texts[IDC_NAME], "");
    EXPECT_EQ(controls.texts[IDC_MAC], "AABBCCDDEEFF");  // stored under the address itself
    EXPECT_EQ(Entries().front(), "10.0.0.9 10.0.0.9 AABBCCDDEEFF");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(LookupTest, EmptyInputOnlyMovesTheFocus)
{
    controls.nFocus = IDC_MAC;
    PressMac();
    EXPECT_EQ(controls.nFocus, IDC_NAME);
    EXPECT_TRUE(resolver.asked.empty());
    EXPECT_TRUE(controls.cursor.empty());
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(LookupTest, TypedNameReachesTheResolverWithItsBlanks)
{
    Type(IDC_NAME, " pc1 ");
    PressMac();
    ASSERT_FALSE(resolver.asked.empty());
    EXPECT_EQ(resolver.asked[0], "name: pc1 ");
    EXPECT_EQ(messages.texts, (List{"Not found!"}));
}

TEST_F(LookupTest, RefreshBeforeTheAddRunsNoNameBoxNotification)
{
    // A stored host whose name matches what the lookup will show: were the
    // edit notification to run during the refresh, it would fill the boxes
    // from the list before the add reads them.
    dlg->m_hosts.AddOrReplaceHost("pc1.home.example 192.168.9.9 FFFFFFFFFFFF");
    controls.onNameTextSet = [&] { Command(IDC_NAME, CBN_EDITUPDATE); };
    Type(IDC_NAME, "pc1");
    PressMac();
    EXPECT_EQ(Entries(), (List{"pc1.home.example 10.0.0.5 001AFF2B3C4D"}));
}

} // namespace
