// The main dialog's handlers, headless, through fake controls: host editing,
// the "MAC" button, import and export, closing.
#include <sys/stat.h>

#include "fakes/FakeNet.h"
#include "fakes/Fakes.h"
#include "ui/NUVIKDlg.h"

namespace {

using EChoice = IMessageBox::ESaveChoice;
using EQ = IMessageBox::ESaveQuestion;

// The main dialog, headless, on a profile in a fresh directory.
class DialogTest : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeControls controls;
    CFakeFileChooser files;
    CFakeResolver resolver;
    CFakeNet net;
    CProfileName profile{"nuvik.INI", false, dir / "config"};
    std::unique_ptr<CNUVIKDlg> dlg;

    // Opens the dialog on a profile holding strProfile (no file when empty).
    void Open(const std::string& strProfile = "")
    {
        controls = CFakeControls();
        std::filesystem::create_directories(profile.strConfigDir);
        if (!strProfile.empty())
            WriteBytes(ProfilePath(), strProfile);
        dlg =
            std::make_unique<CNUVIKDlg>(List{},
                                        CDlgServices{&sockets, nullptr, &profile, dir / "help.html",
                                                     &resolver, &net, &net, &net});
        dlg->AttachWindow(&controls, &messages, &files);
        ASSERT_TRUE(dlg->OnInitDialog());
    }
    std::string ProfilePath() const { return profile.strConfigDir + "/nuvik.INI"; }
    List Entries() const { return {dlg->m_hosts.begin(), dlg->m_hosts.end()}; }
    void Type(int nId, const std::string& strText)  // as the user types: nothing notifies
    {
        nId == IDC_IP ? controls.SetWindowText(nId, strText) : void(controls.texts[nId] = strText);
    }
    void Command(int nId, int nCode = BN_CLICKED) { dlg->OnCommand(nId, nCode); }
    void ExpectBoxes(const std::string& strName, const std::string& strIp,
                     const std::string& strMac)
    {
        EXPECT_EQ(List({controls.texts[IDC_NAME], controls.GetWindowText(IDC_IP),
                        controls.texts[IDC_MAC]}),
                  List({strName, strIp, strMac}));
    }
};

const char kTwoHosts[] =
    "[list]\r\n0=PC1 192.168.1.10 0A1B2C3D4E5F\r\n1=nas 192.168.1.20 00AABBCCDDEE\r\n";

TEST_F(DialogTest, AddStoresTheBoxesUnderTheNameWithoutBlanks)
{
    // With its address and hardware address, one byte more than a profile line holds.
    const std::string strLong(4095 - std::string(" 10.0.0.1 001122334455").size() + 1, 'n');
    const List kStored = {"PC1 192.168.1.10 0A1B2C3D4E5F", "nas 192.168.1.20 00AABBCCDDEE"};
    // pszIp "": the control is blank and reads 0.0.0.0
    const struct {
        std::string strName;
        const char* pszIp;
        const char* pszMac;
        List entries, items;
    } cases[] = {
        {"  my pc\r\n",
         "192.168.0.7",
         "001122334455",
         {"mypc 192.168.0.7 001122334455", kStored[0], kStored[1]},
         {"mypc", "nas", "PC1"}},
        {"",
         "192.168.0.7",
         "001122334455",
         {"192.168.0.7 192.168.0.7 001122334455", kStored[0], kStored[1]},
         {"192.168.0.7", "nas", "PC1"}},
        {"", "", "AABBCCDDEEFF", kStored, {"nas", "PC1"}},
        {"pc", "10.0.0.1", "00112233445", kStored, {"nas", "PC1"}},
        {strLong, "10.0.0.1", "001122334455", kStored, {"nas", "PC1"}},
        {"pc1",
         "10.0.0.6",
         "0A1B2C3D4E5F",
         {"pc1 10.0.0.6 0A1B2C3D4E5F", kStored[1]},
         {"nas", "PC1"}},
    };
    for (const auto& c : cases) {
        Open(kTwoHosts);
        Type(IDC_NAME, c.strName);
        Type(IDC_IP, c.pszIp);
        Type(IDC_MAC, c.pszMac);
        Command(ID_ADD_HOST);
        EXPECT_EQ(Entries(), c.entries) << c.strName;
        EXPECT_EQ(controls.items, c.items) << c.strName;
        EXPECT_EQ(controls.texts[IDC_NAME], c.strName);  // the box is not refreshed
    }
    EXPECT_EQ(
        messages.texts,
        List{"The name is too long to be stored: a host entry holds at most 4095 characters."});
}

