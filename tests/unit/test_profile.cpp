// The profile file: where it is, how it is read, what a save writes and how
// it replaces the old file, and export and import.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/Fakes.h"
#include "hosts/IniFile.h"
#include "hosts/SetList.h"

namespace fs = std::filesystem;

namespace {

TEST(ProfileName, ConfigurationDirectoryIsAbsoluteOrComesFromTheUserDatabase)
{
    setenv("HOME", "/home/tester", 1);  // each test runs in a process of its own
    setenv("XDG_CONFIG_HOME", "/somewhere/cfg", 1);
    EXPECT_EQ(CProfileName::Default("nuvik").Path(), "/somewhere/cfg/nuvik/nuvik.INI");
    for (const char* pszUnset : {"", "cfg"}) {  // empty and relative count as unset
        setenv("XDG_CONFIG_HOME", pszUnset, 1);
        EXPECT_EQ(CProfileName::Default("wol").Path(), "/home/tester/.config/nuvik/wol.INI") << pszUnset;
    }
    setenv("HOME", "tester", 1);
    EXPECT_EQ(CProfileName::Default("wol").Path(), std::string(getpwuid(getuid())->pw_dir) + "/.config/nuvik/wol.INI");
}

// The reading rules that files written by the platform's own profile
// functions rely on; most are compatibility no planted fault models.
TEST(IniReader, EachRule)
{
    const std::string strRepeated = "[list]\n0=first\n0=second\n[other]\n1=o\n[LIST]\n0=third\n1=late\n";
    const std::string strQuotes = "[list]\n0=\"  a b  \"\n1='c'\n2=\"d'\n3=\"e\" f\n4=\"\n6= 'g' \n";
    const struct {
        std::string strText;
        const char* pszSection;
        const char* pszKey;
        std::string strValue;
    } cases[] = {
        {"[List]\r\nName=x\r\n", "LIST", "name", "x"},  {"[List]\r\nName=x\r\n", "lis", "name", ""},
        {strRepeated, "list", "0", "first"},            {strRepeated, "list", "1", ""},
        {"; c\n[list]\n;0=c\n  ; 0=x\n1=b;c\n", "list", "0", ""},
        {"; c\n[list]\n1=b;c\n", "list", "1", "b;c"},   {"  [ list ]  \n\t 0 \t=  a  b \t\n", "list", "0", "a  b"},
        {strQuotes, "list", "0", "  a b  "},            {strQuotes, "list", "1", "c"},
        {strQuotes, "list", "2", "\"d'"},               {strQuotes, "list", "3", "\"e\" f"},
        {strQuotes, "list", "6", "g"},
        {"\xEF\xBB\xBF[list]\r\n0=a\r\n", "list", "0", "a"},
        {"[list]\n\xEF\xBB\xBF" "0=a\n", "list", "0", ""},
        {"[list]\n0=" + std::string(5000, 'x'), "list", "0", std::string(4095, 'x')},
        {"0=a\n[list]\n", "list", "0", ""},              {"[list]\n0\n0=late\n", "list", "0", ""},
        {std::string("[list]\n0=a\0b\n", 13), "list", "0", std::string("a\0b", 3)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CIniFile::Parse(c.strText).GetProfileString(c.pszSection, c.pszKey), c.strValue) << c.strText;
}

class ProfileTest : public ::testing::Test {
protected:
    CTempDir dir;
    CProfileName profile{"nuvik.INI", false, dir / "config/nuvik"};
    CFakeFileChooser chooser;
    CFaultyFileSystem files;
    CSetList hosts;
    const std::string strPath = dir / "config/nuvik/nuvik.INI";

    void SetUp() override { hosts.AttachProfile(&profile, &chooser, &files); }
    void WriteProfile(const std::string& strText)
    {
        fs::create_directories(dir / "config/nuvik");
        WriteBytes(strPath, strText);
    }
    List Load(const std::string& strText)  // into a list holding "X"
    {
        WriteProfile(strText);
        hosts.RemoveAll();
        hosts.AddTail("X");
        hosts.LoadProfile();
        return {hosts.begin(), hosts.end()};
    }
    // Only the profile is in its directory: no temporary file is left.
    void ExpectProfileAlone() { EXPECT_EQ(std::distance(fs::directory_iterator(dir / "config/nuvik"), {}), 1); }
};

TEST_F(ProfileTest, LoadAppendsTrimmedValuesFromKeyZeroToTheFirstGap)
{
    EXPECT_EQ(Load("[list]\r\n0=\" A 1 1 \t\"\r\n1=B\r\n3=D\r\n"), List({"X", "A 1 1", "B"}));  // quoted blanks too
    EXPECT_EQ(Load("[list]\r\n1=B\r\n"), List{"X"});
    EXPECT_EQ(Load("[list]\r\n0=A\r\n[list]\r\n1=B\r\n"), List({"X", "A"}));  // a repeated section adds nothing
}

TEST_F(ProfileTest, SaveWritesTheListAndReplacesTheFileKeepingItsMode)
{
    const mode_t nOldMask = umask(0);
    const auto mode = [](const std::string& strFile) { return fs::status(strFile).permissions() & fs::perms::mask; };
    for (const char* psz : {"C 3 3", "A 1 1", "B 2 2"})
        hosts.AddTail(psz);
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(strPath), "[list]\r\n0=C 3 3\r\n1=A 1 1\r\n2=B 2 2\r\n");
    EXPECT_EQ(mode(dir / "config/nuvik"), fs::perms(0700));
    EXPECT_EQ(mode(strPath), fs::perms(0600));  // a new address book is private
    fs::permissions(strPath, fs::perms(0640));
    // Also without unnamed files, or without a way to name one (no /proc).
    for (const char* pszMissing : {"tmpfile", "link"}) {
        files.failures = {{pszMissing, EOPNOTSUPP}};
        ASSERT_TRUE(hosts.SaveProfile().bOk) << pszMissing;
        EXPECT_EQ(mode(strPath), fs::perms(0640)) << pszMissing;
        ExpectProfileAlone();
    }
    umask(nOldMask);
    files.failures.clear();
    hosts.RemoveAll();  // an empty list leaves no file
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_FALSE(fs::exists(strPath));
}

TEST_F(ProfileTest, AFailedOrKilledSaveLeavesThePreviousFileAndNothingElse)
{
    const std::string strOld = "[list]\r\n0=OLD 1 1\r\n; kept byte for byte\r\n";
    hosts.AddTail("NEW 2 2");
    for (const char* pszOp : {"open", "write", "fsync", "close", "rename"}) {
        WriteProfile(strOld);
        files.failures = {{pszOp, ENOSPC}};
        EXPECT_EQ(hosts.SaveProfile().strError, strPath + ": No space left on device") << pszOp;
        EXPECT_EQ(ReadBytes(strPath), strOld);
        ExpectProfileAlone();
    }
    struct CDying : CPosixFileSystem {
        ssize_t Write(int, const void*, size_t) override { return ::raise(SIGKILL); }
    } dying;
    EXPECT_EXIT(WriteFileAtomic(dying, strPath, "[list]\r\n"), ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(ReadBytes(strPath), strOld);
    ExpectProfileAlone();
    // The file reaches the disk before the rename.
    files.failures.clear();
    files.ops.clear();
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_LT(std::find(files.ops.begin(), files.ops.end(), "fsync"), std::find(files.ops.begin(), files.ops.end(), "rename"));
}

TEST_F(ProfileTest, ASymbolicLinkStaysEvenWhenItDangles)
{
    fs::create_directories(dir / "config/nuvik");
    fs::create_symlink("../../kept.ini", strPath);  // relative to the link
    hosts.AddTail("A 1 1");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(dir / "kept.ini"), "[list]\r\n0=A 1 1\r\n");
    hosts.RemoveAll();  // an empty list empties the file it names
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_TRUE(fs::is_symlink(strPath));
    EXPECT_EQ(ReadBytes(dir / "kept.ini"), "[list]\r\n");
}

TEST_F(ProfileTest, AProfileThatIsThereButCanNotBeReadIsKept)
{
    fs::create_directories(dir / "config/nuvik");
    const struct {
        std::function<bool()> make;  // false: this system can't make it
        std::string strReason;
    } cases[] = {
        {[&] { return mkfifo(strPath.c_str(), 0600) == 0; }, "is a FIFO, not a regular file"},
        {[&] { return MakeZeroDevice(dir / "zero") && (fs::create_symlink(dir / "zero", strPath), true); },
         "is a character device, not a regular file"},
        {[&] { return fs::create_directory(strPath); }, "Is a directory"},
        {[&] { return WriteProfile(""), fs::resize_file(strPath, kProfileSizeLimit + 1), true; },
         "is larger than 16 MiB, more than an address book can be"},
        {[&] { return WriteProfile("[list]\r\n0=A 1 1\r\n"), files.failures["read"] = EIO, true; }, "Input/output error"},
    };
    for (const auto& c : cases) {
        fs::remove_all(strPath);
        files.failures.clear();
        if (!c.make())
            continue;
        const fs::file_type type = fs::symlink_status(strPath).type();
        CSetList loaded;
        loaded.AttachProfile(&profile, &chooser, &files);
        loaded.LoadProfile();
        files.failures.clear();
        EXPECT_EQ(loaded.LoadStatus().strError, strPath + ": " + c.strReason);
        EXPECT_TRUE(loaded.IsProfileUnread());
        loaded.AddTail("NEW 2 2");
        EXPECT_FALSE(loaded.SaveProfile().bOk);
        loaded.RemoveAll();
        EXPECT_FALSE(loaded.SaveProfile().bOk);
        EXPECT_EQ(fs::symlink_status(strPath).type(), type) << c.strReason;
    }
    // A missing file, or a link to one, holds nothing that could be lost.
    fs::remove_all(strPath);
    fs::create_symlink(dir / "nowhere.ini", strPath);
    hosts.LoadProfile();
    EXPECT_FALSE(hosts.IsProfileUnread());
    // The largest file read, and no descriptor left open by a read.
    WriteBytes(dir / "full.ini", "");
    fs::resize_file(dir / "full.ini", kProfileSizeLimit);
    const int hBefore = dup(0);
    close(hBefore);
    std::string strData;
    EXPECT_TRUE(ReadWholeFile(files, dir / "full.ini", strData).bOk);
    const int hAfter = dup(0);
    close(hAfter);
    EXPECT_EQ(hAfter, hBefore);
}

} // namespace
