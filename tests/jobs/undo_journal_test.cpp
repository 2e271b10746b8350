#include "jobs/undo_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "jobs/journal_format.h"
#include "jobs/site_lock.h"
#include "names/rename_files.h"
#include "platform/disk.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "report/app_log.h"
#include "res/strings.h"
#include "site/node.h"
#include "site/traverse.h"
#include "support/env_var.h"
#include "support/faulty_disk.h"
#include "support/temp_dir.h"

namespace korvel::jobs {
namespace {

namespace fs = std::filesystem;
using testing::EnvVar;
using testing::FaultyDisk;
using testing::modeOf;
using testing::readFile;
using testing::TempDir;

// Everything below a top directory: content ("/" for a directory), mode, and a file's modification time.
using Tree = std::map<std::string, std::tuple<std::string, mode_t, std::int64_t>>;

Tree treeOf(const std::string& top) {
    Tree out;
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        const std::string full = it->path().string();
        platform::FileInfo info;
        EXPECT_FALSE(platform::fileInfo(full, info));
        const bool dir = info.kind == platform::EntryKind::Directory;
        out[fs::relative(it->path(), top).string()] = {dir ? "/" : readFile(full), modeOf(full),
                                                       dir ? 0 : info.modifiedNs};
    }
    return out;
}

bool exists(const std::string& path) {
    return fs::exists(fs::symlink_status(path));
}

// A site and a state directory of its own for each test.
struct Fixture {
    TempDir site;
    TempDir state;
    EnvVar xdg{"XDG_STATE_HOME", state.path()};
    LogScope log;
    GUIProgress quiet;

    std::string errors() { return log.log().sectionText(res::kSectionErrors); }
    std::string section(int id) { return log.log().sectionText(id); }
    // As the undo runs: holding the site's lock, which settles a job that was stopped halfway.
    UndoOutcome undo() {
        const SiteLock lock(site.path());
        return undoLast(site.path(), &quiet);
    }
};

// A rename announced to the journal, then made.
void rename(ChangeJournal& journal, const std::string& from, const std::string& to) {
    ASSERT_TRUE(journal.willRename(from, to));
    ASSERT_FALSE(platform::renameNoReplace(from, to));
    journal.changeMade();
}

// Whether "top" has a journal (the place itself stays: it holds the site's lock).
bool hasJournal(const std::string& top) {
    return exists(undoDirectory(top) + "/journal");
}

// A rewrite announced to the journal, then made.
void replace(ChangeJournal& journal, const std::string& path, const std::string& after,
             const ContentChange& why) {
    ASSERT_TRUE(journal.willReplace(path, readFile(path), after, why));
    ASSERT_FALSE(platform::replaceFileContents(path, after));
    journal.changeMade();
}

ContentChange linkChange() {
    ContentChange why;
    why.links = {{3, "Old Page.htm", "old_page.htm"}};
    return why;
}

TEST(UndoJournal, UndoPutsBackEveryNameByteAndModeAndThenHasNothingLeft) {
    Fixture f;
    f.site.write("a.htm", "A");
    f.site.write("b.htm", "B");
    f.site.write("Pics/x.GIF", "X");
    f.site.write("page.html", "<a href=\"Old Page.htm\">\r\n");
    f.site.write("notes.txt", "one\r\ntwo\r\n");
    f.site.mkdir("empty");
    ::chmod(f.site.file("empty").c_str(), 0750);
    ::chmod(f.site.file("page.html").c_str(), 0640);
    ::chmod(f.site.file("notes.txt").c_str(), 0444);
    const Tree before = treeOf(f.site.path());

    auto journal = UndoJournal::start(f.site.path(), "fix");
    names::RenameHistory history;
    {
        JournalScope scope(journal.get());
        // A swap goes through a temporary name; the directory is renamed before its contents.
        auto top = std::make_unique<DirNode>(f.site.path());
        NodeFactory creator;
        top->update(creator, true);
        Node* child = nullptr;
        for (const auto& [name, newName] :
             {std::pair{"a.htm", "b.htm"}, {"b.htm", "a.htm"}, {"Pics", "pics"}}) {
            ASSERT_TRUE(top->findChild(name, &child));
            child->setNewName(newName);
        }
        ASSERT_EQ(names::renameFiles(*top, false, 10, history, &f.quiet), 3);
        ASSERT_TRUE(exists(f.site.file("pics/x.GIF")));
    }
    replace(*journal, f.site.file("page.html"), "<a href=\"old_page.htm\">\r\n", linkChange());
    ContentChange lineEnds;
    lineEnds.kind = ContentChange::Kind::LineEnds;
    lineEnds.fromLineEnd = kCrLf;
    lineEnds.toLineEnd = kLf;
    replace(*journal, f.site.file("page.html"), "<a href=\"old_page.htm\">\n", lineEnds);
    // A read-only file is rewritten with the write permission it was given for that, then gets its mode back.
    ::chmod(f.site.file("notes.txt").c_str(), 0644);
    replace(*journal, f.site.file("notes.txt"), "one\ntwo\n", lineEnds);
    ::chmod(f.site.file("notes.txt").c_str(), 0444);
    ASSERT_TRUE(journal->willMakeDirectory(f.site.file("moved")));
    ASSERT_FALSE(platform::makeDirectory(f.site.file("moved")));
    ASSERT_TRUE(journal->willRemoveDirectory(f.site.file("empty")));
    ASSERT_FALSE(platform::removeEmptyDirectory(f.site.file("empty")));
    journal.reset();
    ASSERT_NE(treeOf(f.site.path()), before);

    const std::vector<std::string> listed = listJournal(f.site.path());
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.front(), "make directory again  " + f.site.file("empty"));
    EXPECT_EQ(listed.back().rfind("rename back  ", 0), 0u) << listed.back();

