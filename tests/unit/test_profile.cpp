// The profile file: where it is, how it is read, what a save writes and how
// it replaces the old file, and export and import.
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fakes/Fakes.h"
#include "hosts/BookLock.h"
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
        EXPECT_EQ(CProfileName::Default("wol").Path(), "/home/tester/.config/nuvik/wol.INI")
            << pszUnset;
    }
    setenv("HOME", "tester", 1);
    EXPECT_EQ(CProfileName::Default("wol").Path(),
              std::string(getpwuid(getuid())->pw_dir) + "/.config/nuvik/wol.INI");
}

class ProfileTest : public ::testing::Test {
protected:
    CTempDir dir;
    CProfileName profile{"nuvik.INI", false, dir / "config/nuvik"};
    CFaultyFileSystem files;
    CSetList hosts;
    const std::string strPath = dir / "config/nuvik/nuvik.INI";

    void SetUp() override { hosts.AttachProfile(&profile, &files); }
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
    // Only the profile (and its lock) is in its directory: no temporary file is left.
    void ExpectProfileAlone()
    {
        EXPECT_EQ(std::count_if(fs::directory_iterator(dir / "config/nuvik"), {},
                                [](auto& entry) { return entry.path().extension() != ".lock"; }),
                  1);
    }
    // The descriptor the next open gets: the same again when nothing was left open.
    static int NextDescriptor()
    {
        const int h = dup(0);
        return close(h), h;
    }
};

// What the list does not carry is counted and named, so that a save that
// would drop it can ask.
TEST_F(ProfileTest, LoadAppendsTrimmedValuesFromKeyZeroToTheFirstGapAndNamesTheRest)
{
    const struct {
        const char* pszText;
        List entries, leftovers;
        size_t nLeftovers;
    } cases[] = {
        {"[list]\r\n0=\" A 1 1 \t\"\r\n1=B\r\n3=D\r\n",
         {"X", "A 1 1", "B"},
         {"[list] 3"},
         1},  // quoted blanks too
        {"[list]\r\n1=B\r\n", {"X"}, {"[list] 1"}, 1},
        {"[list]\r\n0=A\r\n[list]\r\n1=B\r\n", {"X", "A"}, {"[list] 1 (in a repeated section)"}, 1},
        {"k=v\n; note\n;\n[list]\n0=A\n12=C\nx=1\n00=Z\n2=\n0=dup\n[other]\n[More]\nk=v\n",
         {"X", "A"},
         {"[list] 2", "[list] 00", "[list] 12", "[list] x", "[list] 0 (a second time)", "[other]",
          "[more] k", "k (before any section)", "2 comment lines"},
         10},
        {"\n[LIST]\r0=A\r1=B\r\n", {"X", "A", "B"}, {}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.pszText), c.entries) << c.pszText;
        EXPECT_EQ(hosts.Leftovers().listing, c.leftovers) << c.pszText;
        EXPECT_EQ(hosts.Leftovers().nCount, c.nLeftovers) << c.pszText;
        EXPECT_EQ(hosts.ReplaceRisk(),
                  c.nLeftovers ? CSetList::EReplaceRisk::Leftovers : CSetList::EReplaceRisk::None);
    }
    // Another file put in its place, of the same size and time, is a change.
    fs::copy_file(strPath, dir / "copy");
    fs::last_write_time(dir / "copy", fs::last_write_time(strPath));
    fs::rename(dir / "copy", strPath);
    EXPECT_EQ(hosts.ReplaceRisk(), CSetList::EReplaceRisk::ChangedOnDisk);
}

