#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/disk.h"
#include "platform/file_info.h"
#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

namespace fs = std::filesystem;
using korvel::testing::entriesOf;
using korvel::testing::modeOf;
using korvel::testing::readFile;
using korvel::testing::TempDir;

// Wraps the real disk and makes one chosen step fail. Steps on file descriptors only fail for the files
// under watch: the temporary files made by mkstemp and the files opened under "watchedPath".
class FaultyDisk : public Disk {
  public:
    enum class Fault { None, ShortWriteThenFail, Write, Fsync, Fchmod, Close, RenameReplace };

    Fault fault = Fault::None;
    int error = EIO;
    bool watchTemps = true;
    std::string watchedPath;                 // files opened under this path are watched too...
    int watchedOpens = 1000;                 // ...the first so many times
    std::vector<std::string> refuseTempsIn;  // mkstemp fails with EACCES for templates in these directories

    int open(const char* path, int flags, mode_t mode) override {
        const int fd = Disk::open(path, flags, mode);
        if (fd >= 0 && !watchedPath.empty() && watchedPath == path && watchedOpens-- > 0) watched_.insert(fd);
        return fd;
    }
    int mkstemp(char* pathTemplate) override {
        for (const std::string& dir : refuseTempsIn) {
            if (std::string_view(pathTemplate).starts_with(dir + "/")) {
                errno = EACCES;
                return -1;
            }
        }
        const int fd = Disk::mkstemp(pathTemplate);
        if (fd >= 0 && watchTemps) watched_.insert(fd);
        return fd;
    }
    ssize_t write(int fd, const void* data, std::size_t size) override {
        if (watched_.count(fd)) {
            if (fault == Fault::Write) return failWith();
            if (fault == Fault::ShortWriteThenFail) {
                if (wroteShort_.count(fd)) return failWith();
                wroteShort_.insert(fd);
                return Disk::write(fd, data, size > 1 ? size / 2 : size);
            }
        }
        return Disk::write(fd, data, size);
    }
    int fsync(int fd) override {
        if (fault == Fault::Fsync && watched_.count(fd)) return failWith();
        return Disk::fsync(fd);
    }
    int fchmod(int fd, mode_t mode) override {
        if (fault == Fault::Fchmod && watched_.count(fd)) return failWith();
        return Disk::fchmod(fd, mode);
    }
    int close(int fd) override {
        const bool fails = fault == Fault::Close && watched_.count(fd);
        watched_.erase(fd);
        wroteShort_.erase(fd);
        const int result = Disk::close(fd);
        return fails ? failWith() : result;
    }
    int renameReplace(const char* from, const char* to) override {
        if (fault == Fault::RenameReplace) return failWith();
        return Disk::renameReplace(from, to);
    }

  private:
    int failWith() {
        errno = error;
        return -1;
    }
    std::set<int> watched_;
    std::set<int> wroteShort_;
};

// Points $TMPDIR at a directory of its own for one test, so that what is left there can be seen.
class TmpdirScope {
  public:
    explicit TmpdirScope(const std::string& dir) : var_("TMPDIR", dir) {}

  private:
    korvel::testing::EnvVar var_;
};

// --- renameNoReplace ---

