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

std::vector<std::string> Entries(const CSetList& hosts)
{
    return {hosts.begin(), hosts.end()};
}

std::vector<std::string> DirectoryNames(const std::string& strDir)
{
    std::vector<std::string> names;
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

    std::vector<std::string> Load(const std::string& strText)
    {
        WriteProfile(strText);
        CSetList loaded;
        loaded.AttachProfile(&profile, &chooser, &files);
        EXPECT_EQ(loaded.LoadProfile(), 0);
        return Entries(loaded);
    }
};

// --- Where the profile is -------------------------------------------------

TEST(ProfileName, DefaultLivesInTheConfigurationDirectory)
{
    {
        CScopedEnv xdg("XDG_CONFIG_HOME", "/somewhere/cfg");
        const CProfileName profile = CProfileName::Default("nuvik");
        EXPECT_EQ(profile.strName, "nuvik.INI");
        EXPECT_EQ(profile.Path(), "/somewhere/cfg/nuvik/nuvik.INI");
    }
    for (const char* pszXdg : {static_cast<const char*>(""), static_cast<const char*>(nullptr)}) {
        CScopedEnv home("HOME", "/home/tester");
        CScopedEnv xdg("XDG_CONFIG_HOME", pszXdg ? pszXdg : "");
        if (!pszXdg)
            unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(ConfigDirectory(), "/home/tester/.config/nuvik");
        EXPECT_EQ(CProfileName::Default("wol").Path(), "/home/tester/.config/nuvik/wol.INI");
    }
}

TEST_F(ProfileTest, SelectedNameIsAPathFromTheCurrentDirectory)
{
    const fs::path old = fs::current_path();
    fs::current_path(dir.Path());
    WriteBytes(dir / "hosts.ini", "[list]\r\n0=A 1 1\r\n");
    WriteProfile("[list]\r\n0=WRONG 1 1\r\n");  // same name in the configuration directory must not be read
    WriteBytes(dir / "config/nuvik/hosts.ini", "[list]\r\n0=WRONG 1 1\r\n");
    EXPECT_EQ(hosts.SelectProfile("hosts.ini"), 0);
    fs::current_path(old);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"A 1 1"}));
    EXPECT_EQ(hosts.ProfilePath(), "hosts.ini");
}

TEST_F(ProfileTest, SelectAppendsAndLaterSavesGoToTheSelectedFile)
{
    WriteBytes(dir / "b.ini", "[list]\r\n0=B 2 2\r\n");
    hosts.AddTail("X 0 0");
    hosts.SelectProfile(dir / "b.ini");
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"X 0 0", "B 2 2"}));
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(dir / "b.ini"), "[list]\r\n0=X 0 0\r\n1=B 2 2\r\n");
    EXPECT_FALSE(fs::exists(DefaultPath()));
}

// --- Save -----------------------------------------------------------------