    const UndoOutcome outcome = f.undo();
    EXPECT_TRUE(outcome.anything);
    EXPECT_EQ(outcome.job, "fix");
    EXPECT_EQ(outcome.renamed, history.size());  // the swap went through temporary names
    EXPECT_EQ(outcome.restored, 3u);
    EXPECT_EQ(outcome.directoriesRemoved, 1u);
    EXPECT_EQ(outcome.directoriesMade, 1u);
    EXPECT_EQ(outcome.leftAlone, 0u);
    EXPECT_EQ(outcome.remaining, 0u);
    EXPECT_EQ(treeOf(f.site.path()), before);
    EXPECT_EQ(f.errors(), "");
    EXPECT_FALSE(hasJournal(f.site.path()));
    EXPECT_FALSE(exists(undoDirectory(f.site.path()) + "/copies"));

    // The rows the fix's report uses: names back, line ends back, links back.
    const std::string names = f.section(res::kSectionRestoredNames);
    EXPECT_NE(names.find("a.htm" + std::string(35, ' ') + f.site.file("b.htm")), std::string::npos) << names;
    EXPECT_NE(names.find("Pics" + std::string(36, ' ') + f.site.file("pics")), std::string::npos) << names;
    EXPECT_NE(f.section(res::kSectionChangedLineEnds).find("UNIX ->  DOS:  " + f.site.file("notes.txt")),
              std::string::npos);
    EXPECT_NE(
        f.section(res::kSectionUrlRenaming).find("   line    3: old_page.htm\n   -------->  Old Page.htm"),
        std::string::npos)
        << f.section(res::kSectionUrlRenaming);

    EXPECT_FALSE(f.undo().anything);
}

TEST(UndoJournal, AJobThatChangesNothingLeavesTheLastUndoInPlace) {
    Fixture f;
    f.site.write("a", "A");
    auto first = UndoJournal::start(f.site.path(), "fix");
    rename(*first, f.site.file("a"), f.site.file("b"));
    first.reset();
    EXPECT_FALSE(UndoJournal::start(f.site.path(), "fix")->written());
    EXPECT_EQ(listJournal(f.site.path()).size(), 1u);

    // Nor does one whose every change failed (an immutable file, a read-only mount).
    {
        auto failing = UndoJournal::start(f.site.path(), "fix");
        ASSERT_TRUE(failing->willRename(f.site.file("b"), f.site.file("x")));
        ASSERT_TRUE(failing->willReplace(f.site.file("b"), "A", "new", linkChange()));
        EXPECT_FALSE(failing->written());
    }
    EXPECT_EQ(listJournal(f.site.path()),
              std::vector<std::string>{"rename back  " + f.site.file("b") + "  ->  " + f.site.file("a")});

    // The next job that changes something replaces it.
    auto second = UndoJournal::start(f.site.path(), "fix");
    rename(*second, f.site.file("b"), f.site.file("c"));
    second.reset();
    EXPECT_EQ(f.undo().renamed, 1u);
    EXPECT_TRUE(exists(f.site.file("b")));
}

