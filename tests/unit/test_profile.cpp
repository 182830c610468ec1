// The profile file: where it is, what a save writes, what a load reads,
// atomic replacement, and export and import through the file chooser.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
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

List Entries(const CSetList& hosts)
{
    return {hosts.begin(), hosts.end()};
}

List DirectoryNames(const std::string& strDir)
{
    List names;
    for (const auto& entry : fs::directory_iterator(strDir))
        names.push_back(entry.path().filename().string());
    return names;
}

class ProfileTest : public ::testing::Test {
protected:
    CTempDir dir;
    CScopedEnv xdg{"XDG_CONFIG_HOME", dir / "config"};
    CProfileName profile = CProfileName::Default("nuvik");
    CFakeFileChooser chooser;
    CFaultyFileSystem files;
    CSetList hosts;

    void SetUp() override
    {
        ASSERT_FALSE(dir.Path().empty());
        hosts.AttachProfile(&profile, &chooser, &files);
    }

    std::string DefaultPath() const { return dir / "config/nuvik/nuvik.INI"; }

    void WriteProfile(const std::string& strText)
    {
        fs::create_directories(dir / "config/nuvik");
        WriteBytes(DefaultPath(), strText);
    }
    // Only the profile is left in its directory: no temporary file.
    void ExpectProfileAlone() { EXPECT_EQ(DirectoryNames(dir / "config/nuvik"), List{"nuvik.INI"}); }
};

// --- Where the profile is -------------------------------------------------

TEST(ProfileName, DefaultLivesInTheConfigurationDirectory)
{
    CScopedEnv home("HOME", "/home/tester");
    {
        CScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere/cfg");
        EXPECT_EQ(CProfileName::Default("nuvik").Path(), "/somewhere/cfg/nuvik/nuvik.INI");
    }
    CScopedEnv xdg("XDG_CONFIG_HOME", "");  // empty counts as unset
    EXPECT_EQ(CProfileName::Default("wol").Path(), "/home/tester/.config/nuvik/wol.INI");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ConfigDirectory(), "/home/tester/.config/nuvik");
}

