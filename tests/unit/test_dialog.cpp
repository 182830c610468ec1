// The main dialog's handlers, headless, through a fake control boundary.
#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/FakeControls.h"
#include "fakes/FakeFileChooser.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/TempDir.h"
#include "hosts/ProfileName.h"
#include "ui/NUVIKDlg.h"

namespace {

class DialogTest : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeControls controls;
    CFakeFileChooser files;
    CProfileName profile;
    std::unique_ptr<CNUVIKDlg> dlg;

    void Open(const std::string& strProfileBytes = "")
    {
        profile.strName = "nuvik.INI";
        profile.strConfigDir = dir / "config";
        if (!strProfileBytes.empty()) {
            std::filesystem::create_directories(profile.strConfigDir);
            WriteBytes(ProfilePath(), strProfileBytes);
        }
        dlg = std::make_unique<CNUVIKDlg>(std::vector<std::string>{},
                                          CDlgServices{&sockets, nullptr, &profile, "file:///help.html"});
        dlg->AttachWindow(&controls, &messages, &files);
        ASSERT_TRUE(dlg->OnInitDialog());
    }
    std::string ProfilePath() const { return profile.strConfigDir + "/nuvik.INI"; }
    std::vector<std::string> Entries() const { return {dlg->m_hosts.begin(), dlg->m_hosts.end()}; }
    void Type(int nId, const std::string& strText) { controls.texts[nId] = strText; }
    void TypeIp(const std::string& strDotted) { controls.SetWindowText(IDC_IP, strDotted); }
    void Command(int nId, int nCode = BN_CLICKED) { dlg->OnCommand(nId, nCode); }
};

const char kTwoHosts[] = "[list]\r\n0=PC1 192.168.1.10 0A1B2C3D4E5F\r\n1=nas 192.168.1.20 00AABBCCDDEE\r\n";

// --- initialisation --------------------------------------------------------

TEST_F(DialogTest, OpensInNameModeWithTheStoredNamesSorted)
{
    Open("[list]\r\n0=zeta 10.0.0.1 001122334455\r\n1=  Alpha 10.0.0.2 001122334455\r\n2=beta\r\n3=\"   \"\r\n");
    EXPECT_EQ(controls.items, (std::vector<std::string>{"", "Alpha", "beta", "zeta"}));
    EXPECT_EQ(controls.nChecked, IDC_NAME_MODE);
    EXPECT_TRUE(controls.enabled[IDC_NAME]);
    EXPECT_FALSE(controls.enabled[IDC_IP]);
    EXPECT_EQ(controls.nCurSel, CB_ERR);
    EXPECT_EQ(controls.texts[IDC_NAME], "");
}

// --- add ---------------------------------------------------------------------

TEST_F(DialogTest, AddStripsBlanksAroundAndInsideTheName)
{
    Open();
    Type(IDC_NAME, "  my pc  ");
    TypeIp("192.168.0.7");
    Type(IDC_MAC, "001122334455");
    Command(ID_ADD_HOST);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"mypc 192.168.0.7 001122334455"}));
    EXPECT_EQ(controls.items, (std::vector<std::string>{"mypc"}));
    EXPECT_EQ(controls.texts[IDC_NAME], "  my pc  ");  // the box is not refreshed
}

TEST_F(DialogTest, AddWithEmptyNameTakesTheAddressUnlessItIsBlank)
{
    Open();
    TypeIp("192.168.0.7");
    Type(IDC_MAC, "001122334455");
    Command(ID_ADD_HOST);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"192.168.0.7 192.168.0.7 001122334455"}));

    controls.ClearAddress();  // reads 0.0.0.0
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(ID_ADD_HOST);
    EXPECT_EQ(Entries().size(), 1u);
    EXPECT_EQ(dlg->m_strMac, "AABBCCDDEEFF");  // not even validated
}

TEST_F(DialogTest, AddWithElevenDigitsStoresNothing)
{
    Open();
    Type(IDC_NAME, "pc");
    Type(IDC_MAC, "00112233445");
    Command(ID_ADD_HOST);
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(controls.items.empty());
}

TEST_F(DialogTest, AddOfAKnownNameInAnotherCaseReplacesAndKeepsTheList)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "pc1");
    TypeIp("10.0.0.6");
    Type(IDC_MAC, "0A1B2C3D4E5F");
    Command(ID_ADD_HOST);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"pc1 10.0.0.6 0A1B2C3D4E5F", "nas 192.168.1.20 00AABBCCDDEE"}));
    EXPECT_EQ(controls.items, (std::vector<std::string>{"nas", "PC1"}));
}

TEST_F(DialogTest, AddOfANewNameTakesItsSortedPlace)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "Media");
    TypeIp("10.0.0.9");
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(ID_ADD_HOST);
    EXPECT_EQ(controls.items, (std::vector<std::string>{"Media", "nas", "PC1"}));
    EXPECT_EQ(Entries().front(), "Media 10.0.0.9 AABBCCDDEEFF");
}