TEST(UndoJournal, AJobKilledHalfwayIsUndoneAsFarAsItWent) {
    Fixture f;
    f.site.write("a", "A");
    f.site.write("c", "C");
    f.site.write("page.html", "old");
    const Tree before = treeOf(f.site.path());
    {
        auto journal = UndoJournal::start(f.site.path(), "fix");
        rename(*journal, f.site.file("a"), f.site.file("b"));
        // Recorded, but the process died before each change was made.
        ASSERT_TRUE(journal->willRename(f.site.file("c"), f.site.file("d")));
        ASSERT_TRUE(journal->willReplace(f.site.file("page.html"), "old", "new", linkChange()));
        ASSERT_TRUE(journal->willMakeDirectory(f.site.file("never")));
    }
    const UndoOutcome outcome = f.undo();
    EXPECT_EQ(outcome.renamed, 1u);
    EXPECT_EQ(outcome.neverDone, 3u);
    EXPECT_EQ(outcome.leftAlone, 0u);
    EXPECT_EQ(treeOf(f.site.path()), before);
    EXPECT_EQ(f.errors(), "");
    EXPECT_FALSE(hasJournal(f.site.path()));
}

TEST(UndoJournal, WhatChangedSinceTheJobIsLeftAloneListedAndKeptForTheNextUndo) {
    Fixture f;
    f.site.write("a", "A");
    f.site.write("c", "C");
    f.site.write("page.html", "old");
    {
        auto journal = UndoJournal::start(f.site.path(), "fix");
        rename(*journal, f.site.file("a"), f.site.file("b"));
        rename(*journal, f.site.file("c"), f.site.file("d"));
        replace(*journal, f.site.file("page.html"), "new", linkChange());
    }
    f.site.write("a", "someone else's");
    f.site.write("page.html", "edited");
    // Not the file the job renamed: it must not take the old name.
    fs::remove(f.site.file("d"));
    f.site.write("d", "a new file");

    UndoOutcome outcome = f.undo();
    EXPECT_EQ(outcome.leftAlone, 3u);
    EXPECT_EQ(outcome.remaining, 3u);
    EXPECT_FALSE(exists(f.site.file("c")));
    EXPECT_EQ(readFile(f.site.file("page.html")), "edited");
    EXPECT_EQ(readFile(f.site.file("a")), "someone else's");
    const std::string errors = f.errors();
    EXPECT_NE(errors.find(res::formatString(res::kNotUndone, res::loadString(res::kReasonChangedSinceJob)) +
                          "\n\t" + f.site.file("page.html")),
              std::string::npos)
        << errors;
    EXPECT_NE(
        errors.find(res::formatString(res::kNotRenamedBack, res::loadString(res::kReasonOriginalNameTaken),
                                      f.site.file("b")) +
                    "\n\t" + f.site.file("a")),
        std::string::npos)
        << errors;
    EXPECT_EQ(listJournal(f.site.path()).size(), 3u);

    // Once the obstacles are gone, the next undo finishes.
    fs::remove(f.site.file("a"));
    f.site.write("page.html", "new");
    outcome = f.undo();
    EXPECT_EQ(outcome.renamed, 1u);
    EXPECT_EQ(outcome.restored, 1u);
    EXPECT_EQ(outcome.remaining, 1u);
    EXPECT_EQ(readFile(f.site.file("page.html")), "old");
    EXPECT_EQ(readFile(f.site.file("a")), "A");
    EXPECT_EQ(readFile(f.site.file("d")), "a new file");
    EXPECT_EQ(listJournal(f.site.path()),
              std::vector<std::string>{"rename back  " + f.site.file("d") + "  ->  " + f.site.file("c")});
}

