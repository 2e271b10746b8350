#include "files/line_ends.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "faulty_disk.h"
#include "log_capture.h"
#include "names/read_only_policy.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "report/app_log.h"
#include "report/external_page.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "site/change_journal.h"
#include "site/node.h"
#include "site/traverse.h"
#include "support/korvel_outputs.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/prompts.h"

namespace korvel::files {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using korvel::testing::detail;
using korvel::testing::FaultyDisk;
using korvel::testing::LogCapture;
using korvel::testing::readFile;
using korvel::testing::TempDir;

const std::string kAllCompatible = "All files had compatible ASCII line endings!";
GUIProgress quiet;

std::unique_ptr<DirNode> scan(const std::string& top) {
    auto root = std::make_unique<DirNode>(top);
    NodeFactory creator;
    root->update(creator, true);
    return root;
}

FileNode* fileAt(DirNode& top, std::string_view name) {
    Node* node = nullptr;
    return top.findChild(name, &node) ? dynamic_cast<FileNode*>(node) : nullptr;
}

// The errors section without its heading.
std::string errorsOf(LogScope& log) {
    std::string text = log.log().sectionText(res::kSectionErrors);
    for (int line = 0; line < 3 && !text.empty(); ++line)
        text.erase(0, text.find('\n') + 1);
    return text;
}

std::string changedOf(LogScope& log) {
    return log.log().sectionText(res::kSectionChangedLineEnds);
}

struct Conversion {
    const char* name;
    std::string in;
    LineEndKind target;
    std::string out;
};

class ConvertLineEndsTest : public ::testing::TestWithParam<Conversion> {};

TEST_P(ConvertLineEndsTest, ReplacesEveryLineEndAndNothingElse) {
    EXPECT_EQ(convertLineEnds(GetParam().in, GetParam().target), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertLineEndsTest,
    ::testing::Values(Conversion{"DosToUnix", "a\r\nb\r\n", kLf, "a\nb\n"},
                      Conversion{"UnixToDos", "a\nb\n", kCrLf, "a\r\nb\r\n"},
                      Conversion{"MacToUnix", "a\rb\r", kLf, "a\nb\n"},
                      Conversion{"MixedToUnix", "a\r\nb\nc\rd", kLf, "a\nb\nc\nd"},
                      Conversion{"MixedToDos", "a\r\nb\nc\rd", kCrLf, "a\r\nb\r\nc\r\nd"},
                      Conversion{"MixedToMac", "a\r\nb\nc\rd", kCr, "a\rb\rc\rd"},
                      Conversion{"LfCrIsTwo", "\n\r", kCrLf, "\r\n\r\n"},
                      Conversion{"LineBytesStay", "x\0\xff\xa9\r\n\0y"s, kLf, "x\0\xff\xa9\n\0y"s}),
    [](const auto& info) { return std::string(info.param.name); });

// Records the replacements it is told of, and refuses them when asked to.
class RecordingJournal : public ChangeJournal {
  public:
    bool refuse = false;
    std::vector<std::vector<std::string>> replaced;  // path, before, after
    std::vector<ContentChange> why;

    bool willReplace(std::string_view path, std::string_view before, std::string_view after,
                     const ContentChange& change) override {
        replaced.push_back({std::string(path), std::string(before), std::string(after)});
        why.push_back(change);
        return !refuse;
    }
    bool willRename(std::string_view, std::string_view) override { return false; }
    bool willMakeDirectory(std::string_view) override { return false; }
    bool willRemoveDirectory(std::string_view) override { return false; }
    bool willTrash(std::string_view) override { return false; }
    void trashed(std::string_view, std::string_view) override {}
};

TEST(RewriteLineEnds, ChangesNothingUnlessTheJournalRecordedTheExactChange) {
    LogCapture log;
    TempDir dir;
    const std::string path = dir.write("a.txt", "one\r\ntwo\r\nthree");
    FileNode node(path);
    ASSERT_TRUE(node.buildLineIndex());
    RecordingJournal journal;
    JournalScope scope(&journal);
    journal.refuse = true;
    EXPECT_FALSE(rewriteLineEnds(node, kLf));
    EXPECT_EQ(readFile(path), "one\r\ntwo\r\nthree");
    EXPECT_EQ(node.lineEnd(), kCrLf);

    journal.refuse = false;
    EXPECT_TRUE(rewriteLineEnds(node, kLf));
    EXPECT_EQ(readFile(path), "one\ntwo\nthree");
    EXPECT_EQ(node.lineEnd(), kLf);
    EXPECT_TRUE(node.lineIndex().empty());  // it described the old bytes
    const std::vector<std::string> expected{path, "one\r\ntwo\r\nthree", "one\ntwo\nthree"};
    EXPECT_EQ(journal.replaced, (std::vector<std::vector<std::string>>{expected, expected}));
    EXPECT_EQ(journal.why.back(), (ContentChange{ContentChange::Kind::LineEnds, kCrLf, kLf, {}, {}}));
    EXPECT_EQ(log.errors(), "");
}

TEST(RewriteLineEnds, WritesNothingWhenThereIsNothingToChange) {
    LogCapture log;
    TempDir dir;
    for (const char* content : {"one\ntwo\nthree", "no line end", ""}) {
        const std::string path = dir.write("a.txt", content);
        const auto old = fs::last_write_time(path) - std::chrono::hours(24 * 365);
        fs::last_write_time(path, old);
        FileNode node(path);
        EXPECT_FALSE(rewriteLineEnds(node, kLf)) << content;
        EXPECT_EQ(fs::last_write_time(path), old) << content;
    }
    EXPECT_EQ(log.errors(), "");
}

// A file system whose replacing rename fails.
class RefusingDisk : public FaultyDisk {
  public:
    int renameReplace(const char*, const char*) override {
        errno = EIO;
        return -1;
    }
};

class FailedReplaceTest : public ::testing::TestWithParam<bool> {};

TEST_P(FailedReplaceTest, LeavesTheOriginalWholeAndListsNothing) {
    TempDir dir;
    const std::string path = dir.write("a.txt", "one\r\ntwo\r\n");
    auto top = scan(dir.path());
    LineEndList list;
    list.insert(fileAt(*top, "a.txt"));
    RefusingDisk refusing;
    FaultyDisk full;
    full.writesUnder = dir.path();
    full.bytesBeforeFailure = 3;
    LogScope log;
    {
        platform::DiskScope scope(GetParam() ? static_cast<platform::Disk&>(full) : refusing);
        EXPECT_EQ(updateLineEnds(*top, kLf, list, 2, &quiet), 0);
    }
    EXPECT_EQ(readFile(path), "one\r\ntwo\r\n");
    EXPECT_EQ(korvel::testing::entriesOf(dir.path()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(fileAt(*top, "a.txt")->lineEnd(), kCrLf);
    EXPECT_NE(log.log().sectionText(res::kSectionErrors).find(detail(res::kFileWriteFailed, path)),
              std::string::npos);
    EXPECT_EQ(changedOf(log).find("->"), std::string::npos);
    EXPECT_NE(changedOf(log).find(kAllCompatible), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Failures, FailedReplaceTest, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "FullDisk" : "RenameFails");
});

TEST(LineEndPasses, ListConvertAndReportTheFilesThatDiffer) {
    TempDir dir;
    dir.write("a_dos.txt", "one\r\ntwo\r\n");
    dir.write("b_unix.txt", "one\ntwo\n");
    dir.write("c_mac.txt", "one\rtwo");
    dir.write("d_empty.txt", "");
    dir.write("e_noend.txt", std::string(30000, 'x'));
    dir.write("f_late.txt", std::string(25000, 'a') + "\r\nb\r\n");
    dir.write("g_binary.txt", "\xe9\r\n");
    dir.write("h_nul.txt", "a\0b\r\n"s);  // the first look stops at the NUL
    dir.write("page.htm", "<p>\r\n");
    dir.write("sub/z.txt", "z\r\n");
    fs::create_symlink(dir.file("a_dos.txt"), dir.file("zlink.txt"));
    auto top = scan(dir.path());
    korvel::testing::ScriptedPrompts prompts;
    ui::PromptsScope promptsScope(prompts);
    LogScope log;

    LineEndList list;
    EXPECT_EQ(checkLineEnds(*top, kLf, list, 20), 6);
    std::vector<std::string> listed;
    for (FileNode* node : list)
        listed.push_back(fs::relative(node->path(), dir.path()));
    EXPECT_EQ(listed, (std::vector<std::string>{"a_dos.txt", "c_mac.txt", "f_late.txt", "h_nul.txt",
                                                "page.htm", "sub/z.txt"}));
    // As the verification list does with a file the person unchecks.
    EXPECT_EQ(list.erase(fileAt(*top, "page.htm")), 1u);
    EXPECT_EQ(updateLineEnds(*top, kLf, list, 20), 4);

    for (const auto& [name, content] :
         std::vector<std::pair<const char*, std::string>>{{"a_dos.txt", "one\ntwo\n"},
                                                          {"c_mac.txt", "one\ntwo"},
                                                          {"e_noend.txt", std::string(30000, 'x')},
                                                          {"f_late.txt", std::string(25000, 'a') + "\nb\n"},
                                                          {"g_binary.txt", "\xe9\r\n"},
                                                          {"h_nul.txt", "a\0b\r\n"s},
                                                          {"page.htm", "<p>\r\n"},
                                                          {"sub/z.txt", "z\n"}})
        EXPECT_EQ(readFile(dir.file(name)), content) << name;
    std::string rows;
    for (const char* name : {"a_dos.txt", "c_mac.txt", "f_late.txt", "sub/z.txt"})
        rows += (name[0] == 'c' ? "Mac  -> UNIX:  " : "DOS  -> UNIX:  ") + dir.file(name) + "\n";
    EXPECT_NE(changedOf(log).find(rows), std::string::npos) << changedOf(log);
    EXPECT_EQ(errorsOf(log), detail(res::kNotTextNul, dir.file("h_nul.txt")));
    EXPECT_EQ(prompts.progressTitles(),
              (std::vector<std::string>{"Searching for ASCII Files", "Updating ASCII Line Ends"}));
}

TEST(LineEndPasses, ALateCrLfSplitAcrossReadBlocksIsOneLineEnd) {
    TempDir dir;
    dir.write("big.txt", std::string(65535, 'a') + "\r\nb");
    auto top = scan(dir.path());
    LogScope log;
    LineEndList dos;
    EXPECT_EQ(checkLineEnds(*top, kCrLf, dos, 2, &quiet), 0);
    LineEndList mac;
    EXPECT_EQ(checkLineEnds(*top, kCr, mac, 2, &quiet), 1);
}

TEST(LineEndPasses, ReportRowOfUnixToDosAndTheLineWhenNothingWasConverted) {
    TempDir dir;
    const std::string path = dir.write("u.txt", "a\nb");
    auto top = scan(dir.path());
    for (const std::string& expected : {"\nUNIX ->  DOS:  " + path + "\n", "\n\n" + kAllCompatible + "\n"}) {
        LogScope log;
        LineEndList list;
        checkLineEnds(*top, kCrLf, list, 2, &quiet);
        updateLineEnds(*top, kCrLf, list, 2, &quiet);
        EXPECT_NE(changedOf(log).find(expected), std::string::npos) << changedOf(log);
    }
}

struct ReadOnlyCase {
    const char* name;
    std::int32_t policy;
    std::vector<ui::ReadOnlyAnswer> answers;
    bool converted;
    int messageId;
};

class ReadOnlyTest : public ::testing::TestWithParam<ReadOnlyCase> {};

// Read-only by its mode for everyone, root included; a rewrite the person allows keeps that mode, also when
// it takes its place only at the commit of a batch, as in a fix.
TEST_P(ReadOnlyTest, AsksThePolicyAndKeepsTheExactMode) {
    const ReadOnlyCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("r.txt", "a\r\nb\r\n");
    ::chmod(path.c_str(), 0440);
    auto top = scan(dir.path());
    ASSERT_TRUE(fileAt(*top, "r.txt")->isReadOnly());
    korvel::testing::ScriptedPrompts prompts;
    for (auto answer : c.answers)
        prompts.expectReadOnly(answer);
    ui::PromptsScope promptsScope(prompts);
    LogScope log;
    std::int32_t autoReadOnly = c.policy;
    names::ReadOnlyPolicyScope policy(autoReadOnly);
    LineEndList list;
    checkLineEnds(*top, kLf, list, 2, &quiet);

    {
        platform::ReplaceBatch batch([] { return true; }, {});
        EXPECT_EQ(updateLineEnds(*top, kLf, list, 2, &quiet), c.converted ? 1 : 0);
    }
    EXPECT_EQ(readFile(path), c.converted ? "a\nb\n" : "a\r\nb\r\n");
    EXPECT_EQ(korvel::testing::modeOf(path), 0440);
    EXPECT_EQ(errorsOf(log), detail(c.messageId, path));
}

using A = ui::ReadOnlyAnswer;
INSTANTIATE_TEST_SUITE_P(
    Policies, ReadOnlyTest,
    ::testing::Values(ReadOnlyCase{"AskNo", kReadOnlyAsk, {A::No}, false, res::kReadOnlySkipped},
                      ReadOnlyCase{"Skip", kReadOnlySkip, {}, false, res::kReadOnlySkipped},
                      ReadOnlyCase{"AskYes", kReadOnlyAsk, {A::Yes}, true, res::kReadOnlyKept},
                      ReadOnlyCase{"MakeWritable", kReadOnlyMakeWritable, {}, true, res::kReadOnlyKept}),
    [](const auto& info) { return std::string(info.param.name); });

// Only text as a whole is converted; what is not is listed with the reason. Korvel's own files are not the
// site's text, but a file that only bears one of their names is.
TEST(LineEndPasses, ConvertOnlyWholeTextAndNeverKorvelsOwnFiles) {
    TempDir dir;
    const std::string ownPage = testing::korvelExternalPage();
    const std::string ownLog = testing::korvelRenameLog();
    dir.write("report_of_external_refs.html", ownPage);
    dir.write("RENAME.LOG", ownLog);
    dir.write("sub/RENAME.LOG", ownLog);
    dir.write("notes/RENAME.LOG", "my own notes\n");
    dir.write("a.tar", "a.txt\0\0\0\0000644\0line\n"s);
    dir.write("utf16.htm", "\xFF\xFE<\0p\0>\0\n\0"s);
    dir.write("cjk.htm", "\xFE\xFF\x4E\x0A\x4E\x0D"s);  // no NUL, but each LF or CR is half a character
    dir.write("utf16.txt", "<\0p\0>\0\n\0"s);
    auto top = scan(dir.path());
    LogScope log;
    LineEndList list;
    checkLineEnds(*top, kCrLf, list, 20, &quiet);

    EXPECT_EQ(updateLineEnds(*top, kCrLf, list, 20, &quiet), 1);

    EXPECT_EQ(readFile(dir.file("report_of_external_refs.html")), ownPage);
    EXPECT_EQ(readFile(dir.file("RENAME.LOG")), ownLog);
    EXPECT_EQ(readFile(dir.file("sub/RENAME.LOG")), ownLog);
    EXPECT_EQ(readFile(dir.file("notes/RENAME.LOG")), "my own notes\r\n");
    EXPECT_EQ(readFile(dir.file("a.tar")), "a.txt\0\0\0\0000644\0line\n"s);
    EXPECT_EQ(readFile(dir.file("utf16.htm")), "\xFF\xFE<\0p\0>\0\n\0"s);
    EXPECT_EQ(readFile(dir.file("cjk.htm")), "\xFE\xFF\x4E\x0A\x4E\x0D"s);
    EXPECT_EQ(readFile(dir.file("utf16.txt")), "<\0p\0>\0\n\0"s);
    const std::string errors = log.log().sectionText(res::kSectionErrors);
    for (const auto& [name, id] :
         std::vector<std::pair<const char*, int>>{{"a.tar", res::kNotTextNul},
                                                  {"utf16.htm", res::kNotTextWideBom},
                                                  {"cjk.htm", res::kNotTextWideBom},
                                                  {"utf16.txt", res::kNotTextNul}})
        EXPECT_NE(errors.find(detail(id, dir.file(name))), std::string::npos) << name << errors;
    EXPECT_EQ(errors.find("RENAME.LOG"), std::string::npos) << errors;
}

// A file that also has a name elsewhere is left alone unless the job says to split it; a split one tells
// the journal which other name in the site it had, so that the undo can join them again.
TEST(LineEndPasses, AFileWithOtherNamesFollowsTheHardLinkPolicy) {
    for (const std::int32_t hardLinks : {kHardLinksSkip, kHardLinksSplit}) {
        SCOPED_TRACE(hardLinks);
        TempDir outside;
        TempDir dir;
        const std::string a = dir.write("a.txt", "a\r\n");
        const std::string b = dir.file("sub/b.txt");
        dir.mkdir("sub");
        ASSERT_EQ(::link(a.c_str(), b.c_str()), 0);
        const std::string c = dir.write("c.txt", "c\r\n");
        const std::string elsewhere = outside.file("c.txt");
        ASSERT_EQ(::link(c.c_str(), elsewhere.c_str()), 0);
        auto top = scan(dir.path());
        LogScope log;
        RecordingJournal journal;
        JournalScope journalScope(&journal);
        HardLinkScope policy(hardLinks);
        LineEndList list;
        list.insert(fileAt(*top, "a.txt"));
        list.insert(fileAt(*top, "c.txt"));

        EXPECT_EQ(updateLineEnds(*top, kLf, list, 5, &quiet), hardLinks == kHardLinksSplit ? 2 : 0);

        const bool split = hardLinks == kHardLinksSplit;
        EXPECT_EQ(readFile(a), split ? "a\n" : "a\r\n");
        EXPECT_EQ(readFile(c), split ? "c\n" : "c\r\n");
        EXPECT_EQ(readFile(b), "a\r\n");
        EXPECT_EQ(readFile(elsewhere), "c\r\n");
        if (split) {
            ASSERT_EQ(journal.why.size(), 2u);
            EXPECT_EQ(journal.why[0].hardLinkOf, b);
            EXPECT_EQ(journal.why[1].hardLinkOf, "");
        } else {
            EXPECT_TRUE(journal.why.empty());
            EXPECT_EQ(errorsOf(log), detail(res::kHardLinkSkipped, a) + detail(res::kHardLinkSkipped, c));
        }
    }
}

}  // namespace
}  // namespace korvel::files
