#include "names/rename_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "names/read_only_policy.h"
#include "platform/disk.h"
#include "report/app_log.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "site/change_journal.h"
#include "site/node.h"
#include "site/traverse.h"
#include "support/faulty_disk.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace korvel::names {
namespace {

namespace fs = std::filesystem;
using testing::FaultyDisk;
using testing::modeOf;
using testing::readFile;
using testing::ScriptedPrompts;
using testing::TempDir;

// What a tree holds: every entry below the top by relative path, with its content ("/" for a directory)
// and its mode. "RENAME.LOG" files are the job's record, not the site's, and are left out.
using Snapshot = std::map<std::string, std::pair<std::string, mode_t>>;

Snapshot snapshot(const std::string& top) {
    Snapshot out;
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == "RENAME.LOG") continue;
        const std::string full = it->path().string();
        const std::string rel = fs::relative(it->path(), top).string();
        out[rel] = {it->is_directory() ? "/" : readFile(full), modeOf(full)};
    }
    return out;
}

std::unique_ptr<DirNode> scan(const std::string& top) {
    auto root = std::make_unique<DirNode>(top);
    NodeFactory creator;
    root->update(creator, true);
    return root;
}

// The node at "rel" below "top", by its current path.
Node* nodeAt(DirNode& top, const std::string& rel) {
    Node* node = &top;
    for (const auto& part : fs::path(rel)) {
        Node* child = nullptr;
        if (!node->findChild(part.string(), &child) || child->getFileName() != part.string()) return nullptr;
        node = child;
    }
    return node;
}

std::vector<Node*> allNodes(DirNode& top) {
    std::vector<Node*> out;
    TypedWalk<Node*> it(&top);
    for (it.first(); !it.isDone(); it.next())
        out.push_back(it.currentItem());
    return out;
}

// Every node names the entry it was made for, where that entry is now: a file's content is the one first
// found at its original path. "before" is the snapshot taken when the tree was scanned.
void expectPathsTellTheTruth(DirNode& top, const Snapshot& before) {
    for (Node* node : allNodes(top)) {
        struct stat st {};
        ASSERT_EQ(::lstat(node->path().c_str(), &st), 0) << node->path() << " is not on disk";
        if (node == &top) continue;
        const std::string rel = fs::relative(node->originalPath(), top.path()).string();
        const auto it = before.find(rel);
        ASSERT_NE(it, before.end()) << rel;
        if (it->second.first != "/") {
            EXPECT_EQ(readFile(node->path()), it->second.first) << node->path();
        }
        if (Node* parent = node->getParent()) {
            EXPECT_EQ(fs::path(node->path()).parent_path().string(), parent->path());
        }
    }
}

// A progress that shows nothing and never cancels.
GUIProgress quiet;

struct Scenario {
    const char* name;
    std::vector<std::string> files;  // relative paths, the content of each is its own path
    std::vector<std::pair<std::string, std::string>> newNames;  // relative path -> new name
    std::vector<std::string> expected;                          // every relative path after the renaming
};

void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

class RenameThenUndo : public ::testing::TestWithParam<Scenario> {};

