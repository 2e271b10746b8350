#include "platform/locations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/disk.h"
#include "support/env_var.h"
#include "support/faulty_disk.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

namespace fs = std::filesystem;
using korvel::testing::EnvVar;
using korvel::testing::TempDir;

std::optional<std::string> orUnset(const char* value) {
    return value ? std::optional<std::string>(value) : std::nullopt;
}

TEST(Locations, TakeTheFirstSourceThatIsGivenAndIgnoreRelativeXdgDirectories) {
    struct Case {
        const char* override;
        const char* korvel;
        const char* xdg;  // both XDG_CONFIG_HOME and XDG_STATE_HOME
        const char* settings;
        const char* state;
    };
    const Case cases[] = {
        {"/cli/k.ini", "/env/k.ini", "/xdg", "/cli/k.ini", "/xdg/korvel"},
        {"", "rel.ini", "/xdg/", "rel.ini", "/xdg/korvel"},
        {"", "", "/xdg/", "/xdg/korvel/korvel.ini", "/xdg/korvel"},
        {"", nullptr, "xdg", "/home/u/.config/korvel/korvel.ini", "/home/u/.local/state/korvel"},
        {"", nullptr, "", "/home/u/.config/korvel/korvel.ini", "/home/u/.local/state/korvel"},
        {"", nullptr, nullptr, "/home/u/.config/korvel/korvel.ini", "/home/u/.local/state/korvel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        const EnvVar korvel("KORVEL_SETTINGS", orUnset(c.korvel));
        const EnvVar config("XDG_CONFIG_HOME", orUnset(c.xdg));
        const EnvVar state("XDG_STATE_HOME", orUnset(c.xdg));
        const EnvVar home("HOME", "/home/u");
        EXPECT_EQ(settingsFilePath(c.override), c.settings);
        EXPECT_EQ(stateDirectory(), c.state);
    }
}

TEST(MakeDirectories, MakesEveryMissingLevelAlsoThroughALink) {
    TempDir dir;
    dir.mkdir("real");
    ASSERT_EQ(::symlink("real", dir.file("link").c_str()), 0);
    std::error_code ec = std::make_error_code(std::errc::io_error);

    ASSERT_TRUE(makeDirectories(dir.file("link/a/b"), &ec));
    EXPECT_FALSE(ec);
    EXPECT_TRUE(fs::is_directory(dir.file("real/a/b")));
    // Again, with a trailing separator: nothing to do, still a success.
    EXPECT_TRUE(makeDirectories(dir.file("real/a/b/"), &ec));
    EXPECT_FALSE(ec);
}

TEST(MakeDirectories, StopsAtAFileInTheWayOrARefusedDirectory) {
    TempDir dir;
    dir.write("a/file", "keep");
    std::error_code ec;
    EXPECT_FALSE(makeDirectories(dir.file("a/file/sub"), &ec));
    EXPECT_EQ(ec, std::errc::not_a_directory);
    EXPECT_EQ(korvel::testing::readFile(dir.file("a/file")), "keep");

    ASSERT_EQ(::chmod(dir.file("a").c_str(), 0555), 0);
    korvel::testing::FaultyDisk disk;
    disk.checkDirectoryWriteBits = true;
    {
        DiskScope scope(disk);
        EXPECT_FALSE(makeDirectories(dir.file("a/x/y"), &ec));
    }
    EXPECT_EQ(ec, std::errc::permission_denied);
    ::chmod(dir.file("a").c_str(), 0755);
    EXPECT_FALSE(fs::exists(dir.file("a/x")));
    EXPECT_FALSE(makeDirectories("", &ec));
}

TEST(ScratchDirectory, ClearsTheWorkingFilesOfKilledProcessesOnly) {
    TempDir tmp;
    EnvVar var("TMPDIR", tmp.path());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string gone = "el_" + std::to_string(child) + "_abcdef";
    const std::string mine = "el_" + std::to_string(::getpid()) + "_abcdef";
    for (const std::string& name : {gone, mine, std::string("el_abcdef"), std::string("el_12x_abcdef")})
        tmp.write(name, "x");
    EXPECT_EQ(scratchDirectory(), tmp.path());
    std::vector<std::string> kept{mine, "el_abcdef", "el_12x_abcdef"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(korvel::testing::entriesOf(tmp.path()), kept);
}

}  // namespace
}  // namespace korvel::platform