TEST_F(ProfileTest, SelectReadsFromTheCurrentDirectoryAppendsAndRedirectsSaves)
{
    const fs::path old = fs::current_path();
    fs::current_path(dir.Path());
    WriteBytes(dir / "hosts.ini", "[list]\r\n0=B 2 2\r\n");
    WriteProfile("[list]\r\n0=WRONG 1 1\r\n");  // neither the default profile...
    WriteBytes(dir / "config/nuvik/hosts.ini", "[list]\r\n0=WRONG 1 1\r\n");  // ...nor its namesake is read
    hosts.AddTail("X 0 0");
    EXPECT_EQ(hosts.SelectProfile("hosts.ini"), 0);
    EXPECT_EQ(hosts.ProfilePath(), "hosts.ini");
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
    struct stat st{};  // the directory was made for it, private to the user
    ASSERT_EQ(stat((dir / "config/nuvik").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ExpectProfileAlone();

    CSetList loaded;
    loaded.AttachProfile(&profile, nullptr, &files);
    loaded.LoadProfile();
    EXPECT_EQ(Entries(loaded), (List{"C", "A", "B"}));
}

TEST_F(ProfileTest, SaveRewritesEverythingAndAnEmptyListRemovesTheFile)
{
    WriteProfile("[other]\r\nx=1\r\n[list]\r\n0=A\r\n1=B\r\n2=C\r\n5=old\r\n");
    hosts.LoadProfile();
    hosts.RemoveHost("B");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=A\r\n1=C\r\n");

    hosts.RemoveAll();
    EXPECT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_FALSE(fs::exists(DefaultPath()));
    EXPECT_TRUE(hosts.SaveProfile().bOk);  // no file is no error
}

TEST_F(ProfileTest, LoadReadsKeysFromZeroAppendingTrimmedValues)
{
    const struct {
        const char* pszRule;
        std::string strText;
        List before, after;
    } cases[] = {
        {"stops at a gap", "[list]\r\n0=A\r\n1=B\r\n3=D\r\n", {}, {"A", "B"}},
        {"stops at an empty key", "[list]\r\n0=\r\n1=B\r\n", {}, {}},
        {"starts at 0", "[list]\r\n1=B\r\n", {}, {}},
        {"trims, keeps duplicates", "[list]\r\n0=  PC1 1 1 \t\r\n1=\" \tPC2 2 2\v\"\r\n2=PC1 1 1\r\n", {},
         {"PC1 1 1", "PC2 2 2", "PC1 1 1"}},
        {"appends", "[list]\r\n0=A\r\n1=B\r\n", {"X"}, {"X", "A", "B"}},
        {"other sections, LF", "[settings]\n0=no\n[list]\n0=A\n1=B\n[more]\n2=C\n", {}, {"A", "B"}},
        {"BOM", "\xEF\xBB\xBF[LIST]\r\n0=A\r\n", {}, {"A"}},
        {"cap", "[list]\r\n0=" + std::string(5000, 'z') + "\r\n1=B\r\n", {}, {std::string(4095, 'z'), "B"}},
    };
    for (const auto& c : cases) {
        WriteProfile(c.strText);
        CSetList loaded;
        loaded.AttachProfile(&profile, &chooser, &files);
        for (const auto& strEntry : c.before)
            loaded.AddTail(strEntry);
        EXPECT_EQ(loaded.LoadProfile(), 0) << c.pszRule;
        EXPECT_EQ(Entries(loaded), c.after) << c.pszRule;
    }
}

TEST_F(ProfileTest, MissingOrUnreadableFileLoadsNothing)
{
    EXPECT_EQ(hosts.LoadProfile(), 0);
    EXPECT_TRUE(hosts.IsEmpty());
    WriteProfile("[list]\r\n0=A\r\n");
    files.failures["read"] = EIO;
    EXPECT_EQ(hosts.LoadProfile(), 0);
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
        const CFileStatus status = hosts.SaveProfile();
        EXPECT_FALSE(status.bOk);
        EXPECT_EQ(status.strError, DefaultPath() + ": No space left on device");
        EXPECT_EQ(ReadBytes(DefaultPath()), strOld);
        ExpectProfileAlone();
    }
    files.failures.clear();
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=NEW 2 2\r\n");
}

TEST_F(ProfileTest, SaveSyncsTheFileBeforeTheRenameAndTheDirectoryAfter)
{
    hosts.AddTail("A");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    const auto fsync = std::find(files.ops.begin(), files.ops.end(), "fsync");
    const auto rename = std::find(files.ops.begin(), files.ops.end(), "rename");
    ASSERT_NE(rename, files.ops.end());
    EXPECT_LT(fsync, rename);
    EXPECT_NE(std::find(rename, files.ops.end(), "fsync"), files.ops.end());
}

TEST_F(ProfileTest, FailuresOutsideTheWriteAreReported)
{
    WriteProfile("[list]\r\n0=A\r\n");
    files.failures["unlink"] = EACCES;  // removal of the file for an empty list
    EXPECT_EQ(hosts.SaveProfile().strError, DefaultPath() + ": Permission denied");

    // A plain file where the configuration directory should be: no one,
    // not even root, can create the profile below it.
    files.failures.clear();
    fs::remove_all(dir / "config");
    WriteBytes(dir / "config", "not a directory");
    hosts.AddTail("A");
    const CFileStatus status = hosts.SaveProfile();
    EXPECT_FALSE(status.bOk);
    EXPECT_NE(status.strError.find(dir / "config"), std::string::npos) << status.strError;
    EXPECT_EQ(ReadBytes(dir / "config"), "not a directory");
}

// --- Export and import ----------------------------------------------------

TEST_F(ProfileTest, ExportSavesFirstThenCopiesOverTheChosenFile)
{
    hosts.AddTail("A 1 1");
    CDialogOutcome outcome = hosts.ExportProfile();  // cancelled: still saved
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_TRUE(outcome.status.bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=A 1 1\r\n");

    WriteBytes(dir / "out.ini", "old contents");
    chooser.answer = dir / "out.ini";
    outcome = hosts.ExportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_TRUE(outcome.status.bOk) << outcome.status.strError;
    EXPECT_EQ(ReadBytes(dir / "out.ini"), "[list]\r\n0=A 1 1\r\n");  // replaced without asking

    const CFileDialogRequest& request = chooser.requests.at(1);
    EXPECT_FALSE(request.bOpen);
    EXPECT_EQ(request.strInitialName, "nuvik.ini");
    EXPECT_EQ(request.strDefaultExtension, "ini");
    EXPECT_EQ(request.filters.size(), 2u);
}

TEST_F(ProfileTest, ExportReportsAFailedSaveOrCopy)
{
    hosts.AddTail("A 1 1");
    chooser.answer = dir / "no-such-dir/out.ini";
    CDialogOutcome outcome = hosts.ExportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(outcome.status.strError, dir / "no-such-dir/out.ini: No such file or directory");

    files.failures["rename"] = EROFS;
    outcome = hosts.ExportProfile();
    EXPECT_EQ(outcome.nResult, 0);  // the save failed: nothing was asked
    EXPECT_EQ(outcome.status.strError, DefaultPath() + ": Read-only file system");
    EXPECT_EQ(chooser.requests.size(), 1u);
}

TEST_F(ProfileTest, ImportCopiesTheFileAndReloads)
{
    hosts.AddTail("UNSAVED 0 0");
    WriteBytes(dir / "in.ini", "[list]\n0=A 1 1\n1=B 2 2\n");
    chooser.answer = dir / "in.ini";
    const CDialogOutcome outcome = hosts.ImportProfile();  // also makes the configuration directory
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_TRUE(outcome.status.bOk) << outcome.status.strError;
    EXPECT_EQ(Entries(hosts), (List{"A 1 1", "B 2 2"}));
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\n0=A 1 1\n1=B 2 2\n");  // a copy, byte for byte
    ASSERT_EQ(chooser.requests.size(), 1u);
    EXPECT_TRUE(chooser.requests[0].bOpen);
    EXPECT_EQ(chooser.requests[0].strInitialName, "nuvik.ini");

    WriteBytes(dir / "in.ini", "[other]\r\n0=A\r\n");  // a file without a list empties it
    EXPECT_EQ(hosts.ImportProfile().nResult, 1);
    EXPECT_TRUE(hosts.IsEmpty());
}

TEST_F(ProfileTest, CancelledOrFailedImportLeavesListAndFile)
{
    hosts.AddTail("X");
    WriteProfile("[list]\r\n0=OLD\r\n");
    EXPECT_EQ(hosts.ImportProfile().nResult, 0);
    EXPECT_EQ(Entries(hosts), List{"X"});
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=OLD\r\n");

    chooser.answer = dir / "missing.ini";
    CDialogOutcome outcome = hosts.ImportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(outcome.status.strError, dir / "missing.ini: No such file or directory");
    EXPECT_EQ(Entries(hosts), List{"X"});

    WriteBytes(dir / "in.ini", "[list]\r\n0=NEW\r\n");
    chooser.answer = dir / "in.ini";
    files.failures["write"] = ENOSPC;
    outcome = hosts.ImportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(outcome.status.strError, DefaultPath() + ": No space left on device");
    EXPECT_EQ(Entries(hosts), List{"X"});
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=OLD\r\n");
    ExpectProfileAlone();
}

} // namespace