TEST_F(ProfileTest, SaveWritesTheListAndReplacesTheFileKeepingItsModeAndOwner)
{
    const mode_t nOldMask = umask(0);
    const auto mode = [](const std::string& strFile) {
        return fs::status(strFile).permissions() & fs::perms::mask;
    };
    struct stat st { };
    const auto owner = [&](const std::string& strFile) {
        return stat(strFile.c_str(), &st) == 0 ? std::pair(st.st_uid, st.st_gid)
                                               : std::pair(~0u, ~0u);
    };
    for (const char* psz : {"C 3 3", "A 1 1", "\"Q 2 2\"", "'q'"})
        hosts.AddTail(psz);
    ASSERT_TRUE(hosts.SaveProfile().Ok());
    // A value wholly in quotes goes in one more pair: a load gives it back.
    EXPECT_EQ(ReadBytes(strPath),
              "[list]\r\n0=C 3 3\r\n1=A 1 1\r\n2=\"\"Q 2 2\"\"\r\n3=\"'q'\"\r\n");
    CSetList again;
    again.AttachProfile(&profile, &files);
    again.LoadProfile();
    EXPECT_EQ(List(again.begin(), again.end()), List(hosts.begin(), hosts.end()));
    EXPECT_EQ(mode(dir / "config/nuvik"), fs::perms(0700));
    EXPECT_EQ(mode(strPath), fs::perms(0600));  // a new address book is private
    // A mode that hid the book from its owner gains read and write; the
    // owner stays where the process may keep it (root).
    fs::permissions(strPath, fs::perms(0040));
    const bool bRoot = geteuid() == 0;
    if (bRoot)
        ASSERT_EQ(chown(strPath.c_str(), 4321, 4322), 0);
    const auto kOwner = owner(strPath);
    // Also without unnamed files, or without a way to name one (no /proc).
    const int hBefore = NextDescriptor();
    for (const char* pszMissing : {"tmpfile", "link", "none", "sync"}) {
        files.failures = {{pszMissing, EOPNOTSUPP}};
        ASSERT_TRUE(hosts.SaveProfile().Ok()) << pszMissing;
        EXPECT_EQ(mode(strPath), fs::perms(0640)) << pszMissing;
        EXPECT_EQ(owner(strPath), kOwner) << pszMissing;
        ExpectProfileAlone();
        if (bRoot)
            ASSERT_EQ(chown(strPath.c_str(), 4321, 4322), 0);
        fs::permissions(strPath, fs::perms(0040));
    }
    EXPECT_EQ(NextDescriptor(), hBefore);
    umask(nOldMask);
    files.failures.clear();
    hosts.RemoveAll();  // an empty list leaves no file
    ASSERT_TRUE(hosts.SaveProfile().Ok());
    EXPECT_FALSE(fs::exists(strPath));
    EXPECT_TRUE(hosts.SaveProfile().Ok());  // nor fails where there is none
}

TEST_F(ProfileTest, AFailedOrKilledSaveLeavesThePreviousFileAndNothingElse)
{
    const std::string strOld = "[list]\r\n0=OLD 1 1\r\n; kept byte for byte\r\n";
    hosts.AddTail("NEW 2 2");
    // A folder that refuses new files (EACCES) for a book that may be
    // written: the book is rewritten in place; never for a full disk.
    using Failures = std::map<std::string, int>;
    struct stat st { };
    const int hBefore = NextDescriptor();
    for (const auto& [failures, bSaved] : {std::pair{Failures{{"open", ENOSPC}}, false},
                                           {{{"write", ENOSPC}}, false},
                                           {{{"fsync", ENOSPC}}, false},
                                           {{{"close", ENOSPC}}, false},
                                           {{{"rename", ENOSPC}}, false},
                                           {{{"tmpfile", ENOSPC}, {"create", ENOSPC}}, false},
                                           {{{"tmpfile", EOPNOTSUPP}, {"write", ENOSPC}}, false},
                                           {{{"tmpfile", EACCES}, {"create", EACCES}}, true},
                                           {{{"tmpfile", EPERM}, {"create", EPERM}}, true}}) {
        WriteProfile(strOld);
        stat(strPath.c_str(), &st);
        const ino_t nInode = st.st_ino;
        files.failures = failures;
        EXPECT_EQ(hosts.SaveProfile(true).strError,
                  bSaved ? "" : strPath + ": No space left on device");
        EXPECT_EQ(ReadBytes(strPath), bSaved ? "[list]\r\n0=NEW 2 2\r\n" : strOld);
        EXPECT_EQ((stat(strPath.c_str(), &st), st.st_ino), nInode);  // in place, or not at all
        ExpectProfileAlone();
    }
    EXPECT_EQ(NextDescriptor(), hBefore);
    // A write that takes nothing fails; one that is interrupted goes on.
    files.failures.clear();
    files.bNoProgress = true;
    EXPECT_EQ(hosts.SaveProfile(true).strError, strPath + ": Input/output error");
    files.bNoProgress = false;
    files.nInterrupts = 3;
    EXPECT_TRUE(hosts.SaveProfile(true).Ok());
    // Nothing to write into: the folder's refusal is the failure.
    fs::remove(strPath);
    files.failures = {{"tmpfile", EACCES}, {"create", EACCES}};
    EXPECT_EQ(hosts.SaveProfile(true).strError, strPath + ": Permission denied");

    // Killed before its rename, with or without unnamed files; where there
    // are none, the hidden file left is removed by a save a minute later.
    WriteProfile(strOld);
    struct CDying : CPosixFileSystem {
        bool bTmpFile = true;
        int Open(const std::string& s, int n, mode_t m, int& h) override
        {
            return bTmpFile || !(n & O_DIRECTORY) ? CPosixFileSystem::Open(s, n, m, h) : EOPNOTSUPP;
        }
        int Write(int, const void*, size_t, size_t&) override { return ::raise(SIGKILL); }
    } dying;
    EXPECT_EXIT(WriteFileAtomic(dying, strPath, "[list]\r\n"), ::testing::KilledBySignal(SIGKILL),
                "");
    ExpectProfileAlone();
    dying.bTmpFile = false;
    umask(022);  // each test runs in a process of its own
    EXPECT_EXIT(WriteFileAtomic(dying, strPath, "[list]\r\n"), ::testing::KilledBySignal(SIGKILL),
                "");
    EXPECT_EQ(ReadBytes(strPath), strOld);
    fs::path left;
    for (const auto& entry : fs::directory_iterator(dir / "config/nuvik"))
        if (entry.path() != strPath && entry.path().extension() != ".lock")
            left = entry.path();
    EXPECT_EQ(fs::status(left).permissions(), fs::perms(0600));  // private from the start
    files.failures.clear();
    ASSERT_TRUE(hosts.SaveProfile(true).Ok());
    EXPECT_TRUE(fs::exists(left));  // it may be a save still running
    // Only nuvik's own naming for this file, only a regular file, and only
    // one older than a minute.
    const List decoys = {".nuvik.INI.0123456789abcdeg.tmp", ".nuvik.INI.0123456789ABCDEF.tmp",
                         ".nuvik.INI.0123456789abcde.tmp",  ".nuvik.INI.0123456789abcdef.tm",
                         ".other.0123456789abcdef.tmp",     "nuvik.INI.0123456789abcdef.tmp"};
    for (const std::string& strName : decoys)
        WriteBytes(dir / "config/nuvik/" + strName, "x");
    fs::create_directory(dir / "config/nuvik/.nuvik.INI.00000000000000ff.tmp");
    for (const auto& entry : fs::directory_iterator(dir / "config/nuvik"))
        fs::last_write_time(entry.path(),
                            fs::file_time_type::clock::now() - std::chrono::seconds(90));
    files.ops.clear();
    ASSERT_TRUE(hosts.SaveProfile(true).Ok());
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "config/nuvik"), {}), 9);  // and the lock
    // The file reaches the disk before the rename, and the rename after it.
    const auto At = [&](const std::string& strOp) {
        return std::find(files.ops.begin(), files.ops.end(), strOp);
    };
    EXPECT_LT(std::find_if(files.ops.begin(), files.ops.end(),
                           [](auto& s) { return s.starts_with("fsync:"); }),
              At("rename"));
    EXPECT_LT(At("rename"), At("fsync:" + dir / "config/nuvik"));
}