TEST_F(ProfileTest, SaveWritesExactlyTheListInOrder)
{
    for (const char* psz : {"C", "A", "B"})
        hosts.AddTail(psz);
    const CFileStatus status = hosts.SaveProfile();
    ASSERT_TRUE(status.bOk) << status.strError;
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=C\r\n1=A\r\n2=B\r\n");
    // The configuration directory was made for it, private to the user.
    struct stat st{};
    ASSERT_EQ(stat((dir / "config/nuvik").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Nothing else is left beside it.
    EXPECT_EQ(DirectoryNames(dir / "config/nuvik"), (std::vector<std::string>{"nuvik.INI"}));

    CSetList loaded;
    loaded.AttachProfile(&profile, nullptr, &files);
    loaded.LoadProfile();
    EXPECT_EQ(Entries(loaded), (std::vector<std::string>{"C", "A", "B"}));
}

TEST_F(ProfileTest, SaveRewritesEverythingAndRenumbers)
{
    WriteProfile("[other]\r\nx=1\r\n[list]\r\n0=A\r\n1=B\r\n2=C\r\n5=old\r\n");
    hosts.LoadProfile();
    hosts.RemoveHost("B");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=A\r\n1=C\r\n");
}

TEST_F(ProfileTest, SavingAnEmptyListRemovesTheFile)
{
    WriteProfile("[list]\r\n0=A\r\n");
    EXPECT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_FALSE(fs::exists(DefaultPath()));
    EXPECT_TRUE(hosts.SaveProfile().bOk);  // no file is no error
    hosts.LoadProfile();
    EXPECT_TRUE(hosts.IsEmpty());
}

// --- Load -----------------------------------------------------------------

TEST_F(ProfileTest, LoadStopsAtTheFirstMissingOrEmptyKey)
{
    EXPECT_EQ(Load("[list]\r\n0=A\r\n1=B\r\n3=D\r\n"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(Load("[list]\r\n0=\r\n1=B\r\n"), (std::vector<std::string>{}));
    EXPECT_EQ(Load("[list]\r\n1=B\r\n"), (std::vector<std::string>{}));
}

TEST_F(ProfileTest, LoadTrimsValuesAndKeepsDuplicates)
{
    EXPECT_EQ(Load("[list]\r\n0=  PC1 1 1 \t\r\n1=\" \tPC2 2 2\v\"\r\n2=PC1 1 1\r\n"),
              (std::vector<std::string>{"PC1 1 1", "PC2 2 2", "PC1 1 1"}));
}

TEST_F(ProfileTest, LoadAppendsToWhatTheListHolds)
{
    WriteProfile("[list]\r\n0=A\r\n1=B\r\n");
    hosts.AddTail("X");
    hosts.LoadProfile();
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"X", "A", "B"}));
}

TEST_F(ProfileTest, LoadReadsFilesOthersWrote)
{
    EXPECT_EQ(Load("[settings]\n0=no\n[list]\n0=A\n1=B\n[more]\n2=C\n"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(Load("\xEF\xBB\xBF[LIST]\r\n0=A\r\n"), (std::vector<std::string>{"A"}));
    const auto cut = Load("[list]\r\n0=" + std::string(5000, 'z') + "\r\n1=B\r\n");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0], std::string(4095, 'z'));
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
        EXPECT_EQ(DirectoryNames(dir / "config/nuvik"), (std::vector<std::string>{"nuvik.INI"}));  // no temporary file left
    }
    files.failures.clear();
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=NEW 2 2\r\n");
}

TEST_F(ProfileTest, SaveSyncsTheFileBeforeTheRename)
{
    hosts.AddTail("A");
    ASSERT_TRUE(hosts.SaveProfile().bOk);
    const auto fsync = std::find(files.ops.begin(), files.ops.end(), "fsync");
    const auto rename = std::find(files.ops.begin(), files.ops.end(), "rename");
    ASSERT_NE(fsync, files.ops.end());
    ASSERT_NE(rename, files.ops.end());
    EXPECT_LT(fsync, rename);
    EXPECT_NE(std::find(rename, files.ops.end(), "fsync"), files.ops.end());  // and the directory after it
}

TEST_F(ProfileTest, UnwritableConfigurationDirectoryIsReported)
{
    // A regular file where the configuration directory should be: no one,
    // not even root, can create the profile below it.
    WriteBytes(dir / "config", "not a directory");
    hosts.AddTail("A");
    const CFileStatus status = hosts.SaveProfile();
    EXPECT_FALSE(status.bOk);
    EXPECT_NE(status.strError.find(dir / "config"), std::string::npos) << status.strError;
    EXPECT_EQ(ReadBytes(dir / "config"), "not a directory");
}

TEST_F(ProfileTest, FailedRemovalOfTheFileIsReported)
{
    WriteProfile("[list]\r\n0=A\r\n");
    files.failures["unlink"] = EACCES;
    const CFileStatus status = hosts.SaveProfile();
    EXPECT_FALSE(status.bOk);
    EXPECT_EQ(status.strError, DefaultPath() + ": Permission denied");
}

// --- Export and import ----------------------------------------------------

TEST_F(ProfileTest, ExportAsksToSaveAFileAndCopiesTheSavedProfile)
{
    hosts.AddTail("A 1 1");
    WriteBytes(dir / "out.ini", "old contents");
    chooser.answer = dir / "out.ini";
    const CDialogOutcome outcome = hosts.ExportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_TRUE(outcome.status.bOk) << outcome.status.strError;
    EXPECT_EQ(ReadBytes(dir / "out.ini"), "[list]\r\n0=A 1 1\r\n");  // replaced without asking
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=A 1 1\r\n");

    ASSERT_EQ(chooser.requests.size(), 1u);
    const CFileDialogRequest& request = chooser.requests[0];
    EXPECT_FALSE(request.bOpen);
    EXPECT_EQ(request.strInitialName, "nuvik.ini");
    EXPECT_EQ(request.strDefaultExtension, "ini");
    EXPECT_EQ(request.filters.size(), 2u);
}

