#include "names/rename_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::unique_ptr<EDirNode> scan(const std::string& top) {
    auto root = std::make_unique<EDirNode>(top);
    ENodeCreator creator;
    root->update(creator, true);
    return root;
}

// The node at "rel" below "top", by its current path.
ENode* nodeAt(EDirNode& top, const std::string& rel) {
    ENode* node = &top;
    for (const auto& part : fs::path(rel)) {
        ENode* child = nullptr;
        if (!node->findChild(part.string(), &child) || child->getFileName() != part.string()) return nullptr;
        node = child;
    }
    return node;
}

std::vector<ENode*> allNodes(EDirNode& top) {
    std::vector<ENode*> out;
    TIterPreOrderTyped<ENode*> it(&top);
    for (it.first(); !it.isDone(); it.next())
        out.push_back(it.currentItem());
    return out;
}

// Every node names the entry it was made for, where that entry is now: a file's content is the one first
// found at its original path. "before" is the snapshot taken when the tree was scanned.
void expectPathsTellTheTruth(EDirNode& top, const Snapshot& before) {
    for (ENode* node : allNodes(top)) {
        struct stat st {};
        ASSERT_EQ(::lstat(node->path().c_str(), &st), 0) << node->path() << " is not on disk";
        if (node == &top) continue;
        const std::string rel = fs::relative(node->originalPath(), top.path()).string();
        const auto it = before.find(rel);
        ASSERT_NE(it, before.end()) << rel;
        if (it->second.first != "/") {
            EXPECT_EQ(readFile(node->path()), it->second.first) << node->path();
        }
        if (ENode* parent = node->getParent()) {
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

class RenameThenUndo : public ::testing::TestWithParam<Scenario> {};

TEST_P(RenameThenUndo, RenamesAsAskedAndUndoRestoresTheExactTree) {
    const Scenario& s = GetParam();
    TempDir dir;
    for (const auto& f : s.files)
        f.back() == '/' ? (void)dir.mkdir(f) : (void)dir.write(f, "<" + f + ">");
    const Snapshot original = snapshot(dir.path());
    auto top = scan(dir.path());
    for (const auto& [rel, name] : s.newNames) {
        ENode* node = nodeAt(*top, rel);
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
    std::map<std::string, ENode*> byOriginal;
    for (ENode* node : allNodes(*top))
        byOriginal[node->originalPath()] = node;
    for (const auto& [rel, name] : s.newNames)
        EXPECT_EQ(byOriginal.at(dir.file(rel))->getFileName(), name) << rel;

    EXPECT_EQ(undoRenaming(*top, history, false, &quiet), static_cast<std::int32_t>(s.newNames.size()));
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(snapshot(dir.path()), original);
    for (ENode* node : allNodes(*top))
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

}  // namespace
}  // namespace korvel::names
