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
using Items = std::vector<std::string>;

ProfileFile profileOf(std::string_view text) {
    ProfileFile profile;
    profile.parse(text);
    return profile;
}

TEST(UserList, StoredItemsReplaceTheDefaultsUpToTheFirstMissingOrEmptyOne) {
    const std::pair<std::string_view, Items> cases[] = {
        // Items of another list, and an empty first item, store nothing for this one.
        {"[Other]\nItem1=x\n[HtmlExtensions]\nItem1=\nItem2=y\n", {"html", "htm", "cfm", "asp", "php"}},
        {"[HtmlExtensions]\nitem1=a\nITEM2= b \nItem3=\nItem4=c\nCurrent=b\n", {"a", "b"}},
        {"[HtmlExtensions]\nItem1=a\nItem3=c\nCurrent=b\n", {"a"}},
    };
    for (const auto& [text, expected] : cases) {
        UserList list = htmlExtensionsList();
        EXPECT_EQ(list.section(), "HtmlExtensions");
        list.load(profileOf(text));
        EXPECT_EQ(list.items(), expected) << text;
        EXPECT_EQ(list.storedItems(), expected.size() < 5) << text;
        EXPECT_EQ(list.current(), expected.size() < 5 ? "b" : "") << text;
    }
}

TEST(UserList, SavingAShorterListDeletesTheStaleItems) {
    testing::TempDir dir;
    ProfileFile profile;
    ASSERT_FALSE(profile.load(
        dir.write("korvel.ini",
                  "[ServerDefault]\nItem1=a\nItem2=b\nItem3=c\nItem4=d\nCurrent=c\n[Next]\nItem5=kept\n")));
    UserList list = serverDefaultList();
    list.load(profile);
    ASSERT_TRUE(list.setItems({"x.html", "y.html"}));
    ASSERT_TRUE(list.setCurrent("y.html"));
    ASSERT_TRUE(list.save(profile));
    ASSERT_FALSE(profile.save());
    EXPECT_EQ(testing::readFile(profile.path()),
              "[ServerDefault]\nItem1=x.html\nItem2=y.html\nCurrent=y.html\n[Next]\nItem5=kept\n");
}

TEST(UserList, ItemsThatWouldNotReadBackAreRefused) {
    UserList list = literalHtmlTextList();
    for (const Items& bad : {Items{"ok", ""}, Items{"a\nb"}, Items{"a\rb"}, Items{std::string("a\0b", 3)}}) {
        EXPECT_FALSE(list.setItems(bad));
        EXPECT_EQ(list.items(), (Items{"<html>", "<head>"}));
    }
    EXPECT_FALSE(list.setCurrent("a\nb"));
    EXPECT_TRUE(list.setItems({" padded ", "\"q\"", "a;b"}));

    // A list whose own defaults could not be stored writes nothing at all.
    ProfileFile profile = profileOf("[Broken]\nItem1=old\n");
    EXPECT_FALSE(UserList("Broken", {"fine", ""}).save(profile));
    EXPECT_EQ(profile.text(), "[Broken]\nItem1=old\n");
}

TEST(UserList, ServerDefaultsAreInForceOnlyOnceStored) {
    UserList never = serverDefaultList();
    never.load(profileOf(""));
    EXPECT_EQ(never.joined(),
              "index.html;index.htm;index.cfm;index.asp;index.php;default.htm;default.asp;welcome.html;"
              "welcome.htm;home.html;home.htm;");
    EXPECT_EQ(storedServerDefaultFiles(never), "");
    EXPECT_EQ(serverDefaultFilesOrStandIn(never), kServerDefaultStandIn);

    UserList saved = serverDefaultList();
    saved.load(profileOf("[ServerDefault]\nItem1=main.html\nItem2=index.php\n"));
    EXPECT_EQ(storedServerDefaultFiles(saved), "main.html;index.php;");
    EXPECT_EQ(serverDefaultFilesOrStandIn(saved), "main.html;index.php;");
}

}  // namespace
}  // namespace korvel