TEST_P(RenameThenUndo, RenamesAsAskedAndUndoRestoresTheExactTree) {
    const Scenario& s = GetParam();
    TempDir dir;
    for (const auto& f : s.files)
        f.back() == '/' ? (void)dir.mkdir(f) : (void)dir.write(f, "<" + f + ">");
    const Snapshot original = snapshot(dir.path());
    auto top = scan(dir.path());
    for (const auto& [rel, name] : s.newNames) {
        Node* node = nodeAt(*top, rel);
        ASSERT_TRUE(node) << rel;
        node->setNewName(name);
    }

    LogScope log;
    RenameHistory history;
    EXPECT_EQ(renameFiles(*top, false, 100, history, &quiet), static_cast<std::int32_t>(s.newNames.size()));
    std::vector<std::string> after;
    for (const auto& [rel, entry] : snapshot(dir.path()))
        after.push_back(rel);
    EXPECT_EQ(after, s.expected);
    expectPathsTellTheTruth(*top, original);
    EXPECT_EQ(log.log().errorSection(), nullptr) << log.log().sectionText(res::kSectionErrors);
    std::map<std::string, Node*> byOriginal;
    for (Node* node : allNodes(*top))
        byOriginal[node->originalPath()] = node;
    for (const auto& [rel, name] : s.newNames)
        EXPECT_EQ(byOriginal.at(dir.file(rel))->getFileName(), name) << rel;

    EXPECT_EQ(undoRenaming(*top, history, false, &quiet), static_cast<std::int32_t>(s.newNames.size()));
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(snapshot(dir.path()), original);
    for (Node* node : allNodes(*top))
        EXPECT_EQ(node->path(), node->originalPath());
    EXPECT_EQ(log.log().errorSection(), nullptr) << log.log().sectionText(res::kSectionErrors);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, RenameThenUndo,
    ::testing::Values(
        Scenario{"OneFile", {"a.htm"}, {{"a.htm", "b.htm"}}, {"b.htm"}},
        // Renaming re-sorts a directory's children; none may be skipped or renamed twice.
        Scenario{"SiblingsThatSortAfterwards",
                 {"a.htm", "b.htm", "c.htm", "d.htm"},
                 {{"a.htm", "z.htm"}, {"b.htm", "y.htm"}, {"c.htm", "x.htm"}},
                 {"d.htm", "x.htm", "y.htm", "z.htm"}},
        Scenario{
            "DirectoryAndItsContents",
            {"Img/", "Img/One.GIF", "Img/two.gif", "Img/Sub/deep.htm"},
            {{"Img", "img"}, {"Img/One.GIF", "one.gif"}, {"Img/Sub", "sub"}, {"Img/Sub/deep.htm", "d.htm"}},
            {"img", "img/one.gif", "img/sub", "img/sub/d.htm", "img/two.gif"}},
        Scenario{
            "SwapPair", {"a.htm", "b.htm"}, {{"a.htm", "b.htm"}, {"b.htm", "a.htm"}}, {"a.htm", "b.htm"}},
        // The two extension mappings htm -> html and html -> htm over names that share a base.
        Scenario{"BothWaysExtensionMap",
                 {"x.htm", "x.html", "y.htm"},
                 {{"x.htm", "x.html"}, {"x.html", "x.htm"}, {"y.htm", "y.html"}},
                 {"x.htm", "x.html", "y.html"}},
        Scenario{"Chain", {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}, {"c", "d"}}, {"b", "c", "d"}},
        Scenario{"Ring", {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}, {"c", "a"}}, {"a", "b", "c"}},
        Scenario{"CaseOnly", {"Index.HTM"}, {{"Index.HTM", "index.htm"}}, {"index.htm"}},
        // A case twin that moves away first frees the name.
        Scenario{"CaseOnlyWithTwinMovingAway",
                 {"Index.htm", "index.htm"},
                 {{"Index.htm", "index.htm"}, {"index.htm", "index_1.htm"}},
                 {"index.htm", "index_1.htm"}},
        Scenario{"DirectoriesThatSwap",
                 {"one/", "one/a.txt", "two/", "two/b.txt"},
                 {{"one", "two"}, {"two", "one"}, {"two/b.txt", "c.txt"}},
                 {"one", "one/c.txt", "two", "two/a.txt"}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// ---- a failure at any step

// A tree whose renaming takes a direct rename, a directory with contents, and a swap through a temporary
// name: a failure injected at each of its disk renames in turn.
struct Site {
    TempDir dir;
    std::unique_ptr<DirNode> top;
    Snapshot original;

    Site() {
        dir.write("a.htm", "A");
        dir.write("b.htm", "B");
        dir.write("Pics/x.GIF", "X");
        dir.write("Pics/y.gif", "Y");
        dir.write("z.htm", "Z");
        original = snapshot(dir.path());
        top = scan(dir.path());
        nodeAt(*top, "a.htm")->setNewName("b.htm");
        nodeAt(*top, "b.htm")->setNewName("a.htm");
        nodeAt(*top, "Pics")->setNewName("pics");
        nodeAt(*top, "Pics/x.GIF")->setNewName("x.gif");
        nodeAt(*top, "z.htm")->setNewName("zz.htm");
    }
};

int countRenames(Site& site) {
    LogScope log;
    RenameHistory history;
    int calls = 0;
    FaultyDisk counting;
    counting.refuseRename = [&](const std::string&, const std::string&) {
        ++calls;
        return 0;
    };
    platform::DiskScope scope(counting);
    renameFiles(*site.top, false, 10, history, &quiet);
    return calls;
}

TEST(RenameFailure, AtEveryStepThePathsTellTheTruthAndUndoRestoresTheTree) {
    const int steps = [] {
        Site site;
        return countRenames(site);
    }();
    ASSERT_GE(steps, 7);
    for (int failAt = 1; failAt <= steps + 1; ++failAt) {
        SCOPED_TRACE("rename " + std::to_string(failAt) + " fails");
        Site site;
        LogScope log;
        RenameHistory history;
        {
            int calls = 0;
            FaultyDisk disk;
            disk.refuseRename = [&](const std::string&, const std::string&) {
                return ++calls == failAt ? EIO : 0;
            };
            platform::DiskScope scope(disk);
            renameFiles(*site.top, false, 10, history, &quiet);
        }
        expectPathsTellTheTruth(*site.top, site.original);
        if (failAt <= steps) {
            EXPECT_NE(log.log().sectionText(res::kSectionErrors).find("Failed to rename file"),
                      std::string::npos);
        }
        // Every step of the history was really done: replaying it backwards needs no step to fail.
        undoRenaming(*site.top, history, false, &quiet);
        EXPECT_EQ(snapshot(site.dir.path()), site.original);
        expectPathsTellTheTruth(*site.top, site.original);
        for (Node* node : allNodes(*site.top))
            EXPECT_EQ(node->path(), node->originalPath());
    }
}

TEST(RenameFailure, TheChildrenOfADirectoryThatFailedKeepTheirRealPaths) {
    TempDir dir;
    dir.write("Pics/x.GIF", "X");
    const Snapshot original = snapshot(dir.path());
    auto top = scan(dir.path());
    nodeAt(*top, "Pics")->setNewName("pics");
    nodeAt(*top, "Pics/x.GIF")->setNewName("x.gif");
    LogScope log;
    RenameHistory history;
    FaultyDisk disk;
    disk.refuseRename = [](const std::string& from, const std::string&) {
        return from.ends_with("/Pics") ? EACCES : 0;
    };
    platform::DiskScope scope(disk);
    EXPECT_EQ(renameFiles(*top, false, 10, history, &quiet), 1);
    EXPECT_EQ(nodeAt(*top, "Pics")->path(), dir.file("Pics"));
    EXPECT_EQ(nodeAt(*top, "Pics/x.gif")->path(), dir.file("Pics/x.gif"));
    expectPathsTellTheTruth(*top, original);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0], (RenameRecord{dir.file("Pics/x.GIF"), dir.file("Pics/x.gif"), false, std::nullopt,
                                        RenameStep::Whole}));
}

