#include "files/file_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "faulty_disk.h"
#include "log_capture.h"
#include "platform/disk.h"
#include "platform/display_name.h"
#include "platform/file_info.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::files {
namespace {

namespace fs = std::filesystem;
using korvel::testing::detail;
using korvel::testing::FaultyDisk;
using korvel::testing::LogCapture;
using korvel::testing::modeOf;
using korvel::testing::readFile;
using korvel::testing::TempDir;

// Everything below "top": content ("/" for a directory), mode and a file's modification time.
using Tree = std::map<std::string, std::tuple<std::string, mode_t, std::int64_t>>;

Tree treeOf(const std::string& top) {
    Tree out;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        const std::string path = entry.path().string();
        platform::FileInfo info;
        EXPECT_FALSE(platform::fileInfo(path, info));
        const bool dir = info.kind == platform::EntryKind::Directory;
        out[path.substr(top.size())] = {dir ? "/" : readFile(path), modeOf(path), dir ? 0 : info.modifiedNs};
    }
    return out;
}

// Records what it is told, in order, and refuses what "refuse" names.
class RecordingJournal : public ChangeJournal {
  public:
    std::vector<std::string> calls;
    std::function<bool(std::string_view)> refuse = [](std::string_view) { return false; };

    bool willRename(std::string_view from, std::string_view to) override {
        return note("move " + std::string(from) + " -> " + std::string(to), from);
    }
    bool willReplace(std::string_view path, std::string_view, std::string_view,
                     const ContentChange&) override {
        return note("replace " + std::string(path), path);
    }
    bool willMakeDirectory(std::string_view path) override {
        return note("mkdir " + std::string(path), path);
    }
    bool willRemoveDirectory(std::string_view path) override {
        return note("rmdir " + std::string(path), path);
    }
    bool willTrash(std::string_view path) override { return note("trash " + std::string(path), path); }
    void trashed(std::string_view path, std::string_view inTrash) override {
        calls.push_back("trashed " + std::string(path) + " -> " + std::string(inTrash));
    }

  private:
    bool note(std::string call, std::string_view subject) {
        calls.push_back(std::move(call));
        return !refuse(subject);
    }
};

class MoveHierTest : public ::testing::Test {
  protected:
    MoveHierTest() {
        a_ = site_.write("site/a.html", "<html>a</html>");
        b_ = site_.write("site/sub/deep/b.gif", "GIF89a");
        site_.write("site/sub/c.txt", "stays");
        ::chmod(b_.c_str(), 0640);
        top_ = site_.file("site");
    }
    std::string kept(std::string_view relative) const { return keep_.file(relative); }

    LogCapture log_;
    TempDir site_;
    TempDir keep_;
    RecordingJournal journal_;
    JournalScope journalScope_{&journal_};
    std::string top_, a_, b_;
};

TEST_F(MoveHierTest, KeepsEachPlaceBelowAFreshDirectoryAndTheUndoPutsTheTreeBack) {
    keep_.write("site/theirs.txt", "not ours");  // "site" is taken: the orphans go to "site0"
    const Tree before = treeOf(top_);
    const Tree keptBefore = treeOf(keep_.file("site"));

    MoveTreeCommand move({a_, b_}, top_, keep_.path());
    ASSERT_TRUE(move.execute());

    EXPECT_EQ(move.moved(), (std::vector<std::string>{a_, b_}));
    EXPECT_EQ(treeOf(kept("site0")).at("/sub/deep/b.gif"), before.at("/sub/deep/b.gif"));
    EXPECT_FALSE(fs::exists(b_));
    EXPECT_EQ(treeOf(keep_.file("site")), keptBefore);
    // Each directory is announced before it is made, each move before it is made.
    EXPECT_EQ(journal_.calls, (std::vector<std::string>{
                                  "mkdir " + kept("site0"),
                                  "move " + a_ + " -> " + kept("site0/a.html"),
                                  "mkdir " + kept("site0/sub"),
                                  "mkdir " + kept("site0/sub/deep"),
                                  "move " + b_ + " -> " + kept("site0/sub/deep/b.gif"),
                              }));
    EXPECT_EQ(log_.errors(), "");

    // The directory the files left is gone before the undo: it is made again.
    fs::remove(site_.file("site/sub/deep"));
    ASSERT_TRUE(move.unexecute());
    EXPECT_EQ(treeOf(top_), before);
    EXPECT_EQ(testing::entriesOf(keep_.path()), std::vector<std::string>{"site"});
    EXPECT_EQ(log_.errors(), "");
}