TEST(RenameNoReplace, RefusesAnExistingTargetAndChangesNeither) {
    struct Case {
        const char* name;
        bool fromIsDir;
        bool toIsDir;
    };
    for (const Case& c : {Case{"file onto file", false, false}, Case{"dir onto dir", true, true},
                          Case{"file onto dir", false, true}, Case{"dir onto file", true, false}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string from = c.fromIsDir ? dir.mkdir("from") : dir.write("from", "old bytes\r\n");
        const std::string to = c.toIsDir ? dir.mkdir("to") : dir.write("to", "other bytes\n");
        // An empty target directory is the case a plain rename(2) would silently replace.
        if (c.fromIsDir) dir.write("from/inside", "kept");

        const std::error_code ec = renameNoReplace(from, to);

        EXPECT_EQ(ec, std::errc::file_exists);
        if (c.fromIsDir) {
            EXPECT_EQ(readFile(dir.file("from/inside")), "kept");
        } else {
            EXPECT_EQ(readFile(from), "old bytes\r\n");
        }
        if (c.toIsDir) {
            EXPECT_TRUE(fs::is_directory(to));
            EXPECT_TRUE(fs::is_empty(to));
        } else {
            EXPECT_EQ(readFile(to), "other bytes\n");
        }
    }
}

TEST(RenameNoReplace, RefusesADanglingLinkAsTarget) {
    TempDir dir;
    const std::string from = dir.write("from", "data");
    const std::string to = dir.file("to");
    ASSERT_EQ(::symlink("nowhere", to.c_str()), 0);

    EXPECT_EQ(renameNoReplace(from, to), std::errc::file_exists);
    EXPECT_TRUE(fs::is_symlink(to));
    EXPECT_EQ(readFile(from), "data");
}

TEST(RenameNoReplace, MovesIntoAnotherDirectory) {
    TempDir dir;
    const std::string from = dir.write("a/page.htm", "<p>x</p>");
    dir.mkdir("b");

    ASSERT_FALSE(renameNoReplace(from, dir.file("b/page.html")));

    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(readFile(dir.file("b/page.html")), "<p>x</p>");
}

TEST(RenameNoReplace, MovesADirectoryWithItsContents) {
    TempDir dir;
    dir.write("old/sub/f.txt", "f");

    ASSERT_FALSE(renameNoReplace(dir.file("old"), dir.file("new")));

    EXPECT_FALSE(fs::exists(dir.file("old")));
    EXPECT_EQ(readFile(dir.file("new/sub/f.txt")), "f");
}

TEST(RenameNoReplace, ChangesOnlyTheCase) {
    TempDir dir;
    const std::string from = dir.write("Index.htm", "home");

    ASSERT_FALSE(renameNoReplace(from, dir.file("index.htm")));

    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"index.htm"});
    EXPECT_EQ(readFile(dir.file("index.htm")), "home");
}

TEST(RenameNoReplace, RefusesACaseOnlyRenameWhenBothTwinsExist) {
    TempDir dir;
    const std::string upper = dir.write("Index.htm", "upper");
    const std::string lower = dir.write("index.htm", "lower");

    EXPECT_EQ(renameNoReplace(upper, lower), std::errc::file_exists);

    EXPECT_EQ(readFile(upper), "upper");
    EXPECT_EQ(readFile(lower), "lower");
}

TEST(RenameNoReplace, RefusesAHardLinkOfTheSameFile) {
    // Same inode, but a second name of its own: renaming onto it would lose that name.
    TempDir dir;
    const std::string from = dir.write("Page.htm", "p");
    const std::string twin = dir.file("page.htm");
    ASSERT_EQ(::link(from.c_str(), twin.c_str()), 0);

    EXPECT_EQ(renameNoReplace(from, twin), std::errc::file_exists);

    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"Page.htm", "page.htm"}));
}

TEST(RenameNoReplace, RefusesRenamingOntoItself) {
    TempDir dir;
    const std::string from = dir.write("same", "s");
    EXPECT_EQ(renameNoReplace(from, from), std::errc::file_exists);
    EXPECT_EQ(readFile(from), "s");
}

TEST(RenameNoReplace, ReportsAMissingSource) {
    TempDir dir;
    EXPECT_EQ(renameNoReplace(dir.file("none"), dir.file("other")), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(fs::exists(dir.file("other")));
}

// --- replaceFileContents ---

TEST(ReplaceFileContents, WritesTheExactContentAndKeepsTheMode) {
    const std::string big(3 * 1024 * 1024 + 7, 'x');
    struct Case {
        mode_t mode;
        std::string content;
    };
    // The set-id bits catch an owner change made after the mode: changing the owner clears them.
    for (const Case& c : {Case{0640, "line\r\nline\r\n"}, Case{0755, "#!/bin/sh\n"}, Case{0600, ""},
                          Case{0444, std::string("nul\0byte", 8)}, Case{0644, big}, Case{04755, "suid"},
                          Case{02750, "sgid"}}) {
        SCOPED_TRACE(c.mode);
        TempDir dir;
        const std::string path = dir.write("page.htm", "the old content, longer than some new ones\n");
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);

        ASSERT_FALSE(replaceFileContents(path, c.content));

        EXPECT_EQ(readFile(path), c.content);
        EXPECT_EQ(modeOf(path), c.mode);
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"page.htm"});  // no ".el_" left
    }
}

