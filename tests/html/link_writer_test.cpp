#include "html/link_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "html/url_text.h"
#include "link_site.h"
#include "names/read_only_policy.h"
#include "names/rename_files.h"
#include "platform/disk.h"
#include "platform/files.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "support/faulty_disk.h"

namespace korvel {
namespace {

using testing::LinkSite;
using testing::modeOf;
using testing::readFile;

class FakeJournal : public ChangeJournal {
  public:
    struct Replace {
        std::string path;
        std::string before;
        std::string after;
        ContentChange why;
    };

    bool willRename(std::string_view, std::string_view) override { return true; }
    bool willReplace(std::string_view path, std::string_view before, std::string_view after,
                     const ContentChange& why) override {
        replaces.push_back({std::string(path), std::string(before), std::string(after), why});
        // A journal that refuses says why, as the real one does.
        if (!accept) currentLog().errorDetail(kRefused, path);
        return accept;
    }
    bool willMakeDirectory(std::string_view) override { return true; }
    bool willRemoveDirectory(std::string_view) override { return true; }
    bool willTrash(std::string_view) override { return true; }
    void trashed(std::string_view, std::string_view) override {}

    static constexpr std::string_view kRefused = "not recorded";
    bool accept = true;
    std::vector<Replace> replaces;
};

// The text of message "id" with its path, as the errors section holds it.
std::string detail(std::string_view message, std::string_view path) {
    return std::string(message) + "\n\t" + std::string(path) + "\n";
}

std::string detail(int id, std::string_view path) {
    return detail(res::loadString(id), path);
}

class LinkWriterTest : public LinkSite {
  public:
    const testing::TempDir& site() const { return dir; }

  protected:
    // Renames on disk every node that has a new name, as the fix does before its link pass.
    void rename() {
        names::RenameHistory history;
        ASSERT_GE(names::renameFiles(tree->top(), false, tree->nodeCount(), history), 0);
    }

    // The fix's link pass; returns the number of pages rewritten.
    std::uint32_t fix() {
        FileLinkWriter writer(found.get());
        LinkUpdatePass pass(*found, kUrlKeep, &writer);
        runOverTree(pass);
        return pass.fileCount();
    }

    // Scans with the nodes made by an unprivileged user that owns the site, so that a file without write
    // bits is read-only also when the tests run as root. False when that user cannot be taken on.
    bool scanUnprivileged() {
        if (::geteuid() != 0) {
            scan();
            return true;
        }
        constexpr uid_t kNobody = 65534;
        if (::lchown(dir.path().c_str(), kNobody, kNobody) != 0) return false;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
            if (::lchown(entry.path().c_str(), kNobody, kNobody) != 0) return false;
        if (::seteuid(kNobody) != 0) return false;
        scan();
        EXPECT_EQ(::seteuid(0), 0);
        return true;
    }

    std::string errors() { return logScope.log().sectionText(res::kSectionErrors); }

