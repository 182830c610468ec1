// The "MAC" button: lookup outcomes, discovery and what ends in the list.
#include <gtest/gtest.h>

#include "fakes/FakeControls.h"
#include "fakes/FakeDiscovery.h"
#include "fakes/FakeFileChooser.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/TempDir.h"
#include "hosts/ProfileName.h"
#include "ui/NUVIKDlg.h"

namespace {

class LookupTest : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeControls controls;
    CFakeFileChooser files;
    CFakeResolver resolver;
    CFakeEcho echo;
    CFakeNeighbours neighbours;
    CProfileName profile;
    std::unique_ptr<CNUVIKDlg> dlg;

    void SetUp() override
    {
        profile.strName = "nuvik.INI";
        profile.strConfigDir = dir / "config";
        CDlgServices services{&sockets, nullptr, &profile, ""};
        services.pResolver = &resolver;
        services.pEcho = &echo;
        services.pNeighbours = &neighbours;
        dlg = std::make_unique<CNUVIKDlg>(std::vector<std::string>{}, services);
        dlg->AttachWindow(&controls, &messages, &files);
        dlg->OnInitDialog();

        resolver.forward["pc1"] = CHostRecord{"pc1.lan", {NetAddr("10.0.0.5"), NetAddr("10.0.0.6")}};
        resolver.reverse[NetAddr("10.0.0.5")] = "pc1.home.example";
        neighbours.Add("10.0.0.5", {0x00, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D});
    }
    std::vector<std::string> Entries() const { return {dlg->m_hosts.begin(), dlg->m_hosts.end()}; }
    void AddressMode(const char* pszDotted)
    {
        dlg->OnCommand(IDC_ADDRESS_MODE, BN_CLICKED);
        controls.SetWindowText(IDC_IP, pszDotted);
    }
    void PressMac() { dlg->OnCommand(IDC_LOOKUP, BN_CLICKED); }
};

TEST_F(LookupTest, NameThatDoesNotResolve)
{
    controls.texts[IDC_NAME] = "ghost";
    controls.texts[IDC_MAC] = "001122334455";
    controls.SetWindowText(IDC_IP, "1.2.3.4");
    PressMac();
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"Not found!"}));
    EXPECT_TRUE(echo.targets.empty());
    EXPECT_EQ(controls.texts[IDC_NAME], "ghost");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "0.0.0.0");
    EXPECT_EQ(controls.texts[IDC_MAC], "001122334455");  // kept
    // The add still runs: the typed name and the kept address are stored,
    // with the blank control's text.
    EXPECT_EQ(Entries(), (std::vector<std::string>{"ghost 0.0.0.0 001122334455"}));
}

TEST_F(LookupTest, NameResolvesAndReverseSucceeds)
{
    controls.texts[IDC_NAME] = "pc1";
    PressMac();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(controls.texts[IDC_NAME], "pc1.home.example");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "10.0.0.5");
    EXPECT_EQ(controls.texts[IDC_MAC], "001AFF2B3C4D");
    EXPECT_EQ(echo.targets, (std::vector<uint32_t>{NetAddr("10.0.0.5")}));  // the first address only
    EXPECT_EQ(echo.timeouts, (std::vector<int>{5000}));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"pc1.home.example 10.0.0.5 001AFF2B3C4D"}));
    EXPECT_EQ(controls.items, (std::vector<std::string>{"pc1.home.example"}));
}

TEST_F(LookupTest, NameResolvesWithoutReverseRecordStillDiscovers)
{
    resolver.reverse.clear();
    controls.texts[IDC_NAME] = "pc1";
    PressMac();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(controls.texts[IDC_NAME], "pc1.lan");  // the forward record's official name
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "10.0.0.5");
    EXPECT_EQ(controls.texts[IDC_MAC], "001AFF2B3C4D");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"pc1.lan 10.0.0.5 001AFF2B3C4D"}));
}

TEST_F(LookupTest, NameResolvesButNoHardwareAddressEmptiesTheBox)
{
    neighbours.rows.clear();
    controls.texts[IDC_NAME] = "pc1";
    controls.texts[IDC_MAC] = "AABBCCDDEEFF";
    PressMac();
    EXPECT_EQ(controls.texts[IDC_MAC], "");
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(LookupTest, AddressWithReverseRecord)
{
    AddressMode("10.0.0.5");
    PressMac();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(dlg->m_strName, "pc1.home.example");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "10.0.0.5");
    EXPECT_EQ(controls.texts[IDC_MAC], "001AFF2B3C4D");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"pc1.home.example 10.0.0.5 001AFF2B3C4D"}));
}

TEST_F(LookupTest, AddressWithoutReverseRecordIsStoredUnderItself)
{
    neighbours.Add("10.0.0.9", {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
    AddressMode("10.0.0.9");
    PressMac();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(controls.texts[IDC_NAME], "");
    EXPECT_EQ(controls.texts[IDC_MAC], "AABBCCDDEEFF");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"10.0.0.9 10.0.0.9 AABBCCDDEEFF"}));
}

TEST_F(LookupTest, EmptyInputOnlyMovesTheFocus)
{
    controls.texts[IDC_NAME] = "";
    controls.nFocus = IDC_MAC;
    PressMac();
    EXPECT_EQ(controls.nFocus, IDC_NAME);
    EXPECT_TRUE(resolver.asked.empty());
    EXPECT_TRUE(controls.cursor.empty());
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(LookupTest, TypedNameReachesTheResolverWithItsBlanks)
{
    controls.texts[IDC_NAME] = " pc1 ";
    PressMac();
    ASSERT_FALSE(resolver.asked.empty());
    EXPECT_EQ(resolver.asked[0], "name: pc1 ");
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"Not found!"}));
}

TEST_F(LookupTest, WaitCursorBeginsRestoresAndEnds)
{
    controls.texts[IDC_NAME] = "pc1";
    PressMac();
    EXPECT_EQ(controls.cursor, (std::vector<std::string>{"begin", "restore", "end"}));
}

TEST_F(LookupTest, RefreshBeforeTheAddRunsNoNameBoxNotification)
{
    // A stored host whose name matches what the lookup will show: were the
    // edit notification to run during the refresh, it would fill the boxes
    // from the list before the add reads them.
    dlg->m_hosts.AddOrReplaceHost("pc1.home.example 192.168.9.9 FFFFFFFFFFFF");
    controls.onNameTextSet = [&] { dlg->OnCommand(IDC_NAME, CBN_EDITUPDATE); };
    controls.texts[IDC_NAME] = "pc1";
    PressMac();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"pc1.home.example 10.0.0.5 001AFF2B3C4D"}));
}

TEST_F(LookupTest, EchoThatCannotBeSetUpEmptiesTheHardwareAddress)
{
    echo.bSetUp = false;
    controls.texts[IDC_NAME] = "pc1";
    controls.texts[IDC_MAC] = "AABBCCDDEEFF";
    PressMac();
    EXPECT_EQ(neighbours.nReads, 0);
    EXPECT_EQ(controls.texts[IDC_MAC], "");
}

} // namespace