TEST(UndoJournal, NamesOfAnyBytesRoundTrip) {
    Fixture f;
    const std::string odd[] = {"bad\xff\xfe.htm", "tab\there\nnew\rline\\.htm"};
    for (const std::string& name : odd)
        f.site.write(name, name);
    const Tree before = treeOf(f.site.path());
    {
        auto journal = UndoJournal::start(f.site.path(), "fix");
        rename(*journal, f.site.file(odd[0]), f.site.file("plain1.htm"));
        rename(*journal, f.site.file(odd[1]), f.site.file("plain2.htm"));
        replace(*journal, f.site.file("plain2.htm"), odd[0], linkChange());
        rename(*journal, f.site.file("plain1.htm"), f.site.file(odd[1] + "x"));
    }
    EXPECT_EQ(f.undo().renamed, 3u);
    EXPECT_EQ(treeOf(f.site.path()), before);
    EXPECT_EQ(f.errors(), "");
    // Shown escaped in the report.
    EXPECT_NE(f.section(res::kSectionRestoredNames).find("bad\\xFF\\xFE.htm"), std::string::npos);
}

TEST(UndoJournal, AFileSentToTheTrashComesBackAndLeavesTheTrash) {
    Fixture f;
    TempDir trash;
    f.site.write("orphan.gif", "GIF");
    const std::string inTrash = trash.write("Trash/files/orphan.gif", "");
    const std::string info = trash.write("Trash/info/orphan.gif.trashinfo", "[Trash Info]\n");
    {
        auto journal = UndoJournal::start(f.site.path(), "orphans");
        ASSERT_TRUE(journal->willTrash(f.site.file("orphan.gif")));
        fs::rename(f.site.file("orphan.gif"), inTrash);
        journal->trashed(f.site.file("orphan.gif"), inTrash);
    }
    const UndoOutcome outcome = f.undo();
    EXPECT_EQ(outcome.untrashed, 1u);
    EXPECT_EQ(readFile(f.site.file("orphan.gif")), "GIF");
    EXPECT_FALSE(exists(inTrash));
    EXPECT_FALSE(exists(info));
    EXPECT_NE(f.section(res::kSectionRestoredOrphans).find(f.site.file("orphan.gif")), std::string::npos);
}

TEST(UndoJournal, ACancelKeepsWhatWasNotReached) {
    struct CancelAfterOne : GUIProgress {
        int calls = 0;
        void setDirectory(std::string_view, bool& cancelled) override { cancelled = ++calls > 1; }
    } progress;
    Fixture f;
    f.site.write("a", "A");
    {
        auto journal = UndoJournal::start(f.site.path(), "fix");
        rename(*journal, f.site.file("a"), f.site.file("b"));
        rename(*journal, f.site.file("b"), f.site.file("c"));
    }
    const UndoOutcome outcome = undoLast(f.site.path(), &progress);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.remaining, 1u);
    EXPECT_EQ(f.undo().renamed, 1u);
    EXPECT_EQ(readFile(f.site.file("a")), "A");
}

// Runs "job" in a child process that dies without a word where the job ends (as a kill would leave it).
void inKilledProcess(const std::function<void()>& job) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        job();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
}

TEST(UndoJournal, AJobKilledRightAfterItsFirstChangeIsTheOneUndone) {
    for (const bool madeIt : {true, false}) {
        Fixture f;
        f.site.write("a", "A");
        f.site.write("c", "C");
        rename(*UndoJournal::start(f.site.path(), "fix"), f.site.file("a"), f.site.file("b"));
        inKilledProcess([&] {
            auto second = UndoJournal::start(f.site.path(), "fix");
            if (!second->willRename(f.site.file("c"), f.site.file("d"))) ::_exit(1);
            if (madeIt && platform::renameNoReplace(f.site.file("c"), f.site.file("d"))) ::_exit(1);
            ::_exit(0);  // before the journal learns the change was made
        });
        // Listed as the undo will take it, before any undo has settled it.
        const std::vector<std::string> listed = listJournal(f.site.path());
        ASSERT_EQ(listed.size(), 1u) << madeIt;
        EXPECT_EQ(listed[0], madeIt ? "rename back  " + f.site.file("d") + "  ->  " + f.site.file("c")
                                    : "rename back  " + f.site.file("b") + "  ->  " + f.site.file("a"));
        const UndoOutcome outcome = f.undo();
        EXPECT_EQ(outcome.renamed, 1u) << madeIt;
        // The killed job's change when it made one, else the job before it.
        EXPECT_TRUE(exists(f.site.file(madeIt ? "b" : "a"))) << madeIt;
        EXPECT_TRUE(exists(f.site.file("c"))) << madeIt;
        EXPECT_EQ(f.errors(), "") << madeIt;
    }
}

