// The main dialog's handlers, headless, through fake controls: host editing,
// the "MAC" button, import and export, closing.
#include <sys/stat.h>

#include "fakes/FakeNet.h"
#include "fakes/Fakes.h"
#include "ui/NUVIKDlg.h"

namespace {

using EChoice = IMessageBox::ESaveChoice;
using EQ = IMessageBox::ESaveQuestion;
namespace fs = std::filesystem;

std::string Joined(const List& texts)
{
    std::string str;
    for (size_t i = 0; i < texts.size(); ++i)
        str += (i ? "|" : "") + texts[i];
    return str;
}

// The main dialog, headless, on a profile in a fresh directory.
class DialogTest : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeControls controls;
    CFakeFileChooser chooser;
    CPosixFileSystem files;
    CFakeResolver resolver;
    CFakeNet net;
    CProfileName profile{"nuvik.INI", false, dir / "config"};
    const std::string strBook = profile.strConfigDir + "/nuvik.INI";
    std::unique_ptr<CNUVIKDlg> dlg;

    // Opens the dialog on a profile holding strProfile (no file when empty).
    void Open(const std::string& strProfile = "")
    {
        controls = CFakeControls();
        fs::create_directories(profile.strConfigDir);
        if (!strProfile.empty())
            WriteBytes(strBook, strProfile);
        const CDlgServices services{&sockets,  nullptr, &profile, &files, dir / "help.html",
                                    &resolver, &net,    &net,     &net};
        dlg = std::make_unique<CNUVIKDlg>(List{}, services);
        dlg->AttachWindow(&controls, &messages, &chooser);
        ASSERT_TRUE(dlg->OnInitDialog());
    }
    std::string Entries() const { return Joined({dlg->m_hosts.begin(), dlg->m_hosts.end()}); }
    // As the user types: nothing notifies.
    void Type(const std::string& strName, const std::string& strIp, const std::string& strMac)
    {
        controls.texts[IDC_NAME] = strName;
        controls.SetWindowText(IDC_IP, strIp);
        controls.texts[IDC_MAC] = strMac;
    }
    void Command(int nId, int nCode = BN_CLICKED) { dlg->OnCommand(nId, nCode); }
    std::string Boxes()
    {
        return Joined(
            {controls.texts[IDC_NAME], controls.GetWindowText(IDC_IP), controls.texts[IDC_MAC]});
    }
};

const char kTwoHosts[] =
    "[list]\r\n0=PC1 192.168.1.10 0A1B2C3D4E5F\r\n1=nas 192.168.1.20 00AABBCCDDEE\r\n";
const char kStored[] = "PC1 192.168.1.10 0A1B2C3D4E5F|nas 192.168.1.20 00AABBCCDDEE";

TEST_F(DialogTest, AddStoresTheBoxesUnderTheNameWithoutBlanks)
{
    // With its address and hardware address, one byte more than a profile line holds.
    const std::string strLong(4095 - std::string(" 10.0.0.1 001122334455").size() + 1, 'n');
    const std::string strPc = "mypc 192.168.0.7 001122334455|",
                      strIp = "192.168.0.7 " + strPc.substr(5);
    // pszIp "": the control is blank and reads 0.0.0.0
    const std::tuple<std::string, const char*, const char*, std::string, const char*> cases[] = {
        {"  my\r pc\n", "192.168.0.7", "001122334455", strPc + kStored, "mypc|nas|PC1"},
        {"", "192.168.0.7", "001122334455", strIp + kStored, "192.168.0.7|nas|PC1"},
        {"", "", "AABBCCDDEEFF", kStored, "nas|PC1"},
        {"pc", "10.0.0.1", "00112233445", kStored, "nas|PC1"},
        {strLong, "10.0.0.1", "001122334455", kStored, "nas|PC1"},
        {"pc1", "10.0.0.6", "0A1B2C3D4E5F",
         "pc1 10.0.0.6 0A1B2C3D4E5F|nas 192.168.1.20 00AABBCCDDEE", "nas|PC1"},
    };
    for (const auto& [strName, pszIp, pszMac, strEntries, pszItems] : cases) {
        Open(kTwoHosts);
        Type(strName, pszIp, pszMac);
        Command(ID_ADD_HOST);
        EXPECT_EQ(std::tuple(Entries(), Joined(controls.items), controls.texts[IDC_NAME]),
                  std::tuple(strEntries, pszItems, strName));  // the box is not refreshed
    }
    EXPECT_EQ(messages.texts.size(), 1u);  // the name too long
}