TEST(RenameFailure, ASwapWhoseSecondHalfFailsPutsTheFirstBack) {
    TempDir dir;
    dir.write("a", "A");
    dir.write("b", "B");
    const Snapshot original = snapshot(dir.path());
    auto top = scan(dir.path());
    nodeAt(*top, "a")->setNewName("b");
    nodeAt(*top, "b")->setNewName("a");
    LogScope log;
    RenameHistory history;
    FaultyDisk disk;
    // "b" cannot move: "a", already aside, must come back to its own name.
    disk.refuseRename = [&](const std::string& from, const std::string&) {
        return from == dir.file("b") ? EIO : 0;
    };
    platform::DiskScope scope(disk);
    EXPECT_EQ(renameFiles(*top, false, 10, history, &quiet), 0);
    EXPECT_EQ(snapshot(dir.path()), original);
    expectPathsTellTheTruth(*top, original);
    EXPECT_TRUE(history.empty());
}

TEST(RenameFailure, AnEntryThatCanGoNeitherWayStaysUnderItsTemporaryNameAndUndoBringsItBack) {
    TempDir dir;
    dir.write("a", "A");
    dir.write("b", "B");
    const Snapshot original = snapshot(dir.path());
    auto top = scan(dir.path());
    nodeAt(*top, "a")->setNewName("b");
    nodeAt(*top, "b")->setNewName("a");
    LogScope log;
    RenameHistory history;
    {
        FaultyDisk disk;
        disk.refuseRename = [&](const std::string& from, const std::string&) {
            return from.find("/.el_") != std::string::npos ? EIO : 0;
        };
        platform::DiskScope scope(disk);
        renameFiles(*top, false, 10, history, &quiet);
    }
    expectPathsTellTheTruth(*top, original);
    Node* a = nullptr;
    for (Node* node : allNodes(*top))
        if (node->originalPath() == dir.file("a")) a = node;
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->getFileName().starts_with(".el_"));
    EXPECT_NE(log.log().sectionText(res::kSectionErrors).find("temporary name"), std::string::npos);
    undoRenaming(*top, history, false, &quiet);
    EXPECT_EQ(snapshot(dir.path()), original);
}