// A disk that kills the process at its "at"-th operation, before it is made.
struct KillingDisk : platform::Disk {
    int at;
    int count = 0;
    explicit KillingDisk(int n) : at(n) {}
    void step() {
        if (++count == at) ::_exit(9);
    }
    int open(const char* p, int flags, mode_t mode) override { return step(), Disk::open(p, flags, mode); }
    ssize_t write(int fd, const void* d, std::size_t n) override { return step(), Disk::write(fd, d, n); }
    int fsync(int fd) override { return step(), Disk::fsync(fd); }
    int syncfs(int fd) override { return step(), Disk::syncfs(fd); }
    int fchmod(int fd, mode_t m) override { return step(), Disk::fchmod(fd, m); }
    int chmod(const char* p, mode_t m) override { return step(), Disk::chmod(p, m); }
    int mkstemp(char* t) override { return step(), Disk::mkstemp(t); }
    int renameNoReplace(const char* a, const char* b) override { return step(), Disk::renameNoReplace(a, b); }
    int renameReplace(const char* a, const char* b) override { return step(), Disk::renameReplace(a, b); }
    int unlink(const char* p) override { return step(), Disk::unlink(p); }
    int mkdir(const char* p, mode_t m) override { return step(), Disk::mkdir(p, m); }
    int rmdir(const char* p) override { return step(), Disk::rmdir(p); }
};

TEST(UndoJournal, AnUndoKilledAtAnyStepIsFinishedByTheNextOne) {
    bool reachedTheEnd = false;
    for (int at = 1; !reachedTheEnd && at < 400; ++at) {
        Fixture f;
        f.site.write("Old Dir/Page One.html", "<a href=\"Old Page.htm\">\r\n");
        f.site.write("Old Dir/Notes.TXT", "one\r\ntwo\r\n");
        f.site.mkdir("Old Dir/Empty");
        const Tree before = treeOf(f.site.path());
        {
            auto journal = UndoJournal::start(f.site.path(), "fix");
            rename(*journal, f.site.file("Old Dir"), f.site.file("olddir"));
            rename(*journal, f.site.file("olddir/Page One.html"), f.site.file("olddir/pageone.htm"));
            rename(*journal, f.site.file("olddir/Notes.TXT"), f.site.file("olddir/notes.txt"));
            replace(*journal, f.site.file("olddir/pageone.htm"), "<a href=\"old_page.htm\">\r\n",
                    linkChange());
            ContentChange lineEnds;
            lineEnds.kind = ContentChange::Kind::LineEnds;
            lineEnds.fromLineEnd = kCrLf;
            lineEnds.toLineEnd = kLf;
            replace(*journal, f.site.file("olddir/notes.txt"), "one\ntwo\n", lineEnds);
            ASSERT_TRUE(journal->willRemoveDirectory(f.site.file("olddir/Empty")));
            ASSERT_FALSE(platform::removeEmptyDirectory(f.site.file("olddir/Empty")));
        }
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            KillingDisk disk(at);
            platform::DiskScope scope(disk);
            undoLast(f.site.path(), &f.quiet);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        reachedTheEnd = WIFEXITED(status) && WEXITSTATUS(status) == 0;

        const UndoOutcome rerun = f.undo();
        EXPECT_EQ(rerun.leftAlone, 0u) << "killed at step " << at << "\n" << f.errors();
        EXPECT_EQ(rerun.damagedLines, 0u) << "killed at step " << at;
        EXPECT_EQ(treeOf(f.site.path()), before) << "killed at step " << at;
        EXPECT_FALSE(hasJournal(f.site.path())) << "killed at step " << at;
    }
    EXPECT_TRUE(reachedTheEnd);
}

