#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/disk.h"
#include "platform/file_info.h"
#include "support/env_var.h"
#include "support/faulty_disk.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

namespace fs = std::filesystem;
using korvel::testing::entriesOf;
using korvel::testing::modeOf;
using korvel::testing::readFile;
using korvel::testing::TempDir;
using Names = std::vector<std::string>;

// Fails one step on the temporary files a replacement makes (or, for the rename, any rename).
class FailingStep : public Disk {
  public:
    enum Step { Fsync, Fchmod, Close, Rename, SyncFs };
    FailingStep(Step step, int error) : step_(step), error_(error) {}

    int mkstemp(char* pathTemplate) override {
        const int fd = Disk::mkstemp(pathTemplate);
        temps_.insert(fd);
        return fd;
    }
    int fsync(int fd) override { return fails(Fsync, fd) ? fail() : Disk::fsync(fd); }
    int syncfs(int fd) override { return step_ == SyncFs ? fail() : Disk::syncfs(fd); }
    int fchmod(int fd, mode_t mode) override { return fails(Fchmod, fd) ? fail() : Disk::fchmod(fd, mode); }
    int close(int fd) override {
        const bool failing = fails(Close, fd);
        temps_.erase(fd);
        const int result = Disk::close(fd);
        return failing ? fail() : result;
    }
    int renameReplace(const char* from, const char* to) override {
        return step_ == Rename ? fail() : Disk::renameReplace(from, to);
    }

  private:
    bool fails(Step step, int fd) const { return step_ == step && temps_.count(fd); }
    int fail() const {
        errno = error_;
        return -1;
    }
    Step step_;
    int error_;
    std::set<int> temps_;
};

