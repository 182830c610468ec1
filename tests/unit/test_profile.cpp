// The profile file: where it is, what a save writes, what a load reads,
// atomic replacement, and export and import through the file chooser.
#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "fakes/FakeFileChooser.h"
#include "fakes/FaultyFileSystem.h"
#include "fakes/TempDir.h"
#include "hosts/FileSystem.h"
#include "hosts/ProfileName.h"
#include "hosts/SetList.h"

namespace fs = std::filesystem;

namespace {

using List = std::vector<std::string>;

List Entries(const CSetList& hosts) { return {hosts.begin(), hosts.end()}; }

class ProfileTest : public ::testing::Test {
protected:
    CTempDir dir;
    CScopedEnv xdg{"XDG_CONFIG_HOME", dir / "config"};
    CProfileName profile = CProfileName::Default("nuvik");
    CFakeFileChooser chooser;
    CFaultyFileSystem files;
    CSetList hosts;

    void SetUp() override { hosts.AttachProfile(&profile, &chooser, &files); }
    std::string DefaultPath() const { return dir / "config/nuvik/nuvik.INI"; }

    void WriteProfile(const std::string& strText)
    {
        fs::create_directories(dir / "config/nuvik");
        WriteBytes(DefaultPath(), strText);
    }
    // Only the profile is left in its directory: no temporary file.
    void ExpectProfileAlone() { EXPECT_EQ(std::distance(fs::directory_iterator(dir / "config/nuvik"), {}), 1); }
};

// --- Where the profile is -------------------------------------------------

TEST(ProfileName, DefaultLivesInTheConfigurationDirectory)
{
    CScopedEnv home("HOME", "/home/tester");
    CScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere/cfg");
    EXPECT_EQ(CProfileName::Default("nuvik").Path(), "/somewhere/cfg/nuvik/nuvik.INI");
    for (const char* pszUnset : {"", "cfg", "./cfg"}) {  // empty and relative count as unset
        setenv("XDG_CONFIG_HOME", pszUnset, 1);
        EXPECT_EQ(CProfileName::Default("wol").Path(), "/home/tester/.config/nuvik/wol.INI") << pszUnset;
    }
    setenv("HOME", "tester", 1);  // nor is a relative home a place
    EXPECT_EQ(CProfileName::Default("wol").Path(), std::string(getpwuid(getuid())->pw_dir) + "/.config/nuvik/wol.INI");
}

TEST_F(ProfileTest, SelectReadsFromTheCurrentDirectoryAppendsAndRedirectsSaves)
{
    const fs::path old = fs::current_path();
    fs::current_path(dir.Path());
    WriteBytes(dir / "hosts.ini", "[list]\r\n0=B 2 2\r\n");
    WriteProfile("[list]\r\n0=WRONG 1 1\r\n");
    hosts.AddTail("X 0 0");
    EXPECT_EQ(hosts.SelectProfile("hosts.ini"), 0);
    const bool bSaved = hosts.SaveProfile().bOk;
    fs::current_path(old);
    EXPECT_TRUE(bSaved);
    EXPECT_EQ(Entries(hosts), (List{"X 0 0", "B 2 2"}));
    EXPECT_EQ(ReadBytes(dir / "hosts.ini"), "[list]\r\n0=X 0 0\r\n1=B 2 2\r\n");
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=WRONG 1 1\r\n");
}

// --- Save and load ----------------------------------------------------------

TEST_F(ProfileTest, SaveWritesExactlyTheListInOrder)
{
    for (const char* psz : {"C", "A", "B"})
        hosts.AddTail(psz);
    const CFileStatus status = hosts.SaveProfile();
    ASSERT_TRUE(status.bOk) << status.strError;
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=C\r\n1=A\r\n2=B\r\n");
    EXPECT_EQ(fs::status(dir / "config/nuvik").permissions(), fs::perms::owner_all);  // made private
    ExpectProfileAlone();

    CSetList loaded;
    loaded.AttachProfile(&profile, nullptr, &files);
    loaded.LoadProfile();
    EXPECT_EQ(Entries(loaded), (List{"C", "A", "B"}));
}

TEST_F(ProfileTest, SaveThroughASymbolicLinkKeepsTheLinkEvenWhenItDangles)
{
    fs::create_directories(dir / "config/nuvik");
    fs::create_symlink("../../kept.ini", DefaultPath());  // dangling, relative to the link
    hosts.AddTail("A 1 1");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(dir / "kept.ini"), "[list]\r\n0=A 1 1\r\n");
    hosts.RemoveAll();  // an empty list empties the file, and the link stays
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_TRUE(fs::is_symlink(DefaultPath()));
    EXPECT_EQ(ReadBytes(dir / "kept.ini"), "[list]\r\n");
}