// A journal that records renames in memory and refuses the one numbered "refuse" (from 1).
class RefusingJournal : public ChangeJournal {
  public:
    explicit RefusingJournal(int refuse) : refuse_(refuse) {}
    bool willRename(std::string_view from, std::string_view to) override {
        if (++calls_ == refuse_) return false;
        recorded.push_back({std::string(from), std::string(to)});
        return true;
    }
    bool willReplace(std::string_view, std::string_view, std::string_view, const ContentChange&) override {
        return true;
    }
    bool willMakeDirectory(std::string_view) override { return true; }
    bool willRemoveDirectory(std::string_view) override { return true; }
    bool willTrash(std::string_view) override { return true; }
    void trashed(std::string_view, std::string_view) override {}

    std::vector<std::pair<std::string, std::string>> recorded;

  private:
    int refuse_;
    int calls_ = 0;
};

TEST(RenameFailure, ARenameTheJournalCannotRecordIsNotMadeAndEveryRenameMadeWasRecordedFirst) {
    const int steps = [] {
        Site site;
        return countRenames(site);
    }();
    for (int refuse = 1; refuse <= steps; ++refuse) {
        SCOPED_TRACE("record " + std::to_string(refuse) + " is refused");
        Site site;
        LogScope log;
        RenameHistory history;
        RefusingJournal journal(refuse);
        {
            JournalScope scope(&journal);
            renameFiles(*site.top, false, 10, history, &quiet);
        }
        expectPathsTellTheTruth(*site.top, site.original);
        EXPECT_NE(log.log().sectionText(res::kSectionErrors).find("Failed to rename file"),
                  std::string::npos);
        for (const RenameRecord& r : history)
            EXPECT_NE(std::find(journal.recorded.begin(), journal.recorded.end(), std::pair{r.from, r.to}),
                      journal.recorded.end())
                << r.from << " -> " << r.to;
        undoRenaming(*site.top, history, false, &quiet);
        EXPECT_EQ(snapshot(site.dir.path()), site.original);
    }
}

// ---- names that differ only in case