TEST(RenameNoReplace, RefusesEveryExistingTargetAndChangesNothing) {
    enum Kind { File, Dir, DanglingLink, HardLink, Itself, Missing };
    struct Case {
        const char* name;
        Kind from;
        Kind to;
        std::errc expected;
    };
    // The names differ in case only: a case-folding lookup must not take one for the other.
    for (const Case& c : {Case{"file onto file", File, File, std::errc::file_exists},
                          // An empty target directory is what a plain rename(2) would silently replace.
                          Case{"dir onto empty dir", Dir, Dir, std::errc::file_exists},
                          Case{"onto a dangling link", File, DanglingLink, std::errc::file_exists},
                          // Same inode, but a name of its own, which the rename would lose.
                          Case{"onto a hard link of itself", File, HardLink, std::errc::file_exists},
                          Case{"onto itself", File, Itself, std::errc::file_exists},
                          Case{"missing source", Missing, File, std::errc::no_such_file_or_directory}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string from = dir.file("Page.htm");
        if (c.from == File) dir.write("Page.htm", "old bytes\r\n");
        if (c.from == Dir) dir.write("Page.htm/inside", "kept");
        std::string to = dir.file("page.htm");
        if (c.to == File) dir.write("page.htm", "other bytes\n");
        if (c.to == Dir) dir.mkdir("page.htm");
        ASSERT_EQ(c.to == DanglingLink ? ::symlink("nowhere", to.c_str()) : 0, 0);
        ASSERT_EQ(c.to == HardLink ? ::link(from.c_str(), to.c_str()) : 0, 0);
        if (c.to == Itself) to = from;
        const auto before = korvel::testing::treeSnapshot(dir.path());

        EXPECT_EQ(renameNoReplace(from, to), c.expected);

        EXPECT_EQ(korvel::testing::treeSnapshot(dir.path()), before);
    }
}

TEST(RenameNoReplace, MovesFilesAndDirectoriesAndChangesOnlyTheCase) {
    TempDir dir;
    dir.write("a/page.htm", "<p>x</p>");
    dir.write("old/sub/f.txt", "f");
    dir.write("Index.htm", "home");
    dir.mkdir("b");

    ASSERT_FALSE(renameNoReplace(dir.file("a/page.htm"), dir.file("b/page.html")));
    ASSERT_FALSE(renameNoReplace(dir.file("old"), dir.file("new")));
    ASSERT_FALSE(renameNoReplace(dir.file("Index.htm"), dir.file("index.htm")));

    EXPECT_EQ(entriesOf(dir.path()), (Names{"a", "b", "index.htm", "new"}));
    EXPECT_TRUE(entriesOf(dir.file("a")).empty());
    EXPECT_EQ(readFile(dir.file("b/page.html")), "<p>x</p>");
    EXPECT_EQ(readFile(dir.file("new/sub/f.txt")), "f");
    EXPECT_EQ(readFile(dir.file("index.htm")), "home");
}

// The disk's own no-replace rename refuses what a concurrent process created after the checks above; its
// fallback for file systems without one must refuse just the same.
TEST(RenameNoReplaceFallback, RefusesAnExistingTargetAndAMissingSourceAsTheDiskDoes) {
    TempDir dir;
    dir.write("file", "A");
    dir.write("other", "B");
    dir.write("full/inside", "kept");
    dir.mkdir("empty");
    const auto before = korvel::testing::treeSnapshot(dir.path());
    const std::tuple<const char*, const char*, int> cases[] = {
        {"file", "other", EEXIST}, {"full", "empty", EEXIST}, {"none", "new", ENOENT}};
    using Rename = int (*)(const char*, const char*);
    for (const Rename rename :
         {Rename{[](const char*from, const char*to) { return disk().renameNoReplace(from, to); }},
          Rename{&renameNoReplaceFallback}}) {
        for (const auto& [from, to, error] : cases) {
            EXPECT_EQ(rename(dir.file(from).c_str(), dir.file(to).c_str()), -1) << from;
            EXPECT_EQ(errno, error) << from;
        }
    }
    EXPECT_EQ(korvel::testing::treeSnapshot(dir.path()), before);
}

TEST(RenameNoReplaceFallback, MovesFilesLinksAndDirectories) {
    TempDir dir;
    dir.write("file", "F");
    dir.write("tree/inner", "I");
    ASSERT_EQ(::symlink("file", dir.file("link").c_str()), 0);
    dir.mkdir("dest");
    for (const char* name : {"file", "tree", "link"})
        ASSERT_EQ(
            renameNoReplaceFallback(dir.file(name).c_str(), dir.file("dest/" + std::string(name)).c_str()),
            0);

    EXPECT_EQ(entriesOf(dir.path()), Names{"dest"});
    EXPECT_EQ(readFile(dir.file("dest/file")), "F");
    EXPECT_EQ(readFile(dir.file("dest/tree/inner")), "I");
    EXPECT_TRUE(fs::is_symlink(dir.file("dest/link")));  // the link itself moves, not what it points to
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("dest/file").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);  // no second name left behind
}

TEST(ReplaceFileContents, WritesTheExactContentAndKeepsTheMode) {
    struct Case {
        mode_t mode;
        std::string content;
    };
    // The set-id bits catch an owner change made after the mode: changing the owner clears them.
    for (const Case& c :
         {Case{0600, ""}, Case{0444, std::string("nul\0byte", 8)},
          Case{0644, std::string(3 * 1024 * 1024 + 7, 'x')}, Case{04755, "suid"}, Case{02750, "sgid"}}) {
        SCOPED_TRACE(c.mode);
        TempDir dir;
        const std::string path = dir.write("page.htm", "the old content, longer than some new ones\n");
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);

        ASSERT_FALSE(replaceFileContents(path, c.content));

        EXPECT_EQ(readFile(path), c.content);
        EXPECT_EQ(modeOf(path), c.mode);
        EXPECT_EQ(entriesOf(dir.path()), Names{"page.htm"});  // no ".el_" left
    }
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
    EXPECT_EQ(entriesOf(dir.path()), Names{"rel.txt"});
}

