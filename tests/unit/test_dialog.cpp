// The main dialog's handlers, headless, through a fake control boundary.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <tuple>

#include "fakes/DialogFixture.h"

namespace {

using List = std::vector<std::string>;

class DialogTest : public CDialogFixture {};

const char kTwoHosts[] = "[list]\r\n0=PC1 192.168.1.10 0A1B2C3D4E5F\r\n1=nas 192.168.1.20 00AABBCCDDEE\r\n";

// --- initialisation --------------------------------------------------------

TEST_F(DialogTest, OpensInNameModeWithTheStoredNamesSorted)
{
    Open("[list]\r\n0=zeta 10.0.0.1 001122334455\r\n1=  Alpha 10.0.0.2 001122334455\r\n2=beta\r\n3=\"   \"\r\n");
    EXPECT_EQ(controls.items, (List{"", "Alpha", "beta", "zeta"}));
    EXPECT_EQ(controls.nChecked, IDC_NAME_MODE);
    EXPECT_TRUE(controls.enabled[IDC_NAME]);
    EXPECT_FALSE(controls.enabled[IDC_IP]);
    EXPECT_EQ(controls.nCurSel, CB_ERR);
    EXPECT_EQ(controls.texts[IDC_NAME], "");
}

// --- add ---------------------------------------------------------------------

struct CAddCase {
    const char* pszRule;
    const char* pszProfile;
    const char* pszName;
    const char* pszIp;  // "" leaves the control blank (it reads 0.0.0.0)
    const char* pszMac;
    List entries, items;
};

// With its address and hardware address, one character more than the profile
// file's reader keeps of a line.
const std::string kLongName(4095 - std::string(" 10.0.0.1 001122334455").size() + 1, 'n');

class DialogAddTest : public CDialogFixture, public ::testing::WithParamInterface<CAddCase> {};

TEST_P(DialogAddTest, StoresTheBoxesUnderTheNameWithoutBlanks)
{
    const CAddCase& c = GetParam();
    SCOPED_TRACE(c.pszRule);
    Open(c.pszProfile);
    Type(IDC_NAME, c.pszName);
    TypeIp(c.pszIp);
    Type(IDC_MAC, c.pszMac);
    Command(ID_ADD_HOST);
    EXPECT_EQ(Entries(), c.entries);
    EXPECT_EQ(controls.items, c.items);
    EXPECT_EQ(controls.texts[IDC_NAME], c.pszName);  // the box is not refreshed
    EXPECT_EQ(dlg->m_strMac, c.pszMac);             // nor the address cut
}

INSTANTIATE_TEST_SUITE_P(Cases, DialogAddTest, ::testing::Values(
    CAddCase{"blanks", "", "  my pc  ", "192.168.0.7", "001122334455",
             {"mypc 192.168.0.7 001122334455"}, {"mypc"}},
    CAddCase{"line breaks", "", "my\r\nhost\n", "10.0.0.1", "001122334455",
             {"myhost 10.0.0.1 001122334455"}, {"myhost"}},
    CAddCase{"no name", "", "", "192.168.0.7", "001122334455",
             {"192.168.0.7 192.168.0.7 001122334455"}, {"192.168.0.7"}},
    CAddCase{"no name, blank address", "", "", "", "AABBCCDDEEFF", {}, {}},
    CAddCase{"eleven digits", "", "pc", "10.0.0.1", "00112233445", {}, {}},
    CAddCase{"longer than a profile line holds", "", kLongName.c_str(), "10.0.0.1", "001122334455", {}, {}},
    CAddCase{"known name in another case", kTwoHosts, "pc1", "10.0.0.6", "0A1B2C3D4E5F",
             {"pc1 10.0.0.6 0A1B2C3D4E5F", "nas 192.168.1.20 00AABBCCDDEE"}, {"nas", "PC1"}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(DialogTest, NewNameTakesItsSortedPlaceAndCancelSavesIt)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "Media");
    TypeIp("10.0.0.9");
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(ID_ADD_HOST);
    EXPECT_EQ(controls.items, (List{"Media", "nas", "PC1"}));
    Command(IDCANCEL);
    EXPECT_EQ(controls.nEndResult, IDCANCEL);
    EXPECT_EQ(ReadBytes(ProfilePath()),
              "[list]\r\n0=Media 10.0.0.9 AABBCCDDEEFF\r\n1=PC1 192.168.1.10 0A1B2C3D4E5F\r\n"
              "2=nas 192.168.1.20 00AABBCCDDEE\r\n");
}

// --- delete ------------------------------------------------------------------

TEST_F(DialogTest, DeleteRemovesTheItemNamingTheHostNotTheSelectedOne)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "ghost");
    Type(IDC_MAC, "001122334455");
    Command(ID_DELETE_HOST);  // an unknown name changes nothing
    EXPECT_EQ(Entries().size(), 2u);
    EXPECT_EQ(controls.items.size(), 2u);
    ExpectBoxes("ghost", "0.0.0.0", "001122334455");