TEST(CaseOnlyRename, ATwinOnDiskMakesItFailAndIsNeverReplaced) {
    TempDir dir;
    dir.write("Index.htm", "upper");
    dir.write("index.htm", "lower");
    const Snapshot original = snapshot(dir.path());
    auto top = scan(dir.path());
    nodeAt(*top, "Index.htm")->setNewName("index.htm");
    LogScope log;
    RenameHistory history;
    EXPECT_EQ(renameFiles(*top, false, 10, history, &quiet), 0);
    EXPECT_EQ(snapshot(dir.path()), original);
    EXPECT_EQ(nodeAt(*top, "Index.htm")->path(), dir.file("Index.htm"));
    EXPECT_TRUE(history.empty());
    EXPECT_NE(log.log().sectionText(res::kSectionErrors).find("Failed to rename file"), std::string::npos);
}

// ---- read-only entries

// Makes the tree's nodes while the files' own modes decide what is read-only, also when the tests run as
// root (who may write anything): the nodes are made as an unprivileged user.
std::unique_ptr<DirNode> scanAsUnprivileged(const TempDir& dir) {
    return testing::asUnprivileged(dir, [&] { return scan(dir.path()); });
}

struct ReadOnlyCase {
    const char* name;
    std::int32_t policy;
    std::vector<ui::ReadOnlyAnswer> answers;
    bool renamed;
    std::int32_t policyAfter;
    int messageId;
};

void PrintTo(const ReadOnlyCase& c, std::ostream* out) {
    *out << c.name;
}

class ReadOnlyPolicyTest : public ::testing::TestWithParam<ReadOnlyCase> {};

TEST_P(ReadOnlyPolicyTest, DecidesWhetherReadOnlyFilesAreRenamedAndKeepsTheirModes) {
    const ReadOnlyCase& c = GetParam();
    TempDir dir;
    dir.write("a.htm", "A");
    dir.write("b.htm", "B");
    dir.mkdir("RO");
    ::chmod(dir.file("a.htm").c_str(), 0444);
    ::chmod(dir.file("b.htm").c_str(), 0440);
    ::chmod(dir.file("RO").c_str(), 0555);
    const Snapshot original = snapshot(dir.path());
    auto top = scanAsUnprivileged(dir);
    if (!top) GTEST_SKIP() << "cannot become an unprivileged user to see read-only files";
    ASSERT_TRUE(nodeAt(*top, "a.htm")->isReadOnly());
    nodeAt(*top, "a.htm")->setNewName("a.html");
    nodeAt(*top, "b.htm")->setNewName("b.html");
    nodeAt(*top, "RO")->setNewName("ro");

    std::int32_t autoReadOnly = c.policy;
    ScriptedPrompts prompts;
    for (auto answer : c.answers)
        prompts.expectReadOnly(answer);
    ui::PromptsScope promptsScope(prompts);
    LogScope log;
    RenameHistory history;
    {
        ReadOnlyPolicyScope policy(autoReadOnly);
        EXPECT_EQ(renameFiles(*top, false, 10, history, &quiet), c.renamed ? 3 : 0);
    }
    EXPECT_EQ(autoReadOnly, c.policyAfter);
    const std::string errors = log.log().sectionText(res::kSectionErrors);
    const std::string message(res::loadString(c.messageId));
    for (const char* name : {"a.htm", "b.htm", "RO"})
        EXPECT_NE(errors.find(message + "\n\t" + dir.file(name) + "\n"), std::string::npos) << errors;
    expectPathsTellTheTruth(*top, original);
    if (!c.renamed) {
        EXPECT_EQ(snapshot(dir.path()), original);
        EXPECT_TRUE(history.empty());
        return;
    }
    // The modes are given back exactly, the directory's execute bits included.
    EXPECT_EQ(modeOf(dir.file("a.html")), 0444);
    EXPECT_EQ(modeOf(dir.file("b.html")), 0440);
    EXPECT_EQ(modeOf(dir.file("ro")), 0555);
    ASSERT_EQ(history.size(), 3u);
    for (const auto& r : history)
        EXPECT_EQ(r.previousMode, modeOf(r.to)) << r.to;
    // Undo asks nothing and restores the tree exactly.
    undoRenaming(*top, history, false, &quiet);
    EXPECT_EQ(snapshot(dir.path()), original);
}