// With a toolkit that notifies on the program's own changes of the name too:
// a notification run during an exchange would fill the boxes from the list,
// and recurse without end.
TEST_F(DialogTest, PickingTypingAndDeletingFollowTheStoredNames)
{
    Open(kTwoHosts);
    controls.onNameTextSet = [&] {
        Command(IDC_NAME, CBN_EDITUPDATE);
    };  // would fill from the list
    EXPECT_EQ((std::tuple(controls.items, controls.nChecked, controls.enabled[IDC_IP])),
              std::tuple(List{"nas", "PC1"}, IDC_NAME_MODE, false));
    controls.Pick(1);
    Command(IDC_NAME, CBN_SELCHANGE);
    ExpectBoxes("PC1", "192.168.1.10", "0A1B2C3D4E5F");
    for (const char* psz : {"n", "nA", "NAS"}) {
        Type(IDC_NAME, psz);
        Command(IDC_NAME, CBN_EDITUPDATE);
    }
    ExpectBoxes("NAS", "192.168.1.20", "00AABBCCDDEE");

    Type(IDC_NAME, "ghost");
    Command(ID_DELETE_HOST);  // an unknown name changes nothing
    EXPECT_EQ(controls.items.size(), 2u);
    ExpectBoxes("ghost", "192.168.1.20", "00AABBCCDDEE");
    controls.Pick(0);       // "nas" selected...
    Type(IDC_NAME, "pc1");  // ...and another stored name typed over it
    Command(ID_DELETE_HOST);
    EXPECT_EQ((std::tuple(Entries(), controls.items)),
              std::tuple(List{"nas 192.168.1.20 00AABBCCDDEE"}, List{"nas"}));
    ExpectBoxes("", "0.0.0.0", "");
}