    controls.Pick(0);  // "nas" selected...
    Type(IDC_NAME, "pc1");  // ...then another stored name typed over it
    controls.nCurSel = 0;   // (a toolkit may keep the selection)
    Command(ID_DELETE_HOST);
    EXPECT_EQ(Entries(), (List{"nas 192.168.1.20 00AABBCCDDEE"}));
    EXPECT_EQ(controls.items, (List{"nas"}));
    ExpectBoxes("", "0.0.0.0", "");
}

// --- filling in ------------------------------------------------------------

TEST_F(DialogTest, PickingOrTypingAStoredNameInAnyCaseFillsAndOtherTextEmpties)
{
    Open(kTwoHosts);
    controls.Pick(1);  // PC1
    Command(IDC_NAME, CBN_SELCHANGE);
    ExpectBoxes("PC1", "192.168.1.10", "0A1B2C3D4E5F");

    for (const char* psz : {"n", "na", "nA", "NAS"}) {
        Type(IDC_NAME, psz);
        Command(IDC_NAME, CBN_EDITUPDATE);
    }
    ExpectBoxes("NAS", "192.168.1.20", "00AABBCCDDEE");

    Type(IDC_NAME, "NASX");
    Command(IDC_NAME, CBN_EDITUPDATE);
    ExpectBoxes("NASX", "0.0.0.0", "");
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
    ExpectBoxes("PC1", "1.2.3.4", "FFFFFFFFFFFF");
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
    ExpectBoxes("", "10.0.0.1", "");

    dlg->m_strName = "kept";
    Command(IDC_NAME_MODE);
    EXPECT_TRUE(controls.enabled[IDC_NAME]);
    EXPECT_FALSE(controls.enabled[IDC_IP]);
    EXPECT_EQ(controls.nFocus, IDC_NAME);
    EXPECT_EQ(controls.texts[IDC_NAME], "kept");
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "0.0.0.0");
}

// --- import and export --------------------------------------------------------

TEST_F(DialogTest, CancelledOrFailedImportLeavesTheList)
{
    Open(kTwoHosts);
    Type(IDC_NAME, "typed");
    Command(ID_IMPORT_LIST);
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_TRUE(files.requests[0].bOpen);
    EXPECT_EQ(files.requests[0].strInitialName, "nuvik.ini");
    EXPECT_EQ(controls.items.size(), 2u);
    EXPECT_EQ(controls.texts[IDC_NAME], "typed");
    EXPECT_TRUE(messages.texts.empty());

    files.answer = dir / "does-not-exist.ini";
    Command(ID_IMPORT_LIST);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("does-not-exist.ini"), std::string::npos) << messages.texts[0];
    EXPECT_EQ(controls.items.size(), 2u);
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
    EXPECT_EQ(controls.items, (List{"gamma"}));
    EXPECT_EQ(Entries(), (List{"gamma 10.0.0.3 001122334455"}));
    EXPECT_EQ(controls.GetWindowText(IDC_IP), "0.0.0.0");
    EXPECT_EQ(dlg->m_strName + dlg->m_strIp + dlg->m_strMac, "");
    EXPECT_FALSE(controls.enabled[IDC_NAME]);
    EXPECT_TRUE(controls.enabled[IDC_IP]);
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

    messages.saveAnswers = {IMessageBox::ESaveChoice::Save, IMessageBox::ESaveChoice::StayOpen};
    Command(IDCANCEL);
    EXPECT_EQ(messages.questions.size(), 2u);
    EXPECT_EQ(controls.nEndResult, -1);
    EXPECT_NE(messages.texts[0].find(profile.strConfigDir), std::string::npos) << messages.texts[0];

    messages.saveAnswers.push_back(IMessageBox::ESaveChoice::Discard);
    Command(IDCANCEL);
    EXPECT_EQ(controls.nEndResult, IDCANCEL);
}

