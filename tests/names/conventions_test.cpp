#include "names/conventions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/paths.h"
#include "settings/job_settings.h"
#include "site/node.h"

namespace korvel::names {
namespace {

// ---- Limits

struct LimitsCase {
    std::int32_t target;
    std::int32_t name;
    std::int32_t path;
};

class NameLimitsTest : public ::testing::TestWithParam<LimitsCase> {};

TEST_P(NameLimitsTest, NameAndPathBudgets) {
    const NameLimits limits = getNameLimits(GetParam().target);
    EXPECT_EQ(limits.maxNameLength, GetParam().name);
    EXPECT_EQ(limits.maxPathLength, GetParam().path);
    EXPECT_EQ(limits.replacement, '_');
}

// No target (and any unknown one) is bounded by the host alone: NAME_MAX per name, PATH_MAX less its NUL.
INSTANTIATE_TEST_SUITE_P(EveryTarget, NameLimitsTest,
                         ::testing::Values(LimitsCase{kTargetNone, 255, 4095},
                                           LimitsCase{kTargetIso9660, 12, 255},
                                           LimitsCase{kTargetDos, 12, 255}, LimitsCase{kTargetVfat, 255, 259},
                                           LimitsCase{kTargetNtfs, 255, 255},
                                           LimitsCase{kTargetMacintosh, 31, 255},
                                           LimitsCase{kTargetUnix, 255, 255}, LimitsCase{7, 255, 4095},
                                           LimitsCase{-1, 255, 4095}));

// ---- Characters

TEST(ForbiddenCharactersTest, SetsInTableOrder) {
    EXPECT_EQ(forbiddenCharacters(kTargetDos), "\"\\<>:/|?*+,;=[] ");
    EXPECT_EQ(forbiddenCharacters(kTargetVfat), "\"\\<>:/|?*");
    EXPECT_EQ(forbiddenCharacters(kTargetNtfs), "\"\\<>:/|");
    EXPECT_EQ(forbiddenCharacters(kTargetMacintosh), ":");
    EXPECT_EQ(forbiddenCharacters(kTargetUnix), "/");
    EXPECT_EQ(forbiddenCharacters(kTargetNone), "");
    EXPECT_EQ(forbiddenCharacters(kTargetIso9660), "");
}

TEST(IsIsoCharacterTest, AsciiLettersDigitsDotAndUnderscoreOnly) {
    std::string allowed;
    for (int c = 0; c < 256; ++c)
        if (isIsoCharacter(static_cast<char>(c))) allowed.push_back(static_cast<char>(c));
    EXPECT_EQ(allowed, ".0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
}

struct AllowedCase {
    std::int32_t target;
    char c;
    bool allowed;
};

class IsAllowedCharacterTest : public ::testing::TestWithParam<AllowedCase> {};

TEST_P(IsAllowedCharacterTest, TargetRulePlusWhatTheFileSystemRefuses) {
    EXPECT_EQ(isAllowedCharacter(GetParam().target, GetParam().c), GetParam().allowed)
        << "target " << GetParam().target << ", byte "
        << static_cast<int>(static_cast<unsigned char>(GetParam().c));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, IsAllowedCharacterTest,
    ::testing::Values(
        // "/" and NUL can never be in a name, whatever the table says.
        AllowedCase{kTargetNone, '/', false}, AllowedCase{kTargetNone, '\0', false},
        AllowedCase{kTargetMacintosh, '/', false}, AllowedCase{kTargetNone, ':', true},
        // Control bytes: refused by FAT and NTFS, kept elsewhere; DEL refused by DOS alone.
        AllowedCase{kTargetDos, '\x01', false}, AllowedCase{kTargetVfat, '\x1f', false},
        AllowedCase{kTargetNtfs, '\t', false}, AllowedCase{kTargetUnix, '\t', true},
        AllowedCase{kTargetMacintosh, '\x01', true}, AllowedCase{kTargetDos, '\x7f', false},
        AllowedCase{kTargetVfat, '\x7f', true},
        // NTFS keeps "?" and "*", VFAT does not.
        AllowedCase{kTargetNtfs, '?', true}, AllowedCase{kTargetVfat, '?', false},
        AllowedCase{kTargetNtfs, '*', true}, AllowedCase{kTargetVfat, '*', false},
        // DOS keeps its listed punctuation and high bytes; ISO keeps no high byte.
        AllowedCase{kTargetDos, '~', true}, AllowedCase{kTargetDos, '\xc3', true},
        AllowedCase{kTargetIso9660, '\xc3', false}, AllowedCase{kTargetIso9660, '-', false},
        AllowedCase{kTargetIso9660, '_', true}));

// ---- Budgets

// A tree whose top directory path has "topLength" bytes.
std::unique_ptr<EDirNode> topOfLength(std::size_t topLength) {
    return std::make_unique<EDirNode>("/" + std::string(topLength - 1, 't'));
}

ENode* addFile(EDirNode& dir, std::string_view name) {
    return dir.addChild(std::make_unique<EFileNode>(platform::joinPath(dir.path(), name)));
}

EDirNode* addDir(EDirNode& dir, std::string_view name) {
    return static_cast<EDirNode*>(
        dir.addChild(std::make_unique<EDirNode>(platform::joinPath(dir.path(), name))));
}

TEST(EffectiveMaxNameLengthTest, SmallerOfNameLimitAndPathRoom) {
    auto top = topOfLength(5);  // "/tttt/": 6 bytes before a child's name
    ENode* file = addFile(*top, "a.htm");
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetMacintosh), 31);
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetUnix), 255 - 6);
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetVfat), 259 - 6);
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetNone), 255);
}

