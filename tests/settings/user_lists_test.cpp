#include "settings/user_lists.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "support/temp_dir.h"

namespace korvel {
namespace {

using platform::ProfileFile;
using testing::readFile;
using testing::TempDir;
using Items = std::vector<std::string>;

ProfileFile profileOf(const TempDir& dir, std::string_view text) {
    ProfileFile profile;
    EXPECT_FALSE(profile.load(dir.write("korvel.ini", text)));
    return profile;
}

struct ListCase {
    std::function<UserList()> make;
    std::string_view section;
    Items defaults;
};

const ListCase kLists[] = {
    {serverDefaultList,
     "ServerDefault",
     {"index.html", "index.htm", "index.cfm", "index.asp", "index.php", "default.htm", "default.asp",
      "welcome.html", "welcome.htm", "home.html", "home.htm"}},
    {htmlExtensionsList, "HtmlExtensions", {"html", "htm", "cfm", "asp", "php"}},
    {literalHtmlTextList, "LiteralHtmlText", {"<html>", "<head>"}},
};

TEST(UserList, NothingStoredGivesTheDefaults) {
    for (const ListCase& c : kLists) {
        TempDir dir;
        // Items of another list, and an empty first item, store nothing for this one.
        UserList list = c.make();
        list.load(profileOf(dir, "[Other]\nItem1=x\n[" + std::string(c.section) + "]\nItem1=\nItem2=y\n"));
        EXPECT_EQ(list.section(), c.section);
        EXPECT_EQ(list.items(), c.defaults) << c.section;
        EXPECT_FALSE(list.storedItems());
    }
}

TEST(UserList, StoredItemsReplaceTheDefaults) {
    for (const ListCase& c : kLists) {
        TempDir dir;
        UserList list = c.make();
        list.load(profileOf(
            dir, "[" + std::string(c.section) + "]\nitem1=first\nITEM2= second \nCurrent=second\n"));
        EXPECT_EQ(list.items(), (Items{"first", "second"})) << c.section;
        EXPECT_TRUE(list.storedItems());
        EXPECT_EQ(list.current(), "second");
    }
}

TEST(UserList, TheListEndsAtTheFirstMissingOrEmptyItem) {
    const std::pair<std::string_view, Items> cases[] = {
        {"Item1=a\nItem2=\nItem3=c\n", {"a"}},
        {"Item1=a\nItem3=c\n", {"a"}},
        {"Item1=a\nItem2=b\nItem3=c\n", {"a", "b", "c"}},
    };
    for (const auto& [text, expected] : cases) {
        TempDir dir;
        UserList list = serverDefaultList();
        list.load(profileOf(dir, "[ServerDefault]\n" + std::string(text)));
        EXPECT_EQ(list.items(), expected) << text;
    }
}

TEST(UserList, SavingAShorterListDeletesTheStaleItems) {
    TempDir dir;
    ProfileFile profile = profileOf(
        dir, "[ServerDefault]\nItem1=a\nItem2=b\nItem3=c\nItem4=d\nCurrent=c\n[Next]\nItem5=kept\n");
    UserList list = serverDefaultList();
    list.load(profile);
    ASSERT_TRUE(list.setItems({"x.html", "y.html"}));
    ASSERT_TRUE(list.setCurrent("y.html"));
    ASSERT_TRUE(list.save(profile));
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(readFile(profile.path()),
              "[ServerDefault]\nItem1=x.html\nItem2=y.html\nCurrent=y.html\n[Next]\nItem5=kept\n");

    ProfileFile reread;
    ASSERT_FALSE(reread.load(profile.path()));
    UserList again = serverDefaultList();
    again.load(reread);
    EXPECT_EQ(again.items(), (Items{"x.html", "y.html"}));
    EXPECT_EQ(again.current(), "y.html");
}

TEST(UserList, ItemsThatWouldNotReadBackAreRefused) {
    using namespace std::string_view_literals;
    UserList list = htmlExtensionsList();
    for (const Items& bad : {Items{"ok", ""}, Items{"a\nb"}, Items{"a\rb"}, Items{std::string("a\0b", 3)}}) {
        EXPECT_FALSE(list.setItems(bad));
        EXPECT_EQ(list.items(), (Items{"html", "htm", "cfm", "asp", "php"}));
    }
    EXPECT_FALSE(list.setCurrent("a\nb"));
    EXPECT_TRUE(list.setItems({" padded ", "\"q\"", "a;b"}));

    // A list whose own defaults could not be stored writes nothing at all.
    TempDir dir;
    ProfileFile profile = profileOf(dir, "[Broken]\nItem1=old\n");
    const UserList broken("Broken", {"fine", ""});
    EXPECT_FALSE(broken.save(profile));
    EXPECT_EQ(profile.text(), "[Broken]\nItem1=old\n");
}

TEST(UserList, JoinedFormsOfTheServerDefaults) {
    TempDir dir;
    UserList never = serverDefaultList();
    never.load(profileOf(dir, ""));
    EXPECT_EQ(never.joined(),
              "index.html;index.htm;index.cfm;index.asp;index.php;default.htm;default.asp;welcome.html;"
              "welcome.htm;home.html;home.htm;");
    EXPECT_EQ(storedServerDefaultFiles(never), "");
    EXPECT_EQ(serverDefaultFilesOrStandIn(never), "index.html;index.htm;default.htm;home.htm");

    UserList saved = serverDefaultList();
    saved.load(profileOf(dir, "[ServerDefault]\nItem1=main.html\nItem2=index.php\n"));
    EXPECT_EQ(storedServerDefaultFiles(saved), "main.html;index.php;");
    EXPECT_EQ(serverDefaultFilesOrStandIn(saved), "main.html;index.php;");
}

TEST(UserList, HtmlDefinitionsFromTheSettingsFile) {
    TempDir dir;
    const HtmlDefinitions missing = loadHtmlDefinitions(dir.file("absent.ini"));
    EXPECT_EQ(missing.extensions, (Items{"html", "htm", "cfm", "asp", "php"}));
    EXPECT_EQ(missing.literalTexts, (Items{"<html>", "<head>"}));

    const std::string path = dir.write("korvel.ini", "[HtmlExtensions]\nItem1=shtml\nItem2=xhtml\n");
    const HtmlDefinitions stored = loadHtmlDefinitions(path);
    EXPECT_EQ(stored.extensions, (Items{"shtml", "xhtml"}));
    EXPECT_EQ(stored.literalTexts, (Items{"<html>", "<head>"}));

    ProfileFile profile;
    ASSERT_FALSE(profile.load(dir.write("other.ini", "[LiteralHtmlText]\nItem1=<!doctype html>\n")));
    const HtmlDefinitions fromProfile = loadHtmlDefinitions(profile);
    EXPECT_EQ(fromProfile.extensions, (Items{"html", "htm", "cfm", "asp", "php"}));
    EXPECT_EQ(fromProfile.literalTexts, (Items{"<!doctype html>"}));
}

}  // namespace
}  // namespace korvel
