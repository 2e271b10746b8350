#include "names/conventions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "settings/job_settings.h"
#include "site/node.h"

namespace korvel::names {
namespace {

struct TargetCase {
    std::int32_t target, name, path;
    std::string_view forbidden;
};

TEST(ConventionsTest, LimitsAndForbiddenCharactersPerTarget) {
    // No target (and any unknown one) is bounded by the host alone: NAME_MAX per name, PATH_MAX less its NUL.
    for (const TargetCase& c : std::vector<TargetCase>{
             TargetCase{kTargetNone, 255, 4095, ""}, TargetCase{kTargetIso9660, 12, 255, ""},
             TargetCase{kTargetDos, 12, 255, "\"\\<>:/|?*+,;=[] "},
             TargetCase{kTargetVfat, 255, 259, "\"\\<>:/|?*"}, TargetCase{kTargetNtfs, 255, 255, "\"\\<>:/|"},
             TargetCase{kTargetMacintosh, 31, 255, ":"}, TargetCase{kTargetUnix, 255, 255, "/"},
             TargetCase{7, 255, 4095, ""}, TargetCase{-1, 255, 4095, ""}}) {
        const NameLimits limits = getNameLimits(c.target);
        EXPECT_EQ(limits.maxNameLength, c.name) << c.target;
        EXPECT_EQ(limits.maxPathLength, c.path) << c.target;
        EXPECT_EQ(limits.replacement, '_');
        EXPECT_EQ(forbiddenCharacters(c.target), c.forbidden) << c.target;
    }
    std::string iso;
    for (int c = 0; c < 256; ++c)
        if (isIsoCharacter(static_cast<char>(c))) iso.push_back(static_cast<char>(c));
    EXPECT_EQ(iso, ".0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
}

struct AllowedCase {
    std::int32_t target;
    char c;
    bool allowed;
};

TEST(ConventionsTest, AllowedCharacterIsTheTargetsRulePlusWhatTheFileSystemRefuses) {
    for (const AllowedCase& c : std::vector<AllowedCase>{
             // "/" and NUL can never be in a name, whatever the table says.
             AllowedCase{kTargetNone, '/', false}, AllowedCase{kTargetNone, '\0', false},
             AllowedCase{kTargetMacintosh, '/', false}, AllowedCase{kTargetNone, ':', true},
             // Control bytes: refused by FAT and NTFS, kept elsewhere; DEL refused by DOS alone.
             AllowedCase{kTargetVfat, '\x1f', false}, AllowedCase{kTargetNtfs, '\t', false},
             AllowedCase{kTargetUnix, '\t', true}, AllowedCase{kTargetDos, '\x7f', false},
             AllowedCase{kTargetVfat, '\x7f', true},
             // DOS keeps high bytes; ISO keeps none.
             AllowedCase{kTargetDos, '\xc3', true}, AllowedCase{kTargetIso9660, '\xc3', false},
             AllowedCase{kTargetIso9660, '_', true}})
        EXPECT_EQ(isAllowedCharacter(c.target, c.c), c.allowed) << c.target << " " << int(c.c);
}

Node* addFile(DirNode& dir, std::string_view name) {
    return dir.addChild(std::make_unique<FileNode>(platform::joinPath(dir.path(), name)));
}

TEST(ConventionsTest, EffectiveMaxNameLengthIsTheNameLimitOrThePathsRoom) {
    DirNode top("/tttt");  // "/tttt/": 6 bytes before a child's name
    auto* images = static_cast<DirNode*>(top.addChild(std::make_unique<DirNode>("/tttt/images")));
    Node* file = addFile(top, "a.htm");
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetMacintosh), 31);
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetUnix), 255 - 6);
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetVfat), 259 - 6);
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetNone), 255);
    // The new name of an ancestor counts.
    Node* inner = addFile(*images, "a.gif");
    images->setNewName("img");
    EXPECT_EQ(effectiveMaxNameLength(*inner, kTargetUnix), 255 - 10);
    // At and below zero in deep paths.
    DirNode deep("/" + std::string(299, 't'));
    Node* deepFile = addFile(deep, "a");
    EXPECT_EQ(effectiveMaxNameLength(*deepFile, kTargetDos), 255 - 301);
    EXPECT_EQ(effectiveMaxNameLength(*deepFile, kTargetNone), 255);  // the host's path is far longer
}

struct CutCase {
    std::string_view text;
    std::size_t maxBytes, expected;
};

TEST(ConventionsTest, CutPointNeverSplitsACharacter) {
    // é is two bytes, € three; bytes that are no valid UTF-8 (a lone lead byte, an overlong form) count one
    // by one.
    for (const CutCase& c : std::vector<CutCase>{
             CutCase{"abc", 2, 2}, CutCase{"abc", 9, 3}, CutCase{"a\xc3\xa9", 2, 1},
             CutCase{"a\xc3\xa9", 3, 3}, CutCase{"\xe2\x82\xac", 2, 0}, CutCase{"\xf0\x9f\x98\x80", 3, 0},
             CutCase{"a\xff\xfe", 2, 2}, CutCase{"a\xc3G", 2, 2}, CutCase{"\xe0\x80\x80", 1, 1}})
        EXPECT_EQ(cutPoint(c.text, c.maxBytes), c.expected) << c.text << " " << c.maxBytes;
}

}  // namespace
}  // namespace korvel::names