// A move the disk refuses, or one the journal cannot record, is reported; the file stays, the rest go.
TEST_F(MoveHierTest, AFileThatCannotGoStaysAndIsReportedAndTheOthersStillGo) {
    for (const bool byJournal : {false, true}) {
        FaultyDisk disk;
        disk.refuseRename = [&](const std::string& from, const std::string&) {
            return !byJournal && from == a_ ? EACCES : 0;
        };
        journal_.refuse = [&](std::string_view subject) { return byJournal && subject == a_; };
        platform::DiskScope scope(disk);
        MoveTreeCommand move({a_, b_}, top_, keep_.path());
        ASSERT_TRUE(move.execute());

        EXPECT_EQ(move.moved(), std::vector<std::string>{b_});
        EXPECT_EQ(readFile(a_), "<html>a</html>");
        EXPECT_FALSE(fs::exists(move.newDirectory() + "/a.html"));
        EXPECT_NE(log_.errors().find(detail(res::kFileMoveFailed, a_)), std::string::npos) << log_.errors();
        ASSERT_TRUE(move.unexecute());
    }
}

// A link moves only where it still leads to the same file: an absolute one, or a relative one that climbs
// to the root first; one that would dangle in its new place stays and is reported.
TEST_F(MoveHierTest, ARelativeLinkMovesOnlyWhereItStillLeadsToTheSameFile) {
    const std::string outside = site_.write("outside.txt", "outside");
    std::string climbing;
    for (int i = 0; i < 40; ++i)
        climbing += "../";
    climbing += outside.substr(1);
    const std::string relative = site_.file("site/sub/deep/relative");
    const std::string absolute = site_.file("site/sub/absolute");
    const std::string fromRoot = site_.file("site/sub/from-root");
    fs::create_symlink("../c.txt", relative);
    fs::create_symlink(outside, absolute);
    fs::create_symlink(climbing, fromRoot);

    MoveTreeCommand move({relative, absolute, fromRoot}, top_, keep_.path());
    ASSERT_TRUE(move.execute());

    EXPECT_EQ(move.moved(), (std::vector<std::string>{absolute, fromRoot}));
    EXPECT_EQ(fs::read_symlink(relative), "../c.txt");
    EXPECT_EQ(readFile(kept("site/sub/absolute")), "outside");
    EXPECT_EQ(readFile(kept("site/sub/from-root")), "outside");
    EXPECT_EQ(log_.errors(), detail(res::kLinkWouldLeadElsewhere, relative));
    EXPECT_FALSE(fs::exists(kept("site/sub/deep")));
}

TEST_F(MoveHierTest, AcrossFileSystemsTheCopyKeepsBytesModeAndTimeAndComesBackTheSameWay) {
    const Tree before = treeOf(top_);
    FaultyDisk disk;
    // Every rename of a site's entry, either way, would cross; the copy's own temporary file does not.
    disk.refuseRename = [&](const std::string& from, const std::string&) {
        return from == b_ || from == kept("site/sub/deep/b.gif") ? EXDEV : 0;
    };
    platform::DiskScope scope(disk);

    MoveTreeCommand move({b_}, top_, keep_.path());
    ASSERT_TRUE(move.execute());
    ASSERT_EQ(move.moved(), std::vector<std::string>{b_});
    EXPECT_FALSE(fs::exists(b_));
    const Tree moved = treeOf(kept("site"));
    EXPECT_EQ(moved.at("/sub/deep/b.gif"), before.at("/sub/deep/b.gif"));

    ASSERT_TRUE(move.unexecute());
    EXPECT_EQ(treeOf(top_), before);
    EXPECT_EQ(log_.errors(), "");
}