// Only a regular file is replaced, through links as named: a FIFO, a socket
// or a directory is refused, naming the final target, and nothing is written.
TEST_F(ProfileTest, ASymbolicLinkStaysEvenWhenItDanglesAndOnlyARegularFileIsReplaced)
{
    fs::create_directories(dir / "config/nuvik");
    fs::create_directories(dir / "sub");
    fs::create_symlink("../../sub/hop", strPath);  // each relative to its own link
    fs::create_symlink("kept.ini", dir / "sub/hop");
    hosts.AddTail("A 1 1");
    ASSERT_TRUE(hosts.SaveProfile().Ok());
    EXPECT_EQ(ReadBytes(dir / "sub/kept.ini"), "[list]\r\n0=A 1 1\r\n");
    EXPECT_EQ(
        std::count(files.ops.begin(), files.ops.end(), "fsync:" + dir / "config/nuvik/../../sub"),
        1);             // where it was renamed
    hosts.RemoveAll();  // an empty list empties the file it names
    ASSERT_TRUE(hosts.SaveProfile().Ok());
    EXPECT_TRUE(fs::is_symlink(strPath));
    EXPECT_EQ(ReadBytes(dir / "sub/kept.ini"), "[list]\r\n");
    fs::remove(dir / "sub/hop");
    fs::create_symlink(strPath, dir / "sub/hop");  // a loop: nothing is replaced
    EXPECT_EQ(hosts.SaveProfile(true).strError, strPath + ": Too many levels of symbolic links");
    EXPECT_TRUE(fs::is_symlink(strPath) && fs::is_symlink(dir / "sub/hop"));

    hosts.AddTail("A 1 1");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(mknod((dir / "socket").c_str(), S_IFSOCK | 0600, 0), 0);
    fs::create_directory(dir / "folder");
    for (const auto& [pszTarget, pszKind] :
         {std::pair{"fifo", "a FIFO"}, {"socket", "a socket"}, {"folder", "a directory"}}) {
        const fs::file_type type = fs::status(dir / pszTarget).type();
        const std::string strReason =
            std::string(": is ") + pszKind + ", not a regular file: nothing was written";
        fs::remove(strPath);
        fs::create_symlink(dir / pszTarget, strPath);
        EXPECT_EQ(hosts.SaveProfile(true).strError,
                  dir / pszTarget + " (where the link " + strPath + " leads)" + strReason);
        EXPECT_EQ(hosts.ExportProfile(dir / pszTarget).strError, dir / pszTarget + strReason);
        EXPECT_EQ(std::pair(fs::status(dir / pszTarget).type(), fs::is_symlink(strPath)),
                  std::pair(type, true))
            << pszKind;
    }
}