TEST_F(ProfileTest, ReplacedFilesKeepTheirModeAndNewOnesArePrivate)
{
    const mode_t nOldMask = umask(0);
    const auto mode = [](const std::string& strPath) { return fs::status(strPath).permissions() & fs::perms::mask; };
    hosts.AddTail("A 1 1");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(mode(DefaultPath()), fs::perms(0600));
    fs::permissions(DefaultPath(), fs::perms(0640));
    // Also without unnamed files, or without a way to name one (no /proc).
    for (const char* pszMissing : {"", "tmpfile", "link"}) {
        files.failures = {{pszMissing, EOPNOTSUPP}};
        ASSERT_TRUE(hosts.SaveProfile().bOk) << pszMissing;
        EXPECT_EQ(mode(DefaultPath()), fs::perms(0640)) << pszMissing;
        ExpectProfileAlone();
    }
    WriteBytes(dir / "shared.ini", "old");
    fs::permissions(dir / "shared.ini", fs::perms(0604));
    for (const char* pszName : {"shared.ini", "new.ini"}) {
        chooser.answer = dir / pszName;
        ASSERT_TRUE(hosts.ExportProfile().status.bOk);
    }
    umask(nOldMask);
    EXPECT_EQ(mode(dir / "shared.ini"), fs::perms(0604));
    EXPECT_EQ(mode(dir / "new.ini"), fs::perms(0600));
}