TEST(ReplaceFileContents, KeepsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another owner";
    TempDir dir;
    const std::string path = dir.write("page.htm", "old");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);

    ASSERT_FALSE(replaceFileContents(path, "new"));

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST(ReplaceFileContents, WorksOnARelativePathInTheCurrentDirectory) {
    TempDir dir;
    dir.write("rel.txt", "before");
    const auto previous = fs::current_path();
    fs::current_path(dir.path());
    const std::error_code ec = replaceFileContents("rel.txt", "after");
    fs::current_path(previous);

    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(readFile(dir.file("rel.txt")), "after");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"rel.txt"});
}

TEST(ReplaceFileContents, AFailureAtAnyStepLeavesTheOriginalWhole) {
    using Fault = FaultyDisk::Fault;
    struct Case {
        const char* name;
        Fault fault;
        int error;
    };
    const std::string original = "original <a href=\"x.htm\">\r\n" + std::string(100000, 'o');
    for (const Case& c : {Case{"short write, then disk full", Fault::ShortWriteThenFail, ENOSPC},
                          Case{"write", Fault::Write, EIO}, Case{"fsync", Fault::Fsync, EIO},
                          Case{"fchmod", Fault::Fchmod, EPERM}, Case{"close", Fault::Close, EDQUOT},
                          Case{"rename", Fault::RenameReplace, EBUSY}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("page.htm", original);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        FaultyDisk faulty;
        faulty.fault = c.fault;
        faulty.error = c.error;

        std::error_code ec;
        {
            DiskScope scope(faulty);
            ec = replaceFileContents(path, "new content that must not appear");
        }

        EXPECT_EQ(ec, std::error_code(c.error, std::system_category()));
        EXPECT_EQ(readFile(path), original);
        EXPECT_EQ(modeOf(path), 0640u);
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"page.htm"});
    }
}

TEST(ReplaceFileContents, RefusesASymbolicLinkAndLeavesItsTargetAlone) {
    TempDir dir;
    const std::string target = dir.write("shared.css", "body{}\r\n");
    const std::string link = dir.file("style.css");
    ASSERT_EQ(::symlink("shared.css", link.c_str()), 0);

    const std::error_code ec = replaceFileContents(link, "body{}\n");

    EXPECT_EQ(ec, FileError::IsSymlink);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "body{}\r\n");
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"shared.css", "style.css"}));
}

TEST(ReplaceFileContents, RefusesWhatIsNotAnExistingRegularFile) {
    TempDir dir;
    dir.mkdir("sub");
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);

    EXPECT_EQ(replaceFileContents(dir.file("missing"), "x"), std::errc::no_such_file_or_directory);
    EXPECT_EQ(replaceFileContents(dir.file("sub"), "x"), std::errc::is_a_directory);
    EXPECT_EQ(replaceFileContents(fifo, "x"), std::errc::invalid_argument);
    EXPECT_FALSE(fs::exists(dir.file("missing")));
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"pipe", "sub"}));
}

TEST(ReplaceFileContents, NeverRewritesInPlaceWhereNoTemporaryCanBeMadeBesideTheFile) {
    TempDir dir;
    const std::string path = dir.write("site/page.htm", "old");
    ASSERT_EQ(::chmod(dir.file("site").c_str(), 0555), 0);

    const std::error_code ec = testing::asUnprivileged(dir, [&] { return replaceFileContents(path, "new"); });

    ::chmod(dir.file("site").c_str(), 0755);
    EXPECT_EQ(ec, FileError::NoTemporaryBeside);
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(entriesOf(dir.file("site")), std::vector<std::string>{"page.htm"});
}

TEST(ReplaceFileContents, RefusesAReplacementThatCannotKeepTheOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a file that belongs to another user";
    TempDir dir;
    const std::string path = dir.write("site/page.htm", "root's page");
    ::chmod(dir.file("site").c_str(), 0777);  // another user may put a new file in its place

    const std::error_code ec = testing::asUnprivileged(dir, [&] { return replaceFileContents(path, "new"); });

    EXPECT_EQ(ec, FileError::OwnerNotKept);
    EXPECT_EQ(readFile(path), "root's page");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(entriesOf(dir.file("site")), std::vector<std::string>{"page.htm"});
}