TEST_F(DialogTest, TheMacButtonResolvesDiscoversAndStores)
{
    using E = EProbeSocket;
    resolver.forward["pc1"] = CHostRecord{"pc1.lan", {NetAddr("10.0.0.5"), NetAddr("10.0.0.6")}};
    resolver.reverse[NetAddr("10.0.0.5")] = "pc1.home.example";
    const std::vector<CNeighbourRow> table = {
        Row("10.0.0.5", {0x00, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D}, ~0u, 2),
        Row("10.0.0.9", {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, ~0u, 2)};
    const std::set<E> kNoSocket = {E::EchoDgram, E::EchoRaw, E::Udp};
    // pszName: nullptr: address mode with pszIp
    // boxes: name, address, hardware address afterwards
    const std::tuple<const char*, const char*, bool, bool, std::set<E>, List, const char*, List>
        cases[] = {
            {"pc1",
             "",
             true,
             true,
             {},
             {"pc1.home.example", "10.0.0.5", "001AFF2B3C4D"},
             "pc1.home.example 10.0.0.5 001AFF2B3C4D",
             {}},
            {"pc1",
             "",
             false,
             true,
             {},
             {"pc1.lan", "10.0.0.5", "001AFF2B3C4D"},
             "pc1.lan 10.0.0.5 001AFF2B3C4D",
             {}},
            {"pc1", "", true, false, {}, {"pc1.home.example", "10.0.0.5", ""}, nullptr, {}},
            {"pc1", "", true, true, kNoSocket, {"pc1.home.example", "10.0.0.5", ""}, nullptr, {}},
            {" pc1 ",
             "1.2.3.4",
             true,
             true,
             {},
             {" pc1 ", "0.0.0.0", "0123456789AB"},
             "pc1 0.0.0.0 0123456789AB",
             {"Not found!"}},
            {nullptr,
             "10.0.0.5",
             true,
             true,
             {},
             {"pc1.home.example", "10.0.0.5", "001AFF2B3C4D"},
             "pc1.home.example 10.0.0.5 001AFF2B3C4D",
             {}},
            {nullptr,
             "10.0.0.9",
             true,
             true,
             {E::EchoDgram, E::EchoRaw},
             {"", "10.0.0.9", "AABBCCDDEEFF"},
             "10.0.0.9 10.0.0.9 AABBCCDDEEFF",
             {}},
        };
    for (const auto& [pszName, pszIp, bReverse, bTable, refused, boxes, pszStored, said] : cases) {
        Open();
        if (!pszName)
            Command(IDC_ADDRESS_MODE);
        Type(IDC_NAME, pszName ? pszName : "");
        Type(IDC_IP, pszIp);
        Type(IDC_MAC, "0123456789AB");
        const auto reverse = resolver.reverse;
        if (!bReverse)
            resolver.reverse.clear();
        net.table = bTable ? table : std::vector<CNeighbourRow>{};
        net.refused = refused;
        messages.texts.clear();
        controls.cursor.clear();
        Command(IDC_LOOKUP);
        resolver.reverse = reverse;
        ExpectBoxes(boxes[0], boxes[1], boxes[2]);
        EXPECT_EQ(Entries(), pszStored ? List{pszStored} : List{}) << boxes[0];
        EXPECT_EQ(messages.texts, said) << boxes[0];
        EXPECT_EQ(controls.cursor, List({"begin", "restore", "end"}));
    }
    EXPECT_EQ(resolver.asked.at(8), "name: pc1 ");  // as typed, blanks and all
    // One probe each, the first address only; without ICMP a datagram to the discard port.
    std::string strSent;
    for (const auto& [nMs, strWhat] : net.sent)
        strSent += strWhat + ",";
    EXPECT_EQ(strSent, "echo 10.0.0.5,echo 10.0.0.5,echo 10.0.0.5,echo 10.0.0.5,udp:9 10.0.0.9,");
    // Nothing typed: the focus goes to the box, and nothing else happens.
    Open();
    Command(IDC_LOOKUP);
    EXPECT_EQ(std::tuple(controls.nFocus, controls.cursor.size(), net.sent.size()),
              std::tuple(IDC_NAME, 0u, 5u));
    // A host that nothing answers for is waited for five seconds, no longer.
    net.refused.clear();
    net.hosts["10.9.0.7"] = {false, false, false, false};  // behind the gateway, nobody
    const int64_t nStartUs = net.nNowUs;
    Command(IDC_ADDRESS_MODE);
    Type(IDC_IP, "10.9.0.7");
    Command(IDC_LOOKUP);
    EXPECT_EQ(net.nNowUs - nStartUs, 5000000);
}

// Closing writes the book only when the list changed, and asks first when
// the file holds what the list does not carry or someone changed it since.
TEST_F(DialogTest, ClosingSavesOrAsksWhatToDo)
{
    const std::string kGap = "[list]\n1=nas 192.168.1.20 00AABBCCDDEE\n; mine\n";
    const std::string kAdded = "[list]\r\n0=pc 10.0.0.1 001122334455\r\n";
    const std::string kOther = "[list]\r\n0=other 10.0.0.9 00000000000A\r\n";
    // bAdd: File > Add of pc before closing
    // bOtherWrites: another window saves kOther meanwhile
    const struct {
        std::string strProfile;
        bool bAdd;
        bool bOtherWrites;
        std::vector<EChoice> answers;
        int nEnd;
        std::string strAfter;
        std::vector<EQ> questions;
    } cases[] = {
        {"[list]\n0=a 1 1\n; LF, a comment\n\n[x]\n",
         false,
         false,
         {},
         IDCANCEL,
         "[list]\n0=a 1 1\n; LF, a comment\n\n[x]\n",
         {}},
        {kGap, false, false, {}, IDCANCEL, kGap, {}},
        {kGap, true, false, {EChoice::StayOpen}, -1, kGap, {EQ::ReplaceLeftovers}},
        {kGap, true, false, {EChoice::Save}, IDCANCEL, kAdded, {EQ::ReplaceLeftovers}},
        {"", true, false, {}, IDCANCEL, kAdded, {}},
        {"", true, true, {EChoice::Discard}, IDCANCEL, kOther, {EQ::ReplaceChanged}},
        {kOther, false, true, {}, IDCANCEL, kOther, {}},
        {"", true, true, {EChoice::Save}, IDCANCEL, kAdded, {EQ::ReplaceChanged}},
    };
    const auto addPc = [&] {
        Type(IDC_NAME, "pc");
        Type(IDC_IP, "10.0.0.1");
        Type(IDC_MAC, "001122334455");
        Command(ID_ADD_HOST);
    };
    for (const auto& c : cases) {
        std::filesystem::remove(ProfilePath());
        messages = CRecordingMessageBox();
        Open(c.strProfile);
        addPc();
        Command(ID_DELETE_HOST);  // a change undone is no change
        if (c.bAdd)
            addPc();
        if (c.bOtherWrites)
            WriteBytes(ProfilePath(), kOther);
        messages.saveAnswers = c.answers;
        Command(IDCANCEL);
        EXPECT_EQ((std::tuple(controls.nEndResult, ReadBytes(ProfilePath()), messages.questions)),
                  std::tuple(c.nEnd, c.strAfter, c.questions))
            << &c - cases;
    }
    EXPECT_EQ(
        messages.texts.back(),
        "The address book " + ProfilePath() +
            " was changed by another program since the "
            "window read it; its changes would be lost. Replace it with the 1 host listed now?");
    Open(kGap);
    EXPECT_EQ(messages.texts.back(),
              "The address book " + ProfilePath() +
                  " holds 2 entries that the list does not show "
                  "(the list ends at the first missing key): [list] 1, 1 comment line. The file is "
                  "left as it is; a save that would drop them asks first.");

    Open(kTwoHosts);
    Type(IDC_NAME, "nas");
    Command(ID_DELETE_HOST);
    Type(IDC_MAC, "ÄÄÄÄÄÄÄÄÄÄÄÄ");  // twelve characters, more bytes
    Command(ID_EXIT);
    EXPECT_EQ((std::tuple(controls.nEndResult, ReadBytes(ProfilePath()))),
              std::tuple(IDOK, "[list]\r\n0=PC1 192.168.1.10 0A1B2C3D4E5F\r\n"));
    controls.nEndResult = -1;
    Type(IDC_NAME, "PC1");
    Command(ID_DELETE_HOST);
    Type(IDC_MAC, "0011223344556");
    Command(ID_EXIT);  // saved (no host, no file), but the box holds too much: it stays open
    EXPECT_EQ((std::tuple(controls.nEndResult, controls.nFocus, controls.selectedAll)),
              std::tuple(-1, IDC_MAC, std::vector<int>{IDC_MAC}));
    EXPECT_EQ(messages.texts.back(), "A hardware address has at most 12 characters.");
    EXPECT_FALSE(std::filesystem::exists(ProfilePath()));

    // The configuration directory becomes a plain file: no save can succeed.
    addPc();
    std::filesystem::remove_all(profile.strConfigDir);
    WriteBytes(profile.strConfigDir, "not a directory");
    messages = CRecordingMessageBox();
    messages.saveAnswers = {EChoice::Save, EChoice::StayOpen, EChoice::Discard};
    Command(IDCANCEL);
    EXPECT_EQ((std::tuple(controls.nEndResult, messages.questions.size())), std::tuple(-1, 2u));
    Command(IDCANCEL);
    EXPECT_EQ(controls.nEndResult, IDCANCEL);
}

TEST_F(DialogTest, AProfileThatCanNotBeReadIsReplacedOnlyWhenTheUserAgrees)
{
    std::filesystem::create_directories(profile.strConfigDir);
    ASSERT_EQ(mkfifo(ProfilePath().c_str(), 0600), 0);
    const auto fifoKept = [&] { return std::filesystem::is_fifo(ProfilePath()); };
    Open();
    EXPECT_EQ(messages.texts,
              List{"The address book could not be read: " + ProfilePath() +
                   ": is a FIFO, not a regular "
                   "file. The file is left as it is; it is replaced only if you agree when the "
                   "window closes."});
    Command(IDCANCEL);  // nothing listed: it closes, asking nothing
    EXPECT_EQ((std::tuple(controls.nEndResult, messages.questions.size(), fifoKept())),
              std::tuple(IDCANCEL, 0u, true));

    Open();
    controls.nEndResult = -1;
    // Import and export work on the list; the profile is not touched.
    WriteBytes(dir / "in.ini", kTwoHosts);
    files.answer = dir / "in.ini";
    Command(ID_IMPORT_LIST);
    Command(ID_IMPORT_LIST);  // the name box is rebuilt, not added to
    Type(IDC_MAC, "00AABBCCDDEE");
    files.answer.reset();  // cancelled: nothing changes
    Command(ID_IMPORT_LIST);
    EXPECT_EQ(controls.texts[IDC_MAC], "00AABBCCDDEE");
    files.answer = dir / "out.ini";
    Command(ID_EXPORT_LIST);
    EXPECT_EQ((std::tuple(controls.items, ReadBytes(dir / "out.ini"))),
              std::tuple(List{"nas", "PC1"}, kTwoHosts));
    // Keeping the window open or closing without saving keeps the file; so
    // does "Replace", which never puts a file in a FIFO's place. The book
    // is still unread then: deleting every host and closing asks nothing
    // and leaves it.
    messages.saveAnswers = {EChoice::StayOpen, EChoice::Discard, EChoice::Save, EChoice::StayOpen,
                            EChoice::StayOpen};
    Command(IDCANCEL);
    EXPECT_EQ((std::tuple(controls.nEndResult, fifoKept())), std::tuple(-1, true));
    Command(IDCANCEL);
    EXPECT_EQ((std::tuple(controls.nEndResult, fifoKept())), std::tuple(IDCANCEL, true));
    Open();
    Command(ID_IMPORT_LIST);
    Type(IDC_NAME, "PC1");
    Command(ID_DELETE_HOST);
    Command(ID_EXIT);
    EXPECT_EQ(messages.texts.at(messages.texts.size() - 2),
              "The address book could not be read when the window opened (" + ProfilePath() +
                  ": is a FIFO, not a regular file). Replace it with the 1 host listed now?");
    Command(ID_EXIT);  // a failed "Replace" leaves it unread: asked again
    EXPECT_EQ(messages.questions,
              (std::vector{EQ::ReplaceUnread, EQ::ReplaceUnread, EQ::ReplaceUnread, EQ::SaveFailed,
                           EQ::ReplaceUnread}));
    Type(IDC_NAME, "nas");
    Command(ID_DELETE_HOST);
    Command(ID_EXIT);
    EXPECT_EQ((std::tuple(controls.nEndResult, messages.questions.size(), fifoKept())),
              std::tuple(IDOK, 5u, true));

    // Too large to be read: "Replace" puts the list in its place.
    std::filesystem::remove(ProfilePath());
    WriteBytes(ProfilePath(), "");
    std::filesystem::resize_file(ProfilePath(), kProfileSizeLimit + 1);
    Open();
    Command(ID_IMPORT_LIST);
    messages.saveAnswers.push_back(EChoice::Save);
    Command(ID_EXIT);
    EXPECT_EQ((std::tuple(controls.nEndResult, ReadBytes(ProfilePath()))),
              std::tuple(IDOK, kTwoHosts));
}

TEST_F(DialogTest, OkWakesAndStaysOpenHelpSaysWhenItsPageIsMissing)
{
    Open();
    Type(IDC_MAC, "AABBCCDDEEFF");
    Command(IDC_WAKE);
    EXPECT_EQ((std::tuple(sockets.sends.size(), controls.nEndResult)), std::tuple(1u, -1));
    Command(IDC_HELP_LINK);
    WriteBytes(dir / "help.html", "<html></html>");
    Command(IDC_HELP_LINK);
    EXPECT_EQ(messages.texts, List{"The help page is missing: " + (dir / "help.html")});
    EXPECT_EQ(controls.openedFiles, List{dir / "help.html"});
}

}  // namespace