TEST_F(ProfileTest, AProfileThatIsThereButCanNotBeReadIsKept)
{
    fs::create_directories(dir / "config/nuvik");
    const std::string strPath = DefaultPath();
    const struct {
        std::function<void()> make;
        std::string strReason;
    } cases[] = {
        {[&] { ASSERT_EQ(mkfifo(strPath.c_str(), 0600), 0); }, "is a FIFO, not a regular file"},
        {[&] { fs::create_symlink("/dev/zero", strPath); }, "is a character device, not a regular file"},
        {[&] { fs::create_directory(strPath); }, "Is a directory"},
        {[&] {
             WriteBytes(strPath, "[list]\r\n");
             fs::resize_file(strPath, kProfileSizeLimit + 1);
         },
         "is larger than 16 MiB, more than an address book can be"},
        {[&] {
             WriteProfile("[list]\r\n0=A 1 1\r\n");
             files.failures["read"] = EIO;
         },
         "Input/output error"},
    };
    for (const auto& c : cases) {
        fs::remove_all(strPath);
        files.failures.clear();
        c.make();
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
    EXPECT_EQ(hosts.LoadProfile(), 0);
    EXPECT_FALSE(hosts.IsProfileUnread());
    EXPECT_EQ(hosts.LoadStatus().nError, ENOENT);
}

TEST_F(ProfileTest, SaveRewritesEverythingAndAnEmptyListRemovesTheFile)
{
    WriteProfile("[other]\r\nx=1\r\n[list]\r\n0=A\r\n1=B\r\n2=C\r\n5=old\r\n");
    hosts.LoadProfile();
    hosts.RemoveHost("B");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=A\r\n1=C\r\n");

    hosts.RemoveAll();
    files.failures["unlink"] = EACCES;
    EXPECT_EQ(hosts.SaveProfile().strError, DefaultPath() + ": Permission denied");
    files.failures.clear();
    EXPECT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_FALSE(fs::exists(DefaultPath()));
    EXPECT_TRUE(hosts.SaveProfile().bOk);  // no file is no error
}

TEST_F(ProfileTest, LoadReadsKeysFromZeroAppendingTrimmedValues)
{
    const struct {
        const char* pszRule;
        std::string strText;
        List after;  // loaded into [X]
    } cases[] = {
        {"stops at a gap", "[list]\r\n0=A\r\n1=B\r\n3=D\r\n", {"X", "A", "B"}},
        {"stops at an empty key", "[list]\r\n0=\r\n1=B\r\n", {"X"}},
        {"starts at 0", "[list]\r\n1=B\r\n", {"X"}},
        {"trims, keeps duplicates", "[list]\r\n0=  PC1 1 1 \t\r\n1=\" \tPC2 2 2\v\"\r\n2=PC1 1 1\r\n",
         {"X", "PC1 1 1", "PC2 2 2", "PC1 1 1"}},
        {"other sections, LF", "[settings]\n0=no\n[list]\n0=A\n1=B\n[more]\n2=C\n", {"X", "A", "B"}},
        {"BOM", "\xEF\xBB\xBF[LIST]\r\n0=A\r\n", {"X", "A"}},
        {"cap", "[list]\r\n0=" + std::string(5000, 'z') + "\r\n1=B\r\n", {"X", std::string(4095, 'z'), "B"}},
        {"unreadable", "", {"X"}},  // the read fails
    };
    for (const auto& c : cases) {
        WriteProfile(c.strText);
        files.failures.clear();
        if (c.strText.empty())
            files.failures["read"] = EIO;
        CSetList loaded;
        loaded.AttachProfile(&profile, &chooser, &files);
        loaded.AddTail("X");
        EXPECT_EQ(loaded.LoadProfile(), 0) << c.pszRule;
        EXPECT_EQ(Entries(loaded), c.after) << c.pszRule;
    }
    fs::remove(DefaultPath());
    EXPECT_EQ(hosts.LoadProfile(), 0);  // a missing file loads nothing
    EXPECT_TRUE(hosts.IsEmpty());
}

// --- Atomic save ----------------------------------------------------------

TEST_F(ProfileTest, FailedSaveLeavesThePreviousFileAndReportsWhy)
{
    const std::string strOld = "[list]\r\n0=OLD 1 1\r\n; kept byte for byte\r\n";
    hosts.AddTail("NEW 2 2");
    for (const char* pszOp : {"open", "write", "fsync", "close", "rename"}) {
        SCOPED_TRACE(pszOp);
        WriteProfile(strOld);
        files.failures = {{pszOp, ENOSPC}};
        EXPECT_EQ(hosts.SaveProfile().strError, DefaultPath() + ": No space left on device");
        EXPECT_EQ(ReadBytes(DefaultPath()), strOld);
        ExpectProfileAlone();
    }
    // A save killed midway leaves no temporary file that a later one trips on.
    struct CDying : CPosixFileSystem {
        ssize_t Write(int, const void*, size_t) override { return ::raise(SIGKILL); }
    } dying;
    EXPECT_EXIT(WriteFileAtomic(dying, DefaultPath(), "[list]\r\n"), ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(ReadBytes(DefaultPath()), strOld);
    ExpectProfileAlone();

    files.failures.clear();
    files.ops.clear();
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=NEW 2 2\r\n");
    // The file reaches the disk before the rename, the directory after it.
    const auto rename = std::find(files.ops.begin(), files.ops.end(), "rename");
    EXPECT_LT(std::find(files.ops.begin(), files.ops.end(), "fsync"), rename);
    EXPECT_NE(std::find(rename, files.ops.end(), "fsync"), files.ops.end());
}

// --- Export and import ----------------------------------------------------

TEST_F(ProfileTest, ExportSavesFirstThenCopiesOverTheChosenFile)
{
    hosts.AddTail("A 1 1");
    EXPECT_EQ(hosts.ExportProfile().nResult, 0);  // cancelled: still saved
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=A 1 1\r\n");

    WriteBytes(dir / "out.ini", "old contents");
    chooser.answer = dir / "out.ini";
    CDialogOutcome outcome = hosts.ExportProfile();
    EXPECT_EQ((std::tuple(outcome.nResult, outcome.status.strError)), std::tuple(1, ""));
    EXPECT_EQ(ReadBytes(dir / "out.ini"), "[list]\r\n0=A 1 1\r\n");  // replaced without asking
    const CFileDialogRequest& request = chooser.requests.at(1);
    EXPECT_EQ((std::tuple(request.bOpen, request.strInitialName, request.strDefaultExtension)),
              (std::tuple(false, "nuvik.ini", "ini")));

    chooser.answer = dir / "no-such-dir/out.ini";
    EXPECT_EQ(hosts.ExportProfile().status.strError, dir / "no-such-dir/out.ini: No such file or directory");
    files.failures["rename"] = EROFS;
    outcome = hosts.ExportProfile();  // the save fails: nothing is asked
    EXPECT_EQ((std::tuple(outcome.nResult, outcome.status.strError)),
              std::tuple(0, DefaultPath() + ": Read-only file system"));
    EXPECT_EQ(chooser.requests.size(), 3u);

    files.failures.clear();
    hosts.RemoveAll();
    chooser.answer = dir / "empty.ini";
    EXPECT_TRUE(hosts.ExportProfile().status.bOk);
    EXPECT_EQ(ReadBytes(dir / "empty.ini"), "[list]\r\n");
}

TEST_F(ProfileTest, ImportCopiesTheFileAndReloads)
{
    hosts.AddTail("UNSAVED 0 0");
    WriteBytes(dir / "in.ini", "[list]\n0=A 1 1\n1=B 2 2\n");
    chooser.answer = dir / "in.ini";
    const CDialogOutcome outcome = hosts.ImportProfile();  // also makes the configuration directory
    EXPECT_EQ((std::tuple(outcome.nResult, outcome.status.strError)), std::tuple(1, ""));
    EXPECT_EQ(Entries(hosts), (List{"A 1 1", "B 2 2"}));
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\n0=A 1 1\n1=B 2 2\n");  // a copy, byte for byte
    EXPECT_TRUE(chooser.requests.at(0).bOpen);
}

TEST_F(ProfileTest, CancelledOrFailedImportLeavesListAndFile)
{
    hosts.AddTail("X");
    WriteProfile("[list]\r\n0=OLD\r\n");
    EXPECT_EQ(hosts.ImportProfile().nResult, 0);
    chooser.answer = dir / "missing.ini";
    EXPECT_EQ(hosts.ImportProfile().status.strError, dir / "missing.ini: No such file or directory");
    WriteBytes(dir / "in.ini", "[list]\r\n0=NEW\r\n");
    chooser.answer = dir / "in.ini";
    files.failures["write"] = ENOSPC;
    EXPECT_EQ(hosts.ImportProfile().status.strError, DefaultPath() + ": No space left on device");
    EXPECT_EQ(Entries(hosts), List{"X"});
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=OLD\r\n");
    ExpectProfileAlone();
}

} // namespace