    // Every local record of "page" reads, at its place in the file, as its text.
    void expectRecordsMatchTheFile(const HtmlNode& page) {
        const std::string bytes = readFile(page.path());
        for (const UrlRecord& url : page.urls()) {
            if (url.has(UrlRecord::kExternal)) continue;
            ASSERT_LT(url.end, static_cast<std::int64_t>(bytes.size())) << url.text;
            const std::string raw = bytes.substr(url.position, url.end - url.position + 1);
            std::string text;
            urlTextInto(raw, text);
            EXPECT_EQ(text, url.text) << raw;
        }
    }
};

TEST_F(LinkWriterTest, RewritesOnlyThePathsOfTheRenamedLinks) {
    const std::string index =
        "<html>\n<a href=\"Docs/Page.htm#sec\">p</a>\n<img src='Img/Logo.GIF?v=2'> "
        "<a href=\"http://other.org/Docs/Page.htm\">x</a> <a href=missing.htm>m</a>\n";
    const std::string page = "<a href=\"../index.html\">home</a>\n\r\n<a href='../Img/Logo.GIF'>";
    dir.write("index.html", index);
    dir.write("Docs/Page.htm", page);
    dir.write("Img/Logo.GIF", "GIF89a");
    scan();
    findLinks();
    node("Docs")->setNewName("docs");
    node("Docs/Page.htm")->setNewName("page.html");
    node("Img/Logo.GIF")->setNewName("logo.gif");
    rename();
    FakeJournal journal;
    JournalScope journalScope(&journal);

    EXPECT_EQ(fix(), 2u);

    const std::string newIndex =
        "<html>\n<a href=\"docs/page.html#sec\">p</a>\n<img src='Img/logo.gif?v=2'> "
        "<a href=\"http://other.org/Docs/Page.htm\">x</a> <a href=missing.htm>m</a>\n";
    const std::string newPage = "<a href=\"../index.html\">home</a>\n\r\n<a href='../Img/logo.gif'>";
    EXPECT_EQ(readFile(dir.file("index.html")), newIndex);
    EXPECT_EQ(readFile(dir.file("docs/page.html")), newPage);

    // The records follow the bytes, the links after an edit included.
    const std::vector<UrlRecord>& urls = this->page("index.html")->urls();
    ASSERT_EQ(urls.size(), 4u);
    EXPECT_EQ(urls[0].text, "docs/page.html");
    EXPECT_EQ(urls[1].text, "Img/logo.gif");
    EXPECT_EQ(urls[3].text, "missing.htm");
    EXPECT_EQ(urls[3].position, static_cast<std::int64_t>(newIndex.find("missing.htm")));
    expectRecordsMatchTheFile(*this->page("index.html"));
    // The index keeps the paths the scan found.
    expectRecordsMatchTheFile(*this->page("Docs/Page.htm"));

    const std::string expected = "\nIn file \"" + dir.file("docs/page.html") + "\"\n" +
                                 LinkSite::atLine(3, "../Img/Logo.GIF") +
                                 "\n   -------->  ../Img/logo.gif (case change)\n\n\n"
                                 "\nIn file \"" +
                                 dir.file("index.html") + "\"\n" + LinkSite::atLine(2, "Docs/Page.htm") +
                                 "\n   -------->  docs/page.html\n" + LinkSite::atLine(3, "Img/Logo.GIF") +
                                 "\n   -------->  Img/logo.gif (case change)\n\n\n";
    // The section ends with the three empty lines of its closing.
    EXPECT_EQ(body(res::kSectionUrlRenaming), expected + "\n\n\n");
    EXPECT_EQ(errors(), "");

    // The journal was told each page's bytes before and after, and each link that changed.
    ASSERT_EQ(journal.replaces.size(), 2u);
    const FakeJournal::Replace& second = journal.replaces[1];
    EXPECT_EQ(second.path, dir.file("index.html"));
    EXPECT_EQ(second.before, index);
    EXPECT_EQ(second.after, newIndex);
    EXPECT_EQ(second.why.kind, ContentChange::Kind::Links);
    EXPECT_EQ(second.why.links, (std::vector<LinkChange>{{2, "Docs/Page.htm", "docs/page.html"},
                                                         {3, "Img/Logo.GIF", "Img/logo.gif"}}));
    EXPECT_EQ(journal.replaces[0].before, page);
    EXPECT_EQ(journal.replaces[0].why.links,
              (std::vector<LinkChange>{{3, "../Img/Logo.GIF", "../Img/logo.gif"}}));
}

// A name that holds the attribute's own quote or a blank cannot end the value: scanned again, each link
// leads to the renamed file.
TEST_F(LinkWriterTest, ANameWithAQuoteOrABlankStaysInsideItsAttribute) {
    dir.write("index.html", "<a href='b.html'>1</a>\n<a href=\"b.html\">2</a>\n<a href=b.html>3</a>\n");
    dir.write("b.html", "");
    scan();
    findLinks();
    node("b.html")->setNewName("it's \"here\".html");
    rename();

    EXPECT_EQ(fix(), 1u);

    EXPECT_EQ(readFile(dir.file("index.html")),
              "<a href='it%27s%20%22here%22.html'>1</a>\n<a href=\"it's%20%22here%22.html\">2</a>\n"
              "<a href=it%27s%20%22here%22.html>3</a>\n");
    tree.reset();
    scan();
    findLinks();
    const std::vector<UrlRecord>& urls = page("index.html")->urls();
    ASSERT_EQ(urls.size(), 3u);
    for (const UrlRecord& url : urls) {
        ASSERT_TRUE(url.target) << url.text;
        EXPECT_EQ(url.target->path(), dir.file("it's \"here\".html"));
    }
}

// A rename that failed or was skipped leaves the file under its old name, and the links to it stay; a
// link through a directory that kept its name is rewritten only where the file below it was renamed.
TEST_F(LinkWriterTest, LinksFollowOnlyTheRenamesThatHappened) {
    for (const bool cleared : {true, false}) {
        SCOPED_TRACE(cleared ? "new names cleared" : "new names kept");
        tree.reset();
        std::filesystem::remove_all(dir.file("sub"));
        const std::string index = "<a href=\"b.html\">b</a> <a href=\"sub/c.html\">c</a>";
        dir.write("index.html", index);
        dir.write("b.html", "");
        dir.write("sub/c.html", "");
        scan();
        findLinks();
        node("b.html")->setNewName("x.html");
        node("sub")->setNewName("s");
        node("sub/c.html")->setNewName("d.html");
        {
            testing::FaultyDisk disk;
            disk.refuseRename = [](const std::string& from, const std::string&) {
                return from.ends_with("/b.html") || from.ends_with("/sub") ? EACCES : 0;
            };
            platform::DiskScope scope(disk);
            rename();
        }
        ASSERT_TRUE(std::filesystem::exists(dir.file("sub/d.html")));
        if (cleared) {
            node("b.html")->setNewName("");
            node("sub")->setNewName("");
        }

        EXPECT_EQ(fix(), 1u);

        EXPECT_EQ(readFile(dir.file("index.html")), "<a href=\"b.html\">b</a> <a href=\"sub/d.html\">c</a>");
    }
}

struct FailureCase {
    const char* name;
    std::string_view message;  // in the errors section, with the page's path
    // Sets the failure up after the scan; what it returns stays in force while the pass runs.
    std::function<std::shared_ptr<void>(LinkWriterTest&)> arrange;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class LinkWriterFailureTest : public LinkWriterTest, public ::testing::WithParamInterface<FailureCase> {
  protected:
    std::string pagePath() const { return dir.file("index.html"); }
};

// Whatever goes wrong, the page is left whole as it was, is not listed as updated, and its records still
// describe it.
TEST_P(LinkWriterFailureTest, LeavesThePageAndItsRecordsAsTheyWere) {
    const std::string index = "<p>\n<a href=\"b.html\">b</a> <a href=\"missing.html\">m</a>\n";
    dir.write("index.html", index);
    dir.write("b.html", "");
    ::chmod(pagePath().c_str(), 0444);
    // Read-only, so that every way out must give the page its mode back.
    const bool readOnly = scanUnprivileged();
    if (!readOnly) {
        if (GetParam().message == res::loadString(res::kReadOnlySkipped)) GTEST_SKIP() << "cannot see read-only files";
        scan();
    }
    findLinks();
    node("b.html")->setNewName("c.html");
    rename();
    const std::vector<UrlRecord> records = page("index.html")->urls();
    std::int32_t autoReadOnly = kReadOnlyMakeWritable;
    names::ReadOnlyPolicyScope policy(autoReadOnly);
    const std::shared_ptr<void> inForce = GetParam().arrange(*this);
    const std::string onDisk = readFile(pagePath());

    EXPECT_EQ(fix(), 0u);

    EXPECT_EQ(readFile(pagePath()), onDisk);
    EXPECT_NE(errors().find(detail(GetParam().message, pagePath())), std::string::npos) << errors();
    const std::string section = body(res::kSectionUrlRenaming);
    EXPECT_EQ(section.find("In file"), std::string::npos) << section;
    EXPECT_EQ(section.find(res::loadString(res::kNoLinksToRename)), std::string::npos) << section;
    const std::vector<UrlRecord>& after = page("index.html")->urls();
    ASSERT_EQ(after.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(after[i].text, records[i].text);
        EXPECT_EQ(after[i].position, records[i].position);
        EXPECT_EQ(after[i].end, records[i].end);
    }
    // A page made writable for the rewrite has its exact mode back, and no temporary file is left.
    if (readOnly) {
        EXPECT_EQ(modeOf(pagePath()), 0444u);
    }
    for (const std::string& name : testing::entriesOf(dir.path()))
        EXPECT_FALSE(name.starts_with(".el_")) << name;
}

INSTANTIATE_TEST_SUITE_P(
    LinkWriter, LinkWriterFailureTest,
    ::testing::Values(FailureCase{"ReadOnlyDeclined", res::loadString(res::kReadOnlySkipped),
                                  [](LinkWriterTest&) -> std::shared_ptr<void> {
                                      auto skip = std::make_shared<std::int32_t>(kReadOnlySkip);
                                      auto scope = std::make_shared<names::ReadOnlyPolicyScope>(*skip);
                                      return std::make_shared<std::pair<decltype(skip), decltype(scope)>>(
                                          skip, scope);
                                  }},
                      FailureCase{"ReplaceFails", res::loadString(res::kFileWriteFailed),
                                  [](LinkWriterTest& t) -> std::shared_ptr<void> {
                                      auto disk = std::make_shared<testing::FaultyDisk>();
                                      disk->writesUnder = t.site().path();
                                      auto scope = std::make_shared<platform::DiskScope>(*disk);
                                      return std::make_shared<std::pair<decltype(disk), decltype(scope)>>(
                                          disk, scope);
                                  }},
                      // Same length, so that only the bytes tell.
                      FailureCase{"ChangedSinceItWasRead", res::loadString(res::kPageChangedSinceRead),
                                  [](LinkWriterTest& t) -> std::shared_ptr<void> {
                                      const std::string path = t.site().file("index.html");
                                      ::chmod(path.c_str(), 0644);
                                      t.site().write(
                                          "index.html",
                                          "<p>\n<a href=\"e.html\">b</a> <a href=\"missing.html\">m</a>\n");
                                      ::chmod(path.c_str(), 0444);
                                      return nullptr;
                                  }},
                      FailureCase{"JournalRefuses", FakeJournal::kRefused,
                                  [](LinkWriterTest&) -> std::shared_ptr<void> {
                                      auto journal = std::make_shared<FakeJournal>();
                                      journal->accept = false;
                                      auto scope = std::make_shared<JournalScope>(journal.get());
                                      return std::make_shared<std::pair<decltype(journal), decltype(scope)>>(
                                          journal, scope);
                                  }}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// Read-only by its mode, root included. The fix rewrites in a batch, whose commit comes after the rewrite
// returned: the new page must have the exact old mode by itself.
TEST_F(LinkWriterTest, AReadOnlyPageTheFixMayChangeKeepsItsExactMode) {
    dir.write("index.html", "<a href=\"b.html\">b</a>");
    dir.write("b.html", "");
    ::chmod(dir.file("index.html").c_str(), 0440);
    scan();
    ASSERT_TRUE(page("index.html")->isReadOnly());
    findLinks();
    node("b.html")->setNewName("c.html");
    rename();
    std::int32_t autoReadOnly = kReadOnlyMakeWritable;
    names::ReadOnlyPolicyScope policy(autoReadOnly);

    {
        platform::ReplaceBatch batch([] { return true; }, {});
        EXPECT_EQ(fix(), 1u);
    }

    EXPECT_EQ(readFile(dir.file("index.html")), "<a href=\"c.html\">b</a>");
    EXPECT_EQ(modeOf(dir.file("index.html")), 0440u);
    EXPECT_NE(errors().find(detail(res::kReadOnlyKept, dir.file("index.html"))), std::string::npos)
        << errors();
    EXPECT_EQ(errors().find(res::loadString(res::kReadOnlyConverted)), std::string::npos) << errors();
}

TEST_F(LinkWriterTest, LeavesThePageAloneWhenNoTemporaryCanBeMadeBesideIt) {
    const std::string index = "<a href=\"b.html\">b</a>";
    dir.write("index.html", index);
    dir.write("b.html", "");
    scan();
    findLinks();
    node("b.html")->setNewName("c.html");
    rename();
    testing::FaultyDisk disk;
    disk.checkDirectoryWriteBits = true;
    ::chmod(dir.path().c_str(), 0555);
    {
        platform::DiskScope scope(disk);
        EXPECT_EQ(fix(), 0u);
    }
    ::chmod(dir.path().c_str(), 0755);

    EXPECT_EQ(readFile(dir.file("index.html")), index);
    EXPECT_NE(errors().find(detail(res::kNoTemporaryBeside, dir.file("index.html"))), std::string::npos)
        << errors();
    EXPECT_EQ(page("index.html")->urls()[0].text, "b.html");
}

// A disk on which another program saves the page while the new one is being written.
class EditedMeanwhileDisk : public platform::Disk {
  public:
    std::string page;
    int fchmod(int fd, mode_t mode) override {
        std::ofstream(page, std::ios::trunc) << "<a href=\"b.html\">edited elsewhere</a>";
        return Disk::fchmod(fd, mode);
    }
};

TEST_F(LinkWriterTest, APageEditedElsewhereBeforeTheCommitKeepsTheEdit) {
    dir.write("index.html", "<a href=\"b.html\">b</a>");
    dir.write("b.html", "");
    scan();
    findLinks();
    node("b.html")->setNewName("c.html");
    rename();
    EditedMeanwhileDisk disk;
    disk.page = dir.file("index.html");
    {
        platform::DiskScope scope(disk);
        EXPECT_EQ(fix(), 0u);
    }

    EXPECT_EQ(readFile(dir.file("index.html")), "<a href=\"b.html\">edited elsewhere</a>");
    EXPECT_NE(errors().find(detail(res::kPageChangedSinceRead, dir.file("index.html"))), std::string::npos)
        << errors();
    EXPECT_EQ(testing::entriesOf(dir.path()), (std::vector<std::string>{"c.html", "index.html"}));
}

// A link written across lines becomes one line: the lines of what follows it move up, for the reports
// that come after the update.
TEST_F(LinkWriterTest, LinesAfterALinkWrittenAcrossLinesMoveUp) {
    dir.write("index.html", "<a href=\"b.\nhtml\">b</a>\n<a href=\"missing.html\">m</a>\n");
    dir.write("b.html", "");
    scan();
    findLinks();
    node("b.html")->setNewName("c.html");
    rename();
    ASSERT_TRUE(page("index.html")->buildLineIndex());

    EXPECT_EQ(fix(), 1u);

    HtmlNode& index = *page("index.html");
    ASSERT_EQ(readFile(index.path()), "<a href=\"c.html\">b</a>\n<a href=\"missing.html\">m</a>\n");
    ASSERT_EQ(index.urls().size(), 2u);
    EXPECT_EQ(found->lineOf(index, 1), 2);
    EXPECT_EQ(index.lineOfOffset(index.urls()[1].position), 2);
    expectRecordsMatchTheFile(index);
}

// A style sheet's url(), @import and image-set() references follow the renames, resolved from where the
// sheet stood (its own directory renamed too); every other byte stays: BOM, charset, CR LF, comments, the
// fragment after a link. A name is encoded for the place it stands in, and an escaped link is written
// without its escapes.
TEST_F(LinkWriterTest, AStyleSheetIsRewrittenByteForByteBesideItsLinks) {
    dir.write("index.html", "<link rel=stylesheet href=\"css/site.css\">");
    dir.write("css/site.css",
              "\xEF\xBB\xBF@charset \"utf-8\";\r\n"
              "@import \"Parts.css\" screen;\r\n"
              "@import url(Parts.css);\r\n"
              "a { background: url( \"../Img/Logo.gif\" ) }\r\n"
              "b { background: url(../Img/Logo.gif#x) }\r\n"
              "c { background: image-set(\"../Img/Logo.gif\" 1x, url(../Img/Big.png) 2x) }\r\n"
              "d { background: url(../Img/L\\6f go.gif) } /* url(../Img/Logo.gif) */\r\n");
    dir.write("css/Parts.css", "");
    dir.write("Img/Logo.gif", "");
    dir.write("Img/Big.png", "");
    scan();
    findLinks();
    node("css")->setNewName("style");
    node("css/Parts.css")->setNewName("My \"Parts\".css");
    node("Img")->setNewName("img");
    node("Img/Logo.gif")->setNewName("a b(1)'.gif");
    node("Img/Big.png")->setNewName("big.png");
    const Node& sheetNode = *node("css/site.css");
    rename();

    EXPECT_EQ(fix(), 2u);

    EXPECT_EQ(readFile(dir.file("style/site.css")),
              "\xEF\xBB\xBF@charset \"utf-8\";\r\n"
              "@import \"My%20%22Parts%22.css\" screen;\r\n"
              "@import url(My%20%22Parts%22.css);\r\n"
              "a { background: url( \"../img/a%20b%281%29%27.gif\" ) }\r\n"
              "b { background: url(../img/a%20b%281%29%27.gif#x) }\r\n"
              "c { background: image-set(\"../img/a%20b%281%29%27.gif\" 1x, url(../img/big.png) 2x) }\r\n"
              "d { background: url(../img/a%20b%281%29%27.gif) } /* url(../Img/Logo.gif) */\r\n");
    // The records follow the new bytes, lines included, for the reports after the update.
    const StyleSheetLinks& sheet = *found->styleSheet(sheetNode);
    ASSERT_EQ(sheet.urls.size(), 7u);
    EXPECT_EQ(sheet.lines, (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 6, 7}));
    const std::string bytes = readFile(dir.file("style/site.css"));
    for (const UrlRecord& url : sheet.urls) {
        std::string text;
        urlTextInto(bytes.substr(url.position, url.end - url.position + 1), text);
        EXPECT_EQ(text, url.text);
    }

    tree.reset();
    scan();
    findLinks();
    for (const UrlRecord& url : found->styleSheet(*node("style/site.css"))->urls)
        EXPECT_TRUE(url.target) << url.text;
}

// The style sheet is read again for the rewrite: one that no longer says what link finding read is left
// as it is, and said so.
TEST_F(LinkWriterTest, AStyleSheetChangedSinceItWasReadIsLeftAlone) {
    dir.write("index.html", "<link rel=stylesheet href=\"site.css\">");
    dir.write("site.css", "a { background: url(b.png) }\n");
    dir.write("b.png", "");
    scan();
    findLinks();
    node("b.png")->setNewName("c.png");
    rename();
    dir.write("site.css", "a { background: url(e.png) }\n");

    EXPECT_EQ(fix(), 0u);

    EXPECT_EQ(readFile(dir.file("site.css")), "a { background: url(e.png) }\n");
    EXPECT_NE(errors().find(detail(res::kPageChangedSinceRead, dir.file("site.css"))), std::string::npos)
        << errors();
}

}  // namespace
}  // namespace korvel