TEST(ReplaceFileContents, AFailureAtAnyStepLeavesTheOriginalWhole) {
    struct Case {
        const char* name;
        std::optional<FailingStep::Step> step;  // none: the disk fills up after a short write
        int error;
    };
    const std::string original = "original <a href=\"x.htm\">\r\n" + std::string(100000, 'o');
    for (const Case& c :
         {Case{"short write, then disk full", std::nullopt, ENOSPC}, Case{"fsync", FailingStep::Fsync, EIO},
          Case{"fchmod", FailingStep::Fchmod, EPERM}, Case{"close", FailingStep::Close, EDQUOT},
          Case{"rename", FailingStep::Rename, EBUSY}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.write("page.htm", original);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        korvel::testing::FaultyDisk full;
        full.writesUnder = dir.path();
        full.bytesBeforeFailure = 1000;
        FailingStep failing(c.step.value_or(FailingStep::Fsync), c.error);
        std::error_code ec;
        {
            DiskScope scope(c.step ? static_cast<Disk&>(failing) : full);
            ec = replaceFileContents(path, "new content that must not appear" + std::string(5000, 'n'));
        }

        EXPECT_EQ(ec, std::error_code(c.error, std::system_category()));
        EXPECT_EQ(readFile(path), original);
        EXPECT_EQ(modeOf(path), 0640u);
        EXPECT_EQ(entriesOf(dir.path()), Names{"page.htm"});
    }
}

TEST(ReplaceFileContents, RefusesWhatIsNotAnExistingRegularFileOrHasOtherNames) {
    TempDir dir;
    const std::string target = dir.write("shared.css", "body{}\r\n");
    ASSERT_EQ(::symlink("shared.css", dir.file("style.css").c_str()), 0);
    dir.mkdir("sub");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
    ASSERT_EQ(::link(target.c_str(), dir.file("twin.css").c_str()), 0);
    ReplaceOptions keepLinks;
    keepLinks.splitHardLinks = false;
    const auto before = korvel::testing::treeSnapshot(dir.path());

    EXPECT_EQ(replaceFileContents(dir.file("style.css"), "x"), FileError::IsSymlink);
    EXPECT_EQ(replaceFileContents(dir.file("missing"), "x"), std::errc::no_such_file_or_directory);
    EXPECT_EQ(replaceFileContents(dir.file("sub"), "x"), std::errc::is_a_directory);
    EXPECT_EQ(replaceFileContents(dir.file("pipe"), "x"), std::errc::invalid_argument);
    EXPECT_EQ(replaceFileContents(target, "x", keepLinks), FileError::HardLinked);

    EXPECT_EQ(korvel::testing::treeSnapshot(dir.path()), before);
    EXPECT_TRUE(fs::is_symlink(dir.file("style.css")));

    // Asked to split, only this name gets the new content.
    ASSERT_FALSE(replaceFileContents(target, "new"));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(readFile(dir.file("twin.css")), "body{}\r\n");
}

TEST(ReplaceFileContents, NeverRewritesInPlaceWhereNoTemporaryCanBeMadeBesideTheFile) {
    TempDir dir;
    const std::string path = dir.write("site/page.htm", "old");
    ASSERT_EQ(::chmod(dir.file("site").c_str(), 0555), 0);

    const std::error_code ec = testing::asUnprivileged(dir, [&] { return replaceFileContents(path, "new"); });

    ::chmod(dir.file("site").c_str(), 0755);
    EXPECT_EQ(ec, FileError::NoTemporaryBeside);
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(entriesOf(dir.file("site")), Names{"page.htm"});
}

// A new file that would pass to another owner or group would change who may use it.
TEST(ReplaceFileContents, KeepsOwnerAndGroupOrLeavesTheFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a file that belongs to another user";
    TempDir dir;
    const std::string theirs = dir.write("theirs.htm", "old");
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    ASSERT_FALSE(replaceFileContents(theirs, "new"));
    struct stat st {};
    ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(65534u, 65534u));

    const std::string path = dir.write("site/page.htm", "root's page");
    ::chmod(dir.file("site").c_str(), 0777);  // another user may put a new file in its place
    const std::error_code ec = testing::asUnprivileged(dir, [&] { return replaceFileContents(path, "new"); });
    EXPECT_EQ(ec, FileError::OwnerNotKept);
    EXPECT_EQ(readFile(path), "root's page");
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(entriesOf(dir.file("site")), Names{"page.htm"});
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
        EXPECT_EQ(entriesOf(dir.path()), Names{"page.htm"});
    }
}

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
    EXPECT_EQ(entriesOf(dir.path()), (Names{"a.html", "c.html", "sub"}));
    EXPECT_EQ(ReplaceBatch::current(), nullptr);
}