// --- delete ------------------------------------------------------------------

TEST_F(DialogTest, DeleteOfAnUnknownNameChangesNothing)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "ghost");
    Type(IDC_MAC, "001122334455");
    Command(ID_DELETE_HOST);
    EXPECT_EQ(Entries().size(), 2u);
    EXPECT_EQ(controls.items.size(), 2u);
    EXPECT_EQ(controls.texts[IDC_NAME], "ghost");
    EXPECT_EQ(controls.texts[IDC_MAC], "001122334455");
}

TEST_F(DialogTest, DeleteRemovesTheItemNamingTheHostNotTheSelectedOne)
{
    Open(kTwoHosts);
    controls.Pick(0);  // "nas" selected...
    Type(IDC_NAME, "pc1");  // ...then another stored name typed over it
    controls.nCurSel = 0;   // (a toolkit may keep the selection)
    Command(ID_DELETE_HOST);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"nas 192.168.1.20 00AABBCCDDEE"}));
    EXPECT_EQ(controls.items, (std::vector<std::string>{"nas"}));
    EXPECT_EQ(controls.texts[IDC_NAME], "");
    EXPECT_EQ(controls.texts[IDC_MAC], "");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "0.0.0.0");
}

// --- filling in ------------------------------------------------------------

TEST_F(DialogTest, PickFillsAddressAndHardwareAddress)
{
    Open(kTwoHosts);
    controls.Pick(1);  // PC1
    Command(IDC_NAME, CBN_SELCHANGE);
    EXPECT_EQ(controls.texts[IDC_MAC], "0A1B2C3D4E5F");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "192.168.1.10");
    EXPECT_EQ(controls.texts[IDC_NAME], "PC1");
}

TEST_F(DialogTest, TypingAStoredNameInAnyCaseFillsAndOtherTextEmpties)
{
    Open(kTwoHosts);
    for (const char* psz : {"n", "na", "nA", "NAS"}) {
        Type(IDC_NAME, psz);
        Command(IDC_NAME, CBN_EDITUPDATE);
    }
    EXPECT_EQ(controls.texts[IDC_MAC], "00AABBCCDDEE");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "192.168.1.20");
    EXPECT_EQ(controls.texts[IDC_NAME], "NAS");

    Type(IDC_NAME, "NASX");
    Command(IDC_NAME, CBN_EDITUPDATE);
    EXPECT_EQ(controls.texts[IDC_MAC], "");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "0.0.0.0");
}

TEST_F(DialogTest, NoNotificationRunsDuringAnExchange)
{
    Open(kTwoHosts);
    int nNotified = 0;
    controls.onNameTextSet = [&] {
        ++nNotified;
        dlg->OnCommand(IDC_NAME, CBN_EDITUPDATE);  // would fill from the list
    };
    dlg->m_strName = "PC1";
    dlg->m_strMac = "FFFFFFFFFFFF";
    dlg->m_strIp = "1.2.3.4";
    dlg->UpdateData(false);
    EXPECT_GT(nNotified, 0);
    EXPECT_EQ(dlg->m_strMac, "FFFFFFFFFFFF");
    EXPECT_EQ(controls.texts[IDC_MAC], "FFFFFFFFFFFF");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "1.2.3.4");
}

// --- modes ---------------------------------------------------------------------

TEST_F(DialogTest, ModeHandlersClearTheOtherModesTexts)
{
    Open();
    dlg->m_strName = "pc";
    dlg->m_strIp = "10.0.0.1";
    dlg->m_strMac = "001122334455";
    Command(IDC_ADDRESS_MODE);
    EXPECT_FALSE(controls.enabled[IDC_NAME]);
    EXPECT_TRUE(controls.enabled[IDC_IP]);
    EXPECT_EQ(controls.nFocus, IDC_IP);
    EXPECT_EQ(controls.texts[IDC_NAME], "");
    EXPECT_EQ(controls.texts[IDC_MAC], "");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "10.0.0.1");

    dlg->m_strName = "kept";
    Command(IDC_NAME_MODE);
    EXPECT_TRUE(controls.enabled[IDC_NAME]);
    EXPECT_FALSE(controls.enabled[IDC_IP]);
    EXPECT_EQ(controls.nFocus, IDC_NAME);
    EXPECT_EQ(controls.texts[IDC_NAME], "kept");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "0.0.0.0");
}

// --- import and export --------------------------------------------------------

TEST_F(DialogTest, CancelledImportChangesNothing)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "typed");
    Command(ID_IMPORT_LIST);
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_TRUE(files.requests[0].bOpen);
    EXPECT_EQ(files.requests[0].strInitialName, "nuvik.ini");
    EXPECT_EQ(controls.items.size(), 2u);
    EXPECT_EQ(controls.texts[IDC_NAME], "typed");
}