TEST(EffectiveMaxNameLengthTest, AtAndBelowZeroInDeepPaths) {
    auto top = topOfLength(254);  // a child's directory part is 255 bytes
    ENode* file = addFile(*top, "a");
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetDos), 0);
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetVfat), 4);
    auto deeper = topOfLength(300);
    ENode* deep = addFile(*deeper, "a");
    EXPECT_EQ(effectiveMaxNameLength(*deep, kTargetUnix), 255 - 301);
    EXPECT_EQ(effectiveMaxNameLength(*deep, kTargetNone), 255);  // the host's path is far longer
}

TEST(EffectiveMaxNameLengthTest, FollowsTheNewNameOfAnAncestor) {
    auto top = topOfLength(5);
    EDirNode* dir = addDir(*top, "images");
    ENode* file = addFile(*dir, "a.gif");
    const std::int32_t before = effectiveMaxNameLength(*file, kTargetUnix);
    dir->setNewName("img");
    EXPECT_EQ(effectiveMaxNameLength(*file, kTargetUnix), before + 3);
}

// ---- Character boundaries

struct CutCase {
    std::string text;
    std::size_t maxBytes;
    std::size_t expected;
};

class CutPointTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutPointTest, NeverSplitsACharacter) {
    EXPECT_EQ(cutPoint(GetParam().text, GetParam().maxBytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Utf8, CutPointTest,
                         ::testing::Values(CutCase{"abc", 2, 2}, CutCase{"abc", 9, 3},
                                           CutCase{"a\xc3\xa9", 2, 1},  // é is two bytes: not split
                                           CutCase{"a\xc3\xa9", 3, 3},  //
                                           CutCase{"\xe2\x82\xac"
                                                   "x",
                                                   2, 0},                      // € is three bytes
                                           CutCase{"\xf0\x9f\x98\x80", 3, 0},  // a four-byte character
                                           CutCase{"a\xff\xfe", 2, 2},  // invalid bytes count one by one
                                           CutCase{"a\xc3"
                                                   "b",
                                                   2, 2},  // a lead byte without its follower
                                           CutCase{"\xe0\x80\x80", 1,
                                                   1}));  // an overlong form is three bad bytes

}  // namespace
}  // namespace korvel::names