TEST(ReplaceBatch, AFailedFlushOrBarrierLeavesEveryOriginalAndNoTemporaryFile) {
    for (const bool failFlush : {true, false}) {
        TempDir dir;
        const std::string a = dir.write("a.html", "old a");
        const std::string b = dir.write("b.html", "old b");
        std::vector<std::string> failed;
        FailingStep noSync(FailingStep::SyncFs, EIO);
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
        EXPECT_EQ(failed, (Names{a, b}));
        EXPECT_EQ(entriesOf(dir.path()), (Names{"a.html", "b.html"}));
    }
}

// A file it could not complete is removed again: a half-written one would pass for a whole one.
TEST(CreateFile, WritesANewFileWithTheModeOrNothing) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    const std::error_code ec = createFile(dir.file("new.txt"), std::string("a\0b", 3), 0640);
    ::umask(oldMask);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(modeOf(dir.file("new.txt")), 0640u);

    EXPECT_EQ(createFile(dir.file("new.txt"), "other"), std::errc::file_exists);
    korvel::testing::FaultyDisk full;
    full.writesUnder = dir.path();
    full.bytesBeforeFailure = 4;
    {
        DiskScope scope(full);
        EXPECT_EQ(createFile(dir.file("half.txt"), "0123456789"), std::errc::no_space_on_device);
    }
    EXPECT_EQ(readFile(dir.file("new.txt")), std::string("a\0b", 3));
    EXPECT_EQ(entriesOf(dir.path()), Names{"new.txt"});
}

TEST(TempFile, IsRemovedByItsLastOwnerUnlessReleased) {
    TempDir dir;
    const korvel::testing::EnvVar tmpdir("TMPDIR", dir.path());
    std::string released;
    std::string handedOver;
    std::optional<TempFile> last;
    {
        TempFile keep;
        TempFile first;
        TempFile second;
        ASSERT_FALSE(keep.create());  // in the temporary directory
        ASSERT_FALSE(keep.write("abc"));
        ASSERT_FALSE(keep.write("def"));
        ASSERT_FALSE(keep.flush());
        released = keep.release();
        ASSERT_FALSE(first.create(dir.path(), "el_"));
        ASSERT_FALSE(second.create(dir.path()));
        handedOver = first.path();
        second = std::move(first);  // the file it held goes
        last.emplace(std::move(second));
    }
    // The moved-from ones left the file to its new owner.
    ASSERT_FALSE(last->write("moved"));
    EXPECT_EQ(readFile(handedOver), "moved");
    last.reset();
    EXPECT_EQ(readFile(released), "abcdef");
    EXPECT_EQ(entriesOf(dir.path()), Names{fs::path(released).filename().string()});
}

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
    ASSERT_FALSE(removeEmptyDirectory(sub));
    EXPECT_TRUE(entriesOf(dir.path()).empty());
    EXPECT_EQ(removeFile(dir.file("gone")), std::errc::no_such_file_or_directory);
}

}  // namespace
}  // namespace korvel::platform