// Another program writes the file between the reading and the replacement: its edit stays.
TEST(ReplaceFileContents, LeavesAFileThatChangedSinceItWasRead) {
    for (const bool batched : {false, true}) {
        SCOPED_TRACE(batched);
        TempDir dir;
        const std::string path = dir.write("page.htm", "as read");
        FileStamp readAs;
        {
            ReadFile file;
            ASSERT_FALSE(file.open(path));
            ASSERT_FALSE(file.stamp(readAs));
        }
        std::vector<std::error_code> failed;
        std::error_code ec;
        {
            std::optional<ReplaceBatch> batch;
            if (batched)
                batch.emplace([] { return true; },
                              [&](const std::string&, std::error_code e) { failed.push_back(e); });
            ReplaceOptions options;
            options.readAs = &readAs;
            if (!batched) dir.write("page.htm", "edited elsewhere");
            ec = replaceFileContents(path, "from what was read", options);
            if (batched) dir.write("page.htm", "edited elsewhere");
        }

        EXPECT_EQ(batched ? failed : std::vector<std::error_code>{ec},
                  std::vector<std::error_code>{make_error_code(FileError::ChangedSinceRead)});
        EXPECT_EQ(readFile(path), "edited elsewhere");
        EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"page.htm"});
    }
}

TEST(ReplaceFileContents, ReplacesAFileWithOtherNamesOnlyWhenAskedToSplitIt) {
    for (const bool split : {false, true}) {
        SCOPED_TRACE(split);
        TempDir dir;
        const std::string path = dir.write("page.htm", "old");
        const std::string other = dir.file("other.htm");
        ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
        ReplaceOptions options;
        options.splitHardLinks = split;

        const std::error_code ec = replaceFileContents(path, "new", options);

        EXPECT_EQ(ec, split ? std::error_code{} : make_error_code(FileError::HardLinked));
        EXPECT_EQ(readFile(path), split ? "new" : "old");
        EXPECT_EQ(readFile(other), "old");
    }
}

// --- createFile ---

// A disk whose file-system flush fails.
class NoSyncDisk : public Disk {
  public:
    int syncfs(int) override {
        errno = EIO;
        return -1;
    }
};

TEST(ReplaceBatch, StagedContentTakesItsPlaceOnlyAtTheCommitWithTheModeKept) {
    TempDir dir;
    const std::string a = dir.write("a.html", "old a");
    const std::string b = dir.write("sub/b.html", "old b");
    const std::string c = dir.write("c.html", "old c");
    ::chmod(b.c_str(), 0640);
    std::vector<std::string> failed;
    int barriers = 0;
    {
        ReplaceBatch batch([&] { return ++barriers > 0; },
                           [&](const std::string& path, std::error_code) { failed.push_back(path); }, 2);
        EXPECT_FALSE(replaceFileContents(a, "new a"));
        EXPECT_EQ(readFile(a), "old a");  // staged, not yet in place
        EXPECT_FALSE(replaceFileContents(b, "new b"));
        EXPECT_EQ(barriers, 0);
        EXPECT_FALSE(replaceFileContents(c, "new c"));  // the third one commits the first two
        EXPECT_EQ(barriers, 1);
        EXPECT_EQ(readFile(a), "new a");
        EXPECT_EQ(readFile(b), "new b");
        EXPECT_EQ(readFile(c), "old c");
    }
    EXPECT_EQ(barriers, 2);
    EXPECT_EQ(readFile(c), "new c");
    EXPECT_EQ(modeOf(b), 0640u);
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"a.html", "c.html", "sub"}));
    EXPECT_EQ(ReplaceBatch::current(), nullptr);
}

TEST(ReplaceBatch, AFailedFlushOrBarrierLeavesEveryOriginalAndNoTemporaryFile) {
    for (const bool failFlush : {true, false}) {
        TempDir dir;
        const std::string a = dir.write("a.html", "old a");
        const std::string b = dir.write("b.html", "old b");
        std::vector<std::string> failed;
        NoSyncDisk noSync;
        std::optional<DiskScope> scope;
        if (failFlush) scope.emplace(noSync);
        {
            ReplaceBatch batch([&] { return failFlush; },
                               [&](const std::string& path, std::error_code) { failed.push_back(path); });
            EXPECT_FALSE(replaceFileContents(a, "new a"));
            EXPECT_FALSE(replaceFileContents(b, "new b"));
        }
        EXPECT_EQ(readFile(a), "old a");
        EXPECT_EQ(readFile(b), "old b");
        EXPECT_EQ(failed, (std::vector<std::string>{a, b}));
        EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"a.html", "b.html"}));
    }
}

TEST(CreateFile, WritesANewFileWithTheMode) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    const std::error_code ec = createFile(dir.file("new.txt"), std::string("a\0b", 3), 0640);
    ::umask(oldMask);

    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(readFile(dir.file("new.txt")), std::string("a\0b", 3));
    EXPECT_EQ(modeOf(dir.file("new.txt")), 0640u);
}