using A = ui::ReadOnlyAnswer;
INSTANTIATE_TEST_SUITE_P(
    Policies, ReadOnlyPolicyTest,
    ::testing::Values(
        ReadOnlyCase{
            "AskYes", kReadOnlyAsk, {A::Yes, A::Yes, A::Yes}, true, kReadOnlyAsk, res::kReadOnlyConverted},
        ReadOnlyCase{
            "AskYesToAll", kReadOnlyAsk, {A::YesToAll}, true, kReadOnlyMakeWritable, res::kReadOnlyConverted},
        ReadOnlyCase{
            "AskNo", kReadOnlyAsk, {A::No, A::No, A::No}, false, kReadOnlyAsk, res::kReadOnlySkipped},
        ReadOnlyCase{"AskNoToAll", kReadOnlyAsk, {A::NoToAll}, false, kReadOnlySkip, res::kReadOnlySkipped},
        ReadOnlyCase{"Skip", kReadOnlySkip, {}, false, kReadOnlySkip, res::kReadOnlySkipped},
        ReadOnlyCase{
            "MakeWritable", kReadOnlyMakeWritable, {}, true, kReadOnlyMakeWritable, res::kReadOnlyConverted}),
    [](const ::testing::TestParamInfo<ReadOnlyCase>& info) { return std::string(info.param.name); });

TEST(ReadOnly, AFileThatCannotBeMadeWritableIsNotRenamed) {
    TempDir dir;
    dir.write("a.htm", "A");
    ::chmod(dir.file("a.htm").c_str(), 0444);
    auto top = scanAsUnprivileged(dir);
    if (!top) GTEST_SKIP() << "cannot become an unprivileged user to see read-only files";
    nodeAt(*top, "a.htm")->setNewName("b.htm");
    std::int32_t autoReadOnly = kReadOnlyMakeWritable;
    ReadOnlyPolicyScope policy(autoReadOnly);
    LogScope log;
    FaultyDisk disk;
    disk.refuseChmod = [](const std::string&) { return EPERM; };
    platform::DiskScope scope(disk);
    RenameHistory history;
    EXPECT_EQ(renameFiles(*top, false, 10, history, &quiet), 0);
    EXPECT_EQ(testing::entriesOf(dir.path()), std::vector<std::string>{"a.htm"});
    EXPECT_NE(
        log.log()
            .sectionText(res::kSectionErrors)
            .find(std::string(res::loadString(res::kReadOnlyConvertFailed)) + "\n\t" + dir.file("a.htm")),
        std::string::npos);
}

TEST(ReadOnly, ThePolicyLastsAsLongAsItsScopeAndAnAnswerIsGivenOncePerFile) {
    TempDir dir;
    dir.write("a.htm", "A");
    ::chmod(dir.file("a.htm").c_str(), 0444);
    auto top = scanAsUnprivileged(dir);
    if (!top) GTEST_SKIP() << "cannot become an unprivileged user to see read-only files";
    Node& a = *nodeAt(*top, "a.htm");
    ScriptedPrompts prompts;
    prompts.expectReadOnly(ui::ReadOnlyAnswer::Yes);
    ui::PromptsScope promptsScope(prompts);
    LogScope log;
    std::int32_t job = kReadOnlyAsk;
    {
        ReadOnlyPolicyScope policy(job);
        WritableGrant first;
        EXPECT_TRUE(confirmWritable(a, first));
        EXPECT_EQ(first.previousMode(), mode_t{0444});
        EXPECT_EQ(modeOf(a.path()) & 0200, 0200u);
        EXPECT_TRUE(first.restore());
        EXPECT_EQ(modeOf(a.path()), 0444);
        WritableGrant second;  // the same file again: no second question
        EXPECT_TRUE(confirmWritable(a, second));
        {
            std::int32_t inner = kReadOnlySkip;
            ReadOnlyPolicyScope nested(inner);
            WritableGrant third;
            EXPECT_FALSE(confirmWritable(a, third));
        }
        WritableGrant fourth;
        EXPECT_TRUE(confirmWritable(a, fourth));
    }
    EXPECT_EQ(modeOf(a.path()), 0444);  // every grant gave the mode back
    // No job's policy in force any more: read-only files are left alone, and nobody is asked.
    WritableGrant after;
    EXPECT_FALSE(confirmWritable(a, after));
    EXPECT_EQ(modeOf(a.path()), 0444);
}