TEST_F(ProfileTest, AProfileThatIsThereButCanNotBeReadIsKept)
{
    fs::create_directories(dir / "config/nuvik");
    // make gives false where this system can't make it
    const struct {
        std::function<bool()> make;
        std::string strReason;
    } cases[] = {
        {[&] { return mkfifo(strPath.c_str(), 0600) == 0; }, "is a FIFO, not a regular file"},
        {[&] {
             return MakeZeroDevice(dir / "zero") &&
                 (fs::create_symlink(dir / "zero", strPath), true);
         },
         "is a character device, not a regular file"},
        {[&] { return fs::create_directory(strPath); }, "Is a directory"},
        {[&] { return WriteProfile(""), fs::resize_file(strPath, kProfileSizeLimit + 1), true; },
         "is larger than 16 MiB, more than an address book can be"},
        {[&] { return WriteProfile("[list]\r\n0=A 1 1\r\n"), files.failures["read"] = EIO, true; },
         "Input/output error"},
    };
    for (const auto& c : cases) {
        fs::remove_all(strPath);
        files.failures.clear();
        if (!c.make())
            continue;
        const fs::file_type type = fs::symlink_status(strPath).type();
        CSetList loaded;
        loaded.AttachProfile(&profile, &files);
        loaded.LoadProfile();
        files.failures.clear();
        EXPECT_EQ(loaded.LoadStatus().strError, strPath + ": " + c.strReason);
        EXPECT_TRUE(loaded.IsProfileUnread());
        loaded.AddTail("NEW 2 2");
        EXPECT_FALSE(loaded.SaveProfile().Ok());
        loaded.RemoveAll();
        EXPECT_FALSE(loaded.SaveProfile().Ok());
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
    const int hBefore = NextDescriptor();
    std::string strData;
    EXPECT_TRUE(ReadWholeFile(files, dir / "full.ini", strData).Ok());
    EXPECT_EQ(NextDescriptor(), hBefore);
    // A file that grows past the limit while it is read (its size says 0),
    // and nothing of it is kept.
    EXPECT_EQ(std::pair(ReadWholeFile(files, "/proc/self/status", strData, 64).nError, strData),
              std::pair(EFBIG, std::string()));
}

}  // namespace

// A change of the book waits for another one, a bounded while, then says why.
TEST_F(ProfileTest, ASaveWaitsForTheBooksLockAndLargerThanReadableIsRefused)
{
    fs::create_directories(dir / "config/nuvik");
    fs::create_directories(dir / "shared");
    fs::create_symlink(dir / "shared/book.ini", strPath);
    ASSERT_TRUE(hosts.LockProfile().Ok());  // through the link: beside the book itself
    CBookLock other;
    EXPECT_EQ(other.Take(files, dir / "shared/book.ini", 50).strError,
              dir / "shared/book.ini" +
                  ": another program is changing the address book (its lock " +
                  dir / "shared/.book.ini.lock was held for 0 s)");
    hosts.AddTail("A 1 1");
    ASSERT_TRUE(hosts.SaveProfile().Ok());  // the lock held is its own
    hosts.UnlockProfile();
    ASSERT_TRUE(other.Take(files, dir / "shared/book.ini", 50).Ok());
    // A folder that takes no new file: the book, rewritten in place, is locked itself.
    other.Release();
    struct CNoNewFiles : CPosixFileSystem {
        int Open(const std::string& s, int n, mode_t m, int& h) override
        {
            return n & O_CREAT ? EACCES : CPosixFileSystem::Open(s, n, m, h);
        }
    } noNewFiles;
    CBookLock onBook;
    ASSERT_TRUE(onBook.Take(noNewFiles, strPath, 50).Ok());
    EXPECT_EQ(other.Take(noNewFiles, strPath, 50).nError, EWOULDBLOCK);
    onBook.Release();
    hosts.AddTail(std::string(kProfileSizeLimit, 'n') + " 2 2");
    EXPECT_EQ(hosts.SaveProfile().nError, EFBIG);
    EXPECT_EQ(ReadBytes(dir / "shared/book.ini"), "[list]\r\n0=A 1 1\r\n");
}