TEST_F(DialogTest, ImportReplacesTheListAndOnlyASavedBookIsExported)
{
    Open(kTwoHosts);
    WriteBytes(dir / "in.ini", "[list]\r\n0=tv 10.0.0.4 0A0B0C0D0E0F\r\n");
    chooser.answer = dir / "in.ini";
    Command(ID_IMPORT_LIST);
    EXPECT_EQ(std::tuple(Entries(), Joined(controls.items)),
              std::tuple("tv 10.0.0.4 0A0B0C0D0E0F", "tv"));
    Type("pc", "10.0.0.1", "001122334455");
    Command(ID_ADD_HOST);
    const std::string strLock = profile.strConfigDir + "/.nuvik.INI.lock";
    fs::remove(strLock), fs::create_directory(strLock);  // the book can not be saved
    chooser.answer = dir / "out.ini";
    Command(ID_EXPORT_LIST);
    EXPECT_EQ(std::tuple(messages.texts.size(), fs::exists(dir / "out.ini")),
              std::tuple(1u, false));
}

// With a toolkit that notifies on the program's own changes of the name too:
// a notification run during an exchange would fill the boxes from the list,
// and recurse without end.
TEST_F(DialogTest, PickingTypingAndDeletingFollowTheStoredNames)
{
    Open(kTwoHosts);
    controls.onNameTextSet = [&] { Command(IDC_NAME, CBN_EDITUPDATE); };
    EXPECT_EQ(std::tuple(Joined(controls.items), controls.nChecked, controls.enabled[IDC_IP]),
              std::tuple("nas|PC1", IDC_NAME_MODE, false));
    controls.Pick(1);
    Command(IDC_NAME, CBN_SELCHANGE);
    EXPECT_EQ(Boxes(), "PC1|192.168.1.10|0A1B2C3D4E5F");
    for (const char* psz : {"n", "nA", "NAS"}) {
        controls.texts[IDC_NAME] = psz;
        Command(IDC_NAME, CBN_EDITUPDATE);
    }
    EXPECT_EQ(Boxes(), "NAS|192.168.1.20|00AABBCCDDEE");
    controls.texts[IDC_NAME] = "ghost";
    Command(ID_DELETE_HOST);  // an unknown name changes nothing
    EXPECT_EQ(std::tuple(controls.items.size(), Boxes()),
              std::tuple(2u, "ghost|192.168.1.20|00AABBCCDDEE"));
    controls.Pick(0);                  // "nas" selected...
    controls.texts[IDC_NAME] = "pc1";  // ...and another stored name typed over it
    Command(ID_DELETE_HOST);
    EXPECT_EQ(std::tuple(Entries(), Joined(controls.items), Boxes()),
              std::tuple("nas 192.168.1.20 00AABBCCDDEE", "nas", "|0.0.0.0|"));
}