TEST(UndoJournal, ADamagedOrCutJournalIsReportedLineByLineAndKeepsEveryCopy) {
    struct Damage {
        const char* what;
        std::function<void(std::string&)> apply;
        std::uint32_t renamed;  // what can still be undone
    };
    const Damage damages[] = {
        {"a flipped byte in an entry", [](std::string& j) { j[j.find("\nR\t") + 5] ^= 1; }, 1},
        {"cut in the last line", [](std::string& j) { j.resize(j.size() - 10); }, 1},
        {"cut in the header", [](std::string& j) { j.resize(20); }, 0},
    };
    for (const Damage& damage : damages) {
        Fixture f;
        f.site.write("a", "A");
        f.site.write("c", "C");
        f.site.write("page.html", "old");
        {
            auto journal = UndoJournal::start(f.site.path(), "fix");
            rename(*journal, f.site.file("a"), f.site.file("b"));
            replace(*journal, f.site.file("page.html"), "new", linkChange());
            rename(*journal, f.site.file("c"), f.site.file("d"));
        }
        const std::string path = undoDirectory(f.site.path()) + "/journal";
        std::string text = readFile(path);
        damage.apply(text);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

        const UndoOutcome outcome = f.undo();
        EXPECT_GE(outcome.damagedLines, 1u) << damage.what;
        EXPECT_EQ(outcome.renamed, damage.renamed) << damage.what;
        const std::string errors = f.errors();
        EXPECT_NE(errors.find("of the undo journal could not be read"), std::string::npos)
            << damage.what << errors;
        // Nothing it may still need is gone: the journal stays, with the saved original.
        EXPECT_TRUE(hasJournal(f.site.path())) << damage.what;
        EXPECT_FALSE(fs::is_empty(undoDirectory(f.site.path()) + "/copies")) << damage.what;
    }
}

TEST(UndoJournal, NothingOutsideTheSiteIsTouchedWhateverTheJournalSays) {
    Fixture f;
    TempDir outside;
    outside.write("precious", "P");
    f.site.write("a", "A");
    {
        auto journal = UndoJournal::start(f.site.path(), "fix");
        rename(*journal, f.site.file("a"), f.site.file("b"));
    }
    // Entries signed as the journal signs them, naming places outside the site.
    const std::string path = undoDirectory(f.site.path()) + "/journal";
    const std::string info = "f";
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {outside.file("moved"), outside.file("precious")},
             {f.site.file("x"), outside.file("precious")},
             {f.site.file("../x"),
              f.site.file("../" + fs::path(outside.path()).filename().string() + "/precious")}}) {
        std::ofstream(path, std::ios::app) << journalLine({"R", from, to, info, "1", "1"});
    }
    const UndoOutcome outcome = f.undo();
    EXPECT_EQ(outcome.renamed, 1u);
    EXPECT_EQ(outcome.leftAlone, 3u);
    EXPECT_EQ(readFile(outside.file("precious")), "P");
    EXPECT_NE(f.errors().find(res::loadString(res::kReasonOutsideSite)), std::string::npos) << f.errors();
}