TEST_F(DialogTest, AProfileThatCanNotBeReadIsReplacedOnlyWhenTheUserAgrees)
{
    using EChoice = IMessageBox::ESaveChoice;
    std::filesystem::create_directories(profile.strConfigDir);
    ASSERT_EQ(mkfifo(ProfilePath().c_str(), 0600), 0);
    const auto fifoKept = [&] { return std::filesystem::is_fifo(ProfilePath()); };
    Open();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find(ProfilePath() + ": is a FIFO"), std::string::npos) << messages.texts[0];
    Command(IDCANCEL);  // nothing listed: it closes, asking nothing
    EXPECT_EQ((std::tuple(controls.nEndResult, messages.questions.size(), fifoKept())), std::tuple(IDCANCEL, 0u, true));

    Open();
    controls.nEndResult = -1;
    // Import and export work on the list; the profile is not touched.
    WriteBytes(dir / "in.ini", kTwoHosts);
    files.answer = dir / "in.ini";
    Command(ID_IMPORT_LIST);
    files.answer = dir / "out.ini";
    Command(ID_EXPORT_LIST);
    EXPECT_EQ(controls.items, (List{"nas", "PC1"}));
    EXPECT_EQ(ReadBytes(dir / "out.ini"), kTwoHosts);
    // Escape asks; keeping the window open or closing without saving keeps the file.
    messages.saveAnswers = {EChoice::StayOpen, EChoice::Discard};
    Command(IDCANCEL);
    EXPECT_EQ((std::tuple(controls.nEndResult, fifoKept())), std::tuple(-1, true));
    Command(IDCANCEL);
    EXPECT_EQ((std::tuple(controls.nEndResult, fifoKept())), std::tuple(IDCANCEL, true));
    EXPECT_EQ(messages.questions, std::vector(2, IMessageBox::ESaveQuestion::ReplaceUnread));

    Open();
    controls.nEndResult = -1;
    Command(ID_IMPORT_LIST);
    messages.saveAnswers.push_back(EChoice::Save);
    Command(ID_EXIT);
    EXPECT_EQ(controls.nEndResult, IDOK);
    EXPECT_EQ(ReadBytes(ProfilePath()), kTwoHosts);
}

// --- wake, help, about ---------------------------------------------------------

TEST_F(DialogTest, WakeSendsTheBoxesAddressAndStaysOpen)
{
    Open();
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(IDC_WAKE);
    ASSERT_EQ(sockets.Sends().size(), 1u);
    EXPECT_EQ(sockets.Sends()[0].data[6], 0xAA);
    EXPECT_EQ(controls.nEndResult, -1);

    Type(IDC_MAC, "");
    Command(IDC_WAKE);
    EXPECT_EQ(messages.texts, (List{"Invalid MAC address"}));

    sockets.failures["bind"] = EADDRINUSE;
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(IDC_WAKE);
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_NE(messages.texts[1].find("Address already in use"), std::string::npos);
}

TEST_F(DialogTest, HelpOpensThePageOrSaysWhereItIsMissingAndAboutOpensAFreshBoxEachTime)
{
    Open();
    Command(IDC_HELP_LINK);
    std::filesystem::create_directory(dir / "help.html");
    Command(IDC_HELP_LINK);
    EXPECT_EQ(messages.texts, List(2, "The help page is missing: " + (dir / "help.html")));
    std::filesystem::remove(dir / "help.html");
    WriteBytes(dir / "help.html", "<html></html>");
    Command(IDC_HELP_LINK);
    EXPECT_EQ(controls.openedFiles, (List{dir / "help.html"}));
    dlg->OnSysCommand(IDM_ABOUTBOX);
    dlg->OnSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(controls.nAboutBoxes, 2);
}

} // namespace