// Read-only when scanned, but writable by the time of the change (or a file whose write bit is there and
// that still cannot be written): nothing is converted, and the report does not say it was.
TEST(ReadOnly, SaysConvertedOnlyWhenTheModeWasChanged) {
    TempDir dir;
    dir.write("a.htm", "A");
    ::chmod(dir.file("a.htm").c_str(), 0444);
    auto top = scanAsUnprivileged(dir);
    if (!top) GTEST_SKIP() << "cannot become an unprivileged user to see read-only files";
    ::chmod(dir.file("a.htm").c_str(), 0644);
    std::int32_t job = kReadOnlyMakeWritable;
    ReadOnlyPolicyScope policy(job);
    LogScope log;

    WritableGrant grant;
    EXPECT_TRUE(confirmWritable(*nodeAt(*top, "a.htm"), grant));

    EXPECT_FALSE(grant.previousMode());
    EXPECT_EQ(log.log().sectionText(res::kSectionErrors), "");
}

// ---- report sections and "RENAME.LOG"

std::string row(std::string first, std::string_view second) {
    first.resize(40, ' ');
    return first + std::string(second) + "\n";
}

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(RenameLogs, OneBannerPerDirectoryPerJobAndOneRowPerRenameAndPerUndo) {
    TempDir dir;
    dir.write("A.htm", "A");
    dir.write("B.htm", "B");
    dir.write("Img/X.gif", "X");
    const Snapshot original = snapshot(dir.path());
    auto top = scan(dir.path());
    nodeAt(*top, "A.htm")->setNewName("a.htm");
    nodeAt(*top, "B.htm")->setNewName("b.htm");
    nodeAt(*top, "Img")->setNewName("img");
    nodeAt(*top, "Img/X.gif")->setNewName("x.gif");
    RenameHistory history;
    std::string renamedSection;
    {
        LogScope log;
        EXPECT_EQ(renameFiles(*top, true, 10, history, &quiet), 4);
        renamedSection = log.log().sectionText(res::kSectionRenamedFiles);
    }
    EXPECT_NE(renamedSection.find(row("New Filename", "Original Filename") + "\n" +
                                  row("a.htm", dir.file("A.htm")) + row("b.htm", dir.file("B.htm")) +
                                  row("img", dir.file("Img")) + row("x.gif", dir.file("Img/X.gif"))),
              std::string::npos)
        << renamedSection;
    // A banner is an empty line, a rule, the date and time, and a rule.
    const std::string rule(40, '=');
    std::string topLog = readFile(dir.file("RENAME.LOG"));
    std::string imgLog = readFile(dir.file("img/RENAME.LOG"));
    EXPECT_EQ(occurrences(topLog, rule), 2) << topLog;
    EXPECT_EQ(occurrences(imgLog, rule), 2) << imgLog;
    EXPECT_TRUE(topLog.ends_with(row("a.htm", dir.file("A.htm")) + row("b.htm", dir.file("B.htm")) +
                                 row("img", dir.file("Img"))))
        << topLog;
    EXPECT_TRUE(imgLog.ends_with(row("x.gif", dir.file("Img/X.gif")))) << imgLog;

    std::string restoredSection;
    {
        LogScope log;
        EXPECT_EQ(undoRenaming(*top, history, true, &quiet), 4);
        restoredSection = log.log().sectionText(res::kSectionRestoredNames);
    }
    EXPECT_NE(restoredSection.find(row("Original Filename", "Modified Filename") + "\n" +
                                   row("X.gif", dir.file("img/x.gif")) + row("Img", dir.file("img")) +
                                   row("B.htm", dir.file("b.htm")) + row("A.htm", dir.file("a.htm"))),
              std::string::npos)
        << restoredSection;
    topLog = readFile(dir.file("RENAME.LOG"));
    imgLog = readFile(dir.file("Img/RENAME.LOG"));
    EXPECT_EQ(occurrences(topLog, rule), 4) << topLog;
    EXPECT_EQ(occurrences(imgLog, rule), 4) << imgLog;
    EXPECT_TRUE(topLog.ends_with(row("Img", dir.file("img")) + row("B.htm", dir.file("b.htm")) +
                                 row("A.htm", dir.file("a.htm"))))
        << topLog;
    EXPECT_TRUE(imgLog.ends_with(row("X.gif", dir.file("img/x.gif")))) << imgLog;
    EXPECT_EQ(snapshot(dir.path()), original);
}