TEST_F(DialogTest, TheMacButtonResolvesDiscoversAndStores)
{
    using E = EProbeSocket;
    resolver.forward["pc1"] = CHostRecord{"pc1.lan", {NetAddr("10.0.0.5"), NetAddr("10.0.0.6")}};
    resolver.reverse[NetAddr("10.0.0.5")] = "pc1.home.example";
    const std::vector<CNeighbourRow> table = {
        Row("10.0.0.5", {0, 0x1A, 0xFF, 0x2B, 0x3C, 0x4D}, ~0u, 2),
        Row("10.0.0.9", {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, ~0u, 2)};
    const std::set<E> kAny, kNoSocket = {E::EchoDgram, E::EchoRaw, E::Udp},
                            kNoIcmp = {E::EchoDgram, E::EchoRaw};
    const std::string kMac = "001AFF2B3C4D", strFound = "pc1.home.example|10.0.0.5|",
                      strStored = "pc1.home.example 10.0.0.5 ";
    // pszName: nullptr: address mode with pszIp; nLacking: 1: no reverse name, 2: no
    // neighbour entry; then the boxes afterwards, and what was stored
    const std::tuple<const char*, const char*, int, std::set<E>, std::string, std::string> cases[] =
        {
            {"pc1", "", 0, kAny, strFound + kMac, strStored + kMac},
            {"pc1", "", 1, kAny, "pc1.lan|10.0.0.5|" + kMac, "pc1.lan 10.0.0.5 " + kMac},
            {"pc1", "", 2, kAny, strFound, ""},
            {"pc1", "", 0, kNoSocket, strFound, ""},
            {" pc1 ", "1.2.3.4", 0, kAny, " pc1 |0.0.0.0|0123456789AB", "pc1 0.0.0.0 0123456789AB"},
            {nullptr, "10.0.0.5", 0, kAny, strFound + kMac, strStored + kMac},
            {nullptr, "10.0.0.9", 0, kNoIcmp, "|10.0.0.9|AABBCCDDEEFF",
             "10.0.0.9 10.0.0.9 AABBCCDDEEFF"},
        };
    for (const auto& [pszName, pszIp, nLacking, refused, strBoxes, strEntries] : cases) {
        Open();
        if (!pszName)
            Command(IDC_ADDRESS_MODE);
        Type(pszName ? pszName : "", pszIp, "0123456789AB");
        const auto reverse = resolver.reverse;
        if (nLacking == 1)
            resolver.reverse.clear();
        net.table = nLacking == 2 ? std::vector<CNeighbourRow>{} : table;
        net.refused = refused;
        messages.texts.clear();
        Command(IDC_LOOKUP);
        resolver.reverse = reverse;
        EXPECT_EQ(std::tuple(Boxes(), Entries(), Joined(controls.cursor)),
                  std::tuple(strBoxes, strEntries, "begin|restore|end"));
        EXPECT_EQ(messages.texts, *pszIp == '1' && pszName ? List{"Not found!"} : List{});
    }
    EXPECT_EQ(resolver.asked.at(8), "name: pc1 ");  // as typed, blanks and all
    // One probe each, the first address only; without ICMP a datagram to the discard port.
    std::string strSent;
    for (const auto& [nMs, strWhat] : net.sent)
        strSent += strWhat + ",";
    EXPECT_EQ(strSent, "echo 10.0.0.5,echo 10.0.0.5,echo 10.0.0.5,echo 10.0.0.5,udp:9 10.0.0.9,");
    // A host that nothing answers for is waited for five seconds, no longer.
    Open();
    net.refused.clear();
    net.hosts["10.9.0.7"] = {false, false, false, false};  // behind the gateway, nobody
    const int64_t nStartUs = net.nNowUs;
    Command(IDC_ADDRESS_MODE);
    Type("", "10.9.0.7", "");
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
    const EChoice kStay = EChoice::StayOpen, kSave = EChoice::Save;
    // bAdd: File > Add of pc before closing; bOtherWrites: another window saves kOther meanwhile
    const std::tuple<std::string, bool, bool, std::vector<EChoice>, int, std::string,
                     std::vector<EQ>>
        cases[] = {
            {kGap, false, false, {}, IDCANCEL, kGap, {}},
            {kGap, true, false, {kStay}, -1, kGap, {EQ::ReplaceLeftovers}},
            {kGap, true, false, {kSave}, IDCANCEL, kAdded, {EQ::ReplaceLeftovers}},
            {"", true, false, {}, IDCANCEL, kAdded, {}},
            {"", true, true, {EChoice::Discard}, IDCANCEL, kOther, {EQ::ReplaceChanged}},
            {kOther, false, true, {}, IDCANCEL, kOther, {}},
            {"", true, true, {kSave}, IDCANCEL, kAdded, {EQ::ReplaceChanged}},
        };
    const auto addPc = [&] {
        Type("pc", "10.0.0.1", "001122334455");
        Command(ID_ADD_HOST);
    };
    for (const auto& [strProfile, bAdd, bOtherWrites, answers, nEnd, strAfter, questions] : cases) {
        fs::remove(strBook);
        messages = CRecordingMessageBox();
        Open(strProfile);
        addPc();
        Command(ID_DELETE_HOST);  // a change undone is no change
        if (bAdd)
            addPc();
        if (bOtherWrites)
            WriteBytes(strBook, kOther);
        messages.saveAnswers = answers;
        Command(IDCANCEL);
        EXPECT_EQ(std::tuple(controls.nEndResult, ReadBytes(strBook), messages.questions),
                  std::tuple(nEnd, strAfter, questions));
    }
}

TEST_F(DialogTest, AProfileThatCanNotBeReadIsReplacedOnlyWhenTheUserAgrees)
{
    fs::create_directories(profile.strConfigDir);
    ASSERT_EQ(mkfifo(strBook.c_str(), 0600), 0);
    const auto fifoKept = [&] { return fs::is_fifo(strBook); };
    Open();
    EXPECT_EQ(messages.texts.size(), 1u);  // told at once
    Command(IDCANCEL);                     // nothing listed: it closes, asking nothing
    EXPECT_EQ(std::tuple(controls.nEndResult, messages.questions.size(), fifoKept()),
              std::tuple(IDCANCEL, 0u, true));

    Open();
    controls.nEndResult = -1;
    // Import and export work on the list; the profile is not touched.
    WriteBytes(dir / "in.ini", kTwoHosts);
    chooser.answer = dir / "in.ini";
    Command(ID_IMPORT_LIST);
    Command(ID_IMPORT_LIST);  // the name box is rebuilt, not added to
    controls.texts[IDC_MAC] = "00AABBCCDDEE";
    chooser.answer.reset();  // cancelled: nothing changes
    Command(ID_IMPORT_LIST);
    chooser.answer = dir / "out.ini";
    Command(ID_EXPORT_LIST);
    EXPECT_EQ(
        std::tuple(Joined(controls.items), controls.texts[IDC_MAC], ReadBytes(dir / "out.ini")),
        std::tuple("nas|PC1", "00AABBCCDDEE", kTwoHosts));
    // Keeping the window open or closing without saving keeps the file; so
    // does "Replace", which never puts a file in a FIFO's place. The book
    // is still unread then: deleting every host and closing asks nothing
    // and leaves it.
    messages.saveAnswers = {EChoice::StayOpen, EChoice::Discard, EChoice::Save, EChoice::StayOpen,
                            EChoice::StayOpen};
    Command(IDCANCEL);
    EXPECT_EQ(std::tuple(controls.nEndResult, fifoKept()), std::tuple(-1, true));
    Command(IDCANCEL);
    EXPECT_EQ(std::tuple(controls.nEndResult, fifoKept()), std::tuple(IDCANCEL, true));
    Open();
    Command(ID_IMPORT_LIST);
    Type("PC1", "", "");
    Command(ID_DELETE_HOST);
    Command(ID_EXIT);
    Command(ID_EXIT);  // a failed "Replace" leaves it unread: asked again
    Type("nas", "", "");
    Command(ID_DELETE_HOST);
    Command(ID_EXIT);
    EXPECT_EQ(std::tuple(controls.nEndResult, messages.questions, fifoKept()),
              std::tuple(IDOK,
                         std::vector{EQ::ReplaceUnread, EQ::ReplaceUnread, EQ::ReplaceUnread,
                                     EQ::SaveFailed, EQ::ReplaceUnread},
                         true));

    // Too large to be read: "Replace" puts the list in its place.
    fs::remove(strBook);
    WriteBytes(strBook, "");
    fs::resize_file(strBook, kProfileSizeLimit + 1);
    Open();
    Command(ID_IMPORT_LIST);
    messages.saveAnswers.push_back(EChoice::Save);
    Command(ID_EXIT);
    EXPECT_EQ(std::tuple(controls.nEndResult, ReadBytes(strBook)), std::tuple(IDOK, kTwoHosts));
}

}  // namespace