TEST_F(DialogTest, ConfirmedImportRebuildsTheListAndKeepsTheMode)
{
    Open(kTwoHosts);
    Command(IDC_ADDRESS_MODE);
    TypeIp("10.1.1.1");
    dlg->m_strIp = "10.1.1.1";
    WriteBytes(dir / "other.ini", "[list]\r\n0=gamma 10.0.0.3 001122334455\r\n");
    files.answer = dir / "other.ini";
    Command(ID_IMPORT_LIST);
    EXPECT_EQ(controls.items, (std::vector<std::string>{"gamma"}));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"gamma 10.0.0.3 001122334455"}));
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "0.0.0.0");
    EXPECT_EQ(dlg->m_strName + dlg->m_strIp + dlg->m_strMac, "");
    EXPECT_FALSE(controls.enabled[IDC_NAME]);
    EXPECT_TRUE(controls.enabled[IDC_IP]);
}

TEST_F(DialogTest, FailedImportCopyIsShownAndTheListRebuiltUnchanged)
{
    Open(kTwoHosts);
    files.answer = dir / "does-not-exist.ini";
    Command(ID_IMPORT_LIST);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("does-not-exist.ini"), std::string::npos) << messages.texts[0];
    EXPECT_EQ(controls.items.size(), 2u);
}

TEST_F(DialogTest, ExportSavesAndCopiesToTheChosenFile)
{
    Open(kTwoHosts);
    files.answer = dir / "copy.ini";
    Command(ID_EXPORT_LIST);
    EXPECT_FALSE(files.requests.at(0).bOpen);
    EXPECT_EQ(ReadBytes(dir / "copy.ini"), kTwoHosts);
    EXPECT_TRUE(messages.texts.empty());
}

// --- closing -------------------------------------------------------------------

TEST_F(DialogTest, CancelSavesAndCloses)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "Media");
    TypeIp("10.0.0.9");
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(ID_ADD_HOST);
    Command(IDCANCEL);
    EXPECT_EQ(controls.nEndResult, IDCANCEL);
    EXPECT_EQ(ReadBytes(ProfilePath()),
              "[list]\r\n0=Media 10.0.0.9 AABBCCDDEEFF\r\n1=PC1 192.168.1.10 0A1B2C3D4E5F\r\n"
              "2=nas 192.168.1.20 00AABBCCDDEE\r\n");
}

TEST_F(DialogTest, ExitWithThirteenCharactersSavesWarnsAndStaysOpen)
{
    Open(kTwoHosts);
    std::filesystem::remove(ProfilePath());
    Type(IDC_MAC, "0011223344556");
    Command(ID_EXIT);
    EXPECT_EQ(controls.nEndResult, -1);
    EXPECT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(controls.nFocus, IDC_MAC);
    EXPECT_EQ(controls.selectedAll, (std::vector<int>{IDC_MAC}));
    EXPECT_EQ(ReadBytes(ProfilePath()), kTwoHosts);

    Type(IDC_MAC, "001122334455");
    Command(ID_EXIT);
    EXPECT_EQ(controls.nEndResult, IDOK);
}

TEST_F(DialogTest, FailedSaveAsksAndFollowsTheAnswer)
{
    Open(kTwoHosts);
    // The configuration directory becomes a plain file: no save can succeed.
    std::filesystem::remove_all(profile.strConfigDir);
    WriteBytes(profile.strConfigDir, "not a directory");

    messages.saveAnswers = {IMessageBox::ESaveChoice::Retry, IMessageBox::ESaveChoice::StayOpen};
    Command(IDCANCEL);
    EXPECT_EQ(messages.nSaveQuestions, 2);
    EXPECT_EQ(controls.nEndResult, -1);
    EXPECT_NE(messages.texts[0].find(profile.strConfigDir), std::string::npos) << messages.texts[0];

    messages.saveAnswers.push_back(IMessageBox::ESaveChoice::Discard);
    Command(IDCANCEL);
    EXPECT_EQ(controls.nEndResult, IDCANCEL);
}

// --- wake, help, about ---------------------------------------------------------

TEST_F(DialogTest, OkWakesTheBoxesHostAndStaysOpen)
{
    Open();
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(IDC_WAKE);
    ASSERT_EQ(sockets.Sends().size(), 1u);
    EXPECT_EQ(sockets.Sends()[0].data[6], 0xAA);
    EXPECT_EQ(controls.nEndResult, -1);

    Type(IDC_MAC, "");
    Command(IDC_WAKE);
    EXPECT_EQ(messages.texts, (std::vector<std::string>{"Invalid MAC address"}));
}

TEST_F(DialogTest, FailedSendIsShownWithTheReason)
{
    Open();
    sockets.failures["bind"] = EADDRINUSE;
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(IDC_WAKE);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("Address already in use"), std::string::npos);
}

TEST_F(DialogTest, HelpOpensThePageAndAboutOpensAFreshBoxEachTime)
{
    Open();
    Command(IDC_HELP_LINK);
    EXPECT_EQ(controls.openedUrls, (std::vector<std::string>{"file:///help.html"}));
    dlg->OnSysCommand(IDM_ABOUTBOX);
    dlg->OnSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(controls.nAboutBoxes, 2);
}

} // namespace