TEST(UndoJournal, ALinkInTheJournalsPlaceIsNeverFollowed) {
    Fixture f;
    TempDir elsewhere;
    elsewhere.write("victim", "V");
    f.site.write("page.html", "old");
    std::string directory;
    ASSERT_FALSE(makeJournalPlace(f.site.path(), directory));
    fs::remove(directory + "/copies");
    fs::create_directory_symlink(elsewhere.path(), directory + "/copies");
    {
        auto journal = UndoJournal::start(f.site.path(), "fix");
        JournalScope scope(journal.get());
        EXPECT_FALSE(journal->willReplace(f.site.file("page.html"), "old", "new", linkChange()));
    }
    f.undo();
    EXPECT_EQ(readFile(elsewhere.file("victim")), "V");
    EXPECT_EQ(readFile(f.site.file("page.html")), "old");
    struct stat st {};
    ASSERT_EQ(::stat(directory.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(UndoJournal, TheJournalIsTheSitesWhateverPathNamesIt) {
    Fixture f;
    TempDir links;
    const std::string viaLink = links.path() + "/site";
    fs::create_directory_symlink(f.site.path(), viaLink);
    f.site.write("target.htm", "T");
    fs::create_symlink("target.htm", f.site.file("Link.htm"));
    {
        auto journal = UndoJournal::start(viaLink, "fix");
        rename(*journal, viaLink + "/Link.htm", viaLink + "/link.htm");
    }
    // The link's target changes after the job: the link itself is still the one the job renamed.
    f.site.write("target.htm", "changed since");
    const UndoOutcome outcome = undoLast(f.site.path() + "/.", &f.quiet);
    EXPECT_EQ(outcome.renamed, 1u) << f.errors();
    EXPECT_TRUE(fs::is_symlink(f.site.file("Link.htm")));
}

TEST(SiteLock, OneJobAtATime) {
    Fixture f;
    std::optional<SiteLock> first(std::in_place, f.site.path());
    EXPECT_FALSE(first->busy());
    EXPECT_TRUE(SiteLock(f.site.path() + "/").busy());
    first.reset();
    EXPECT_FALSE(SiteLock(f.site.path()).busy());
}

// ---- recording fails

TEST(UndoJournalRecording, WithNoPlaceForTheJournalTheRenameIsNotMade) {
    Fixture f;
    const std::string blocker = f.state.write("not-a-directory", "");
    EnvVar xdg("XDG_STATE_HOME", blocker);
    f.site.write("a.htm", "A");
    auto top = std::make_unique<DirNode>(f.site.path());
    NodeFactory creator;
    top->update(creator, true);
    Node* node = nullptr;
    ASSERT_TRUE(top->findChild("a.htm", &node));

    auto journal = UndoJournal::start(f.site.path(), "fix");
    JournalScope scope(journal.get());
    EXPECT_EQ(names::renameNode(*node, "b.htm"), -1);
    EXPECT_TRUE(exists(f.site.file("a.htm")));
    EXPECT_EQ(node->path(), f.site.file("a.htm"));
    const std::string errors = f.errors();
    EXPECT_NE(errors.find("undo journal"), std::string::npos) << errors;
    EXPECT_NE(errors.find(f.site.file("a.htm")), std::string::npos) << errors;
    EXPECT_NE(errors.find("Failed to rename file"), std::string::npos) << errors;
}

TEST(UndoJournalRecording, AFullDiskRefusesTheEntryAndTheNextOneStillCounts) {
    Fixture f;
    f.site.write("a", "A");
    f.site.write("c", "C");
    auto journal = UndoJournal::start(f.site.path(), "fix");
    FaultyDisk disk;
    disk.writesUnder = f.state.path();
    disk.bytesBeforeFailure = 0;
    platform::DiskScope scope(disk);
    // The journal itself cannot be made.
    EXPECT_FALSE(journal->willRename(f.site.file("a"), f.site.file("b")));
    EXPECT_NE(f.errors().find(f.site.file("a")), std::string::npos);
    disk.bytesBeforeFailure = 1 << 30;
    rename(*journal, f.site.file("c"), f.site.file("d"));
    // Now the disk fills up in the middle of an entry: the part of a line written is cut off again, so
    // that no damaged line is left for the undo to report.
    const std::string path = undoDirectory(f.site.path()) + "/journal";
    const auto whole = fs::file_size(path);
    disk.bytesBeforeFailure = whole + 20;
    EXPECT_FALSE(journal->willRename(f.site.file("a"), f.site.file("b")));
    EXPECT_EQ(fs::file_size(path), whole);
    disk.bytesBeforeFailure = 1 << 30;
    rename(*journal, f.site.file("a"), f.site.file("b"));
    journal.reset();

    const UndoOutcome outcome = f.undo();
    EXPECT_EQ(outcome.renamed, 2u);
    EXPECT_EQ(outcome.damagedLines, 0u);
    EXPECT_EQ(readFile(f.site.file("a")), "A");
    EXPECT_EQ(readFile(f.site.file("c")), "C");
}

}  // namespace
}  // namespace korvel::jobs