TEST_F(MoveHierTest, AFileWhoseWayBackIsTakenStaysWithTheDirectoriesAboveIt) {
    MoveTreeCommand move({a_, b_}, top_, keep_.path());
    ASSERT_TRUE(move.execute());
    site_.write("site/a.html", "a new page");

    ASSERT_TRUE(move.unexecute());

    EXPECT_EQ(readFile(a_), "a new page");
    EXPECT_EQ(readFile(kept("site/a.html")), "<html>a</html>");
    EXPECT_EQ(readFile(b_), "GIF89a");
    // Only the directories the stayed file needs are left.
    EXPECT_EQ(testing::entriesOf(kept("site")), std::vector<std::string>{"a.html"});
    EXPECT_EQ(move.moved(), std::vector<std::string>{a_});
    EXPECT_NE(log_.errors().find(detail(res::kFileMoveFailed, kept("site/a.html"))), std::string::npos)
        << log_.errors();
}

// ---- EmptyDirectoryRemoval ----

TEST(RemoveEmptyDirs, RemovesOnlyWhatTheFilesLeftEmptyDeepestFirstAndNeverTheTop) {
    LogCapture log;
    TempDir dir;
    RecordingJournal journal;
    JournalScope journalScope(&journal);
    const std::string top = dir.mkdir("site");
    dir.mkdir("site/a/b");               // emptied, and a with it
    dir.mkdir("site/c/was-empty");       // empty before: stays, and so c
    dir.write("site/d/other.txt", "x");  // d still holds a file
    dir.mkdir("site/untouched");         // empty, but no file left it
    const std::vector<std::string> left = {dir.file("site/a/b/x.gif"), dir.file("site/c/y.gif"),
                                           dir.file("site/d/z.gif"), dir.file("site/top.gif"),
                                           "/elsewhere/w.gif"};

    EmptyDirectoryRemoval remove(top);
    EXPECT_EQ(remove.run(left), 2);

    EXPECT_EQ(remove.removed(), (std::vector<std::string>{dir.file("site/a/b"), dir.file("site/a")}));
    EXPECT_EQ(journal.calls,
              (std::vector<std::string>{"rmdir " + dir.file("site/a/b"), "rmdir " + dir.file("site/a")}));
    EXPECT_EQ(testing::entriesOf(top), (std::vector<std::string>{"c", "d", "untouched"}));
    EXPECT_TRUE(fs::exists(dir.file("site/c/was-empty")));
    EXPECT_EQ(log.errors(), "");
}

// ---- TrashCommand ----

TEST(TrashCommand, SendsEachFileToTheTrashAndLeavesOneItCannotTakeInPlace) {
    LogCapture log;
    TempDir data;
    TempDir site;
    korvel::testing::EnvVar dataHome("XDG_DATA_HOME", data.path());
    RecordingJournal journal;
    JournalScope journalScope(&journal);
    const std::string good = site.write("orphan.gif", "GIF89a");
    // The trash records names as text: one that is not UTF-8 cannot be recorded faithfully.
    const std::string bad = site.write("caf\xE9.txt", "latin-1");
    // Its info file "<name>.trashinfo" would pass NAME_MAX: refused before the trash is asked at all.
    const std::string tooLong = site.write(std::string(246, 'n') + ".gif", "long");

    TrashCommand trash({good, bad, tooLong});
    ASSERT_TRUE(trash.execute());

    EXPECT_EQ(trash.trashed(), std::vector<std::string>{good});
    EXPECT_FALSE(trash.undoable());
    EXPECT_FALSE(fs::exists(good));
    const std::string inTrash = data.file("Trash/files/orphan.gif");
    EXPECT_EQ(readFile(inTrash), "GIF89a");
    EXPECT_TRUE(fs::exists(data.file("Trash/info/orphan.gif.trashinfo")));
    EXPECT_EQ(readFile(bad), "latin-1");
    EXPECT_EQ(readFile(tooLong), "long");
    EXPECT_EQ(log.errors(), detail(res::kTrashFailed, platform::displayName(bad)) +
                                res::formatString(res::kTrashNameTooLong, "238") + "\n\t" + tooLong + "\n");
    EXPECT_EQ(journal.calls, (std::vector<std::string>{"trash " + good, "trashed " + good + " -> " + inTrash,
                                                       "trash " + bad, "trash " + tooLong}));
}

}  // namespace
}  // namespace korvel::files