TEST_F(ProfileTest, CancelledExportStillSaved)
{
    hosts.AddTail("A 1 1");
    const CDialogOutcome outcome = hosts.ExportProfile();
    EXPECT_EQ(outcome.nResult, 0);
    EXPECT_TRUE(outcome.status.bOk);
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=A 1 1\r\n");
}

TEST_F(ProfileTest, ExportReportsAFailedSaveOrCopy)
{
    hosts.AddTail("A 1 1");
    chooser.answer = dir / "no-such-dir/out.ini";
    CDialogOutcome outcome = hosts.ExportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_FALSE(outcome.status.bOk);
    EXPECT_EQ(outcome.status.strError, dir / "no-such-dir/out.ini: No such file or directory");

    files.failures["rename"] = EROFS;
    outcome = hosts.ExportProfile();
    EXPECT_EQ(outcome.nResult, 0);  // the save failed: nothing was asked
    EXPECT_EQ(outcome.status.strError, DefaultPath() + ": Read-only file system");
    EXPECT_EQ(chooser.requests.size(), 1u);
}

TEST_F(ProfileTest, ImportReplacesTheProfileAndReloads)
{
    hosts.AddTail("UNSAVED 0 0");
    WriteProfile("[list]\r\n0=OLD\r\n");
    WriteBytes(dir / "in.ini", "[list]\n0=A 1 1\n1=B 2 2\n");
    chooser.answer = dir / "in.ini";
    const CDialogOutcome outcome = hosts.ImportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_TRUE(outcome.status.bOk) << outcome.status.strError;
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"A 1 1", "B 2 2"}));
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\n0=A 1 1\n1=B 2 2\n");  // a copy, byte for byte
    ASSERT_EQ(chooser.requests.size(), 1u);
    EXPECT_TRUE(chooser.requests[0].bOpen);
    EXPECT_EQ(chooser.requests[0].strInitialName, "nuvik.ini");
}

TEST_F(ProfileTest, ImportCreatesTheConfigurationDirectory)
{
    WriteBytes(dir / "in.ini", "[list]\r\n0=A\r\n");
    chooser.answer = dir / "in.ini";
    EXPECT_TRUE(hosts.ImportProfile().status.bOk);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"A"}));
}

TEST_F(ProfileTest, ImportOfAFileWithoutListEmptiesTheList)
{
    hosts.AddTail("X");
    WriteBytes(dir / "in.ini", "[other]\r\n0=A\r\n");
    chooser.answer = dir / "in.ini";
    const CDialogOutcome outcome = hosts.ImportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_TRUE(hosts.IsEmpty());
}

TEST_F(ProfileTest, FailedImportCopyLeavesListAndFileAndReports)
{
    hosts.AddTail("X");
    WriteProfile("[list]\r\n0=OLD\r\n");
    chooser.answer = dir / "missing.ini";
    CDialogOutcome outcome = hosts.ImportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_FALSE(outcome.status.bOk);
    EXPECT_EQ(outcome.status.strError, dir / "missing.ini: No such file or directory");
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"X"}));

    WriteBytes(dir / "in.ini", "[list]\r\n0=NEW\r\n");
    chooser.answer = dir / "in.ini";
    files.failures["write"] = ENOSPC;
    outcome = hosts.ImportProfile();
    EXPECT_EQ(outcome.nResult, 1);
    EXPECT_EQ(outcome.status.strError, DefaultPath() + ": No space left on device");
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"X"}));
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=OLD\r\n");
    EXPECT_EQ(DirectoryNames(dir / "config/nuvik"), (std::vector<std::string>{"nuvik.INI"}));
}

TEST_F(ProfileTest, CancelledImportChangesNothing)
{
    hosts.AddTail("X");
    WriteProfile("[list]\r\n0=OLD\r\n");
    EXPECT_EQ(hosts.ImportProfile().nResult, 0);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"X"}));
    EXPECT_EQ(ReadBytes(DefaultPath()), "[list]\r\n0=OLD\r\n");
}

} // namespace