TEST(RenameLogs, WithoutLocalLogsNoRenameLogIsWritten) {
    TempDir dir;
    dir.write("A.htm", "A");
    dir.write("Img/X.gif", "X");
    auto top = scan(dir.path());
    nodeAt(*top, "A.htm")->setNewName("a.htm");
    nodeAt(*top, "Img/X.gif")->setNewName("x.gif");
    RenameHistory history;
    {
        LogScope log;
        EXPECT_EQ(renameFiles(*top, false, 10, history, &quiet), 2);
    }
    {
        LogScope log;
        EXPECT_EQ(undoRenaming(*top, history, false, &quiet), 2);
    }
    EXPECT_EQ(testing::entriesOf(dir.path()), (std::vector<std::string>{"A.htm", "Img"}));
    EXPECT_EQ(testing::entriesOf(dir.file("Img")), std::vector<std::string>{"X.gif"});
}

TEST(RenameSections, NothingToDoGivesTheClosingTexts) {
    TempDir dir;
    dir.write("a.htm", "A");
    auto top = scan(dir.path());
    LogScope log;
    RenameHistory history;
    EXPECT_EQ(reportRenaming(*top, 10, &quiet), 0);
    EXPECT_EQ(renameFiles(*top, false, 10, history, &quiet), 0);
    EXPECT_EQ(undoRenaming(*top, history, false, &quiet), 0);
    const std::string allValid = "\n\n" + std::string(res::loadString(res::kAllNamesValid)) + "\n";
    EXPECT_TRUE(log.log().sectionText(res::kSectionSuggestedNames).find(allValid) != std::string::npos);
    EXPECT_TRUE(log.log().sectionText(res::kSectionRenamedFiles).find(allValid) != std::string::npos);
    EXPECT_NE(
        log.log().sectionText(res::kSectionRestoredNames).find(res::loadString(res::kNothingRenamedToUndo)),
        std::string::npos);
}

TEST(RenameSections, TheSuggestedNamesListEveryNewNameButNeverTheTop) {
    TempDir dir;
    dir.write("A.htm", "A");
    dir.write("Img/X.gif", "X");
    auto top = scan(dir.path());
    top->setNewName("ignored");
    nodeAt(*top, "A.htm")->setNewName("a.htm");
    nodeAt(*top, "Img")->setNewName("img");
    LogScope log;
    EXPECT_EQ(reportRenaming(*top, 10, &quiet), 2);
    const std::string text = log.log().sectionText(res::kSectionSuggestedNames);
    EXPECT_NE(text.find(row("a.htm", dir.file("A.htm")) + row("img", dir.file("Img"))), std::string::npos)
        << text;
    EXPECT_EQ(text.find("ignored"), std::string::npos);
    EXPECT_EQ(text.find(res::loadString(res::kAllNamesValid)), std::string::npos);
    EXPECT_EQ(testing::entriesOf(dir.path()), (std::vector<std::string>{"A.htm", "Img"}));
}

}  // namespace
}  // namespace korvel::names