TEST(CreateFile, NeverTouchesAnExistingFile) {
    TempDir dir;
    const std::string path = dir.write("there.txt", "precious");

    EXPECT_EQ(createFile(path, "other"), std::errc::file_exists);
    EXPECT_EQ(readFile(path), "precious");
}

TEST(CreateFile, RemovesAFileItCouldNotComplete) {
    TempDir dir;
    const std::string path = dir.file("half.txt");
    FaultyDisk faulty;
    faulty.fault = FaultyDisk::Fault::ShortWriteThenFail;
    faulty.error = ENOSPC;
    faulty.watchedPath = path;

    std::error_code ec;
    {
        DiskScope scope(faulty);
        ec = createFile(path, "0123456789");
    }

    EXPECT_EQ(ec, std::errc::no_space_on_device);
    EXPECT_FALSE(fs::exists(path));
}

// --- TempFile ---

TEST(TempFile, LivesAsLongAsItsOwner) {
    TempDir dir;
    std::string path;
    {
        TempFile temp;
        ASSERT_FALSE(temp.create(dir.path(), "el_"));
        path = temp.path();
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(dir.path()));
        EXPECT_TRUE(fs::path(path).filename().string().starts_with("el_"));
        ASSERT_FALSE(temp.write("abc"));
        ASSERT_FALSE(temp.write("def"));
        ASSERT_FALSE(temp.flush());
        EXPECT_EQ(readFile(path), "abcdef");
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(TempFile, DefaultsToTheTemporaryDirectory) {
    TempDir tmp;
    TmpdirScope scope(tmp.path());
    TempFile temp;
    ASSERT_FALSE(temp.create());
    EXPECT_EQ(fs::path(temp.path()).parent_path(), fs::path(tmp.path()));
}

TEST(TempFile, ReleasedFileStays) {
    TempDir dir;
    std::string path;
    {
        TempFile temp;
        ASSERT_FALSE(temp.create(dir.path()));
        ASSERT_FALSE(temp.write("keep"));
        path = temp.release();
        EXPECT_TRUE(temp.path().empty());
    }
    EXPECT_EQ(readFile(path), "keep");
}

TEST(TempFile, MovingHandsOverTheFile) {
    TempDir dir;
    TempFile second;
    std::string path;
    {
        TempFile first;
        ASSERT_FALSE(first.create(dir.path()));
        path = first.path();
        second = std::move(first);
    }
    EXPECT_TRUE(fs::exists(path));  // the moved-from one did not remove it
    EXPECT_EQ(second.path(), path);
    ASSERT_FALSE(second.write("moved"));
    EXPECT_EQ(readFile(path), "moved");
}

TEST(TempFile, MovingOntoAnotherRemovesTheOneReplaced) {
    TempDir dir;
    TempFile kept;
    TempFile dropped;
    ASSERT_FALSE(kept.create(dir.path()));
    ASSERT_FALSE(dropped.create(dir.path()));
    const std::string keptPath = kept.path();
    const std::string droppedPath = dropped.path();

    dropped = std::move(kept);

    EXPECT_FALSE(fs::exists(droppedPath));
    EXPECT_TRUE(fs::exists(keptPath));
    EXPECT_EQ(dropped.path(), keptPath);
}

// --- directories and removal ---

TEST(Directories, MakeAndRemove) {
    TempDir dir;
    const std::string sub = dir.file("sub");
    ASSERT_FALSE(makeDirectory(sub));
    EXPECT_EQ(makeDirectory(sub), std::errc::file_exists);
    EXPECT_EQ(makeDirectory(dir.file("no/parent")), std::errc::no_such_file_or_directory);

    dir.write("sub/f", "f");
    EXPECT_EQ(removeEmptyDirectory(sub), std::errc::directory_not_empty);
    EXPECT_EQ(readFile(dir.file("sub/f")), "f");

    ASSERT_FALSE(removeFile(dir.file("sub/f")));
    EXPECT_FALSE(fs::exists(dir.file("sub/f")));
    ASSERT_FALSE(removeEmptyDirectory(sub));
    EXPECT_FALSE(fs::exists(sub));
    EXPECT_EQ(removeFile(dir.file("gone")), std::errc::no_such_file_or_directory);
}

}  // namespace
}  // namespace korvel::platform
