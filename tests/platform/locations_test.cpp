#include "platform/locations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/disk.h"
#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::platform {
namespace {

namespace fs = std::filesystem;
using korvel::testing::TempDir;

// Sets (or, with nullptr, unsets) environment variables for one test and puts every one back afterwards.
class Environment {
  public:
    Environment(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values)
            vars_.push_back(std::make_unique<korvel::testing::EnvVar>(
                name, value ? std::optional<std::string>(value) : std::nullopt));
    }

  private:
    std::vector<std::unique_ptr<korvel::testing::EnvVar>> vars_;
};

TEST(SettingsFilePath, TakesTheFirstSourceThatIsGiven) {
    struct Case {
        const char* what;
        const char* override;
        const char* korvel;
        const char* config;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"override first", "/cli/k.ini", "/env/k.ini", "/xdg", "/home/u", "/cli/k.ini"},
        {"then KORVEL_SETTINGS", "", "/env/k.ini", "/xdg", "/home/u", "/env/k.ini"},
        {"a relative KORVEL_SETTINGS is kept", "", "rel.ini", "/xdg", "/home/u", "rel.ini"},
        {"an empty KORVEL_SETTINGS is unset", "", "", "/xdg", "/home/u", "/xdg/korvel/korvel.ini"},
        {"then XDG_CONFIG_HOME", "", nullptr, "/xdg", "/home/u", "/xdg/korvel/korvel.ini"},
        {"a trailing separator", "", nullptr, "/xdg/", "/home/u", "/xdg/korvel/korvel.ini"},
        {"a relative XDG_CONFIG_HOME is ignored", "", nullptr, "xdg", "/home/u",
         "/home/u/.config/korvel/korvel.ini"},
        {"then HOME", "", nullptr, nullptr, "/home/u", "/home/u/.config/korvel/korvel.ini"},
        {"an empty XDG_CONFIG_HOME is unset", "", nullptr, "", "/home/u",
         "/home/u/.config/korvel/korvel.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Environment env{{"KORVEL_SETTINGS", c.korvel}, {"XDG_CONFIG_HOME", c.config}, {"HOME", c.home}};
        EXPECT_EQ(settingsFilePath(c.override), c.expected);
    }
}

TEST(SettingsFilePath, EnvironmentIsPutBack) {
    // The helper above must not leak into other tests.
    ::setenv("KORVEL_SETTINGS", "/before", 1);
    { Environment env{{"KORVEL_SETTINGS", "/during"}}; }
    EXPECT_STREQ(std::getenv("KORVEL_SETTINGS"), "/before");
    { Environment env{{"KORVEL_SETTINGS", nullptr}}; }
    EXPECT_STREQ(std::getenv("KORVEL_SETTINGS"), "/before");
    ::unsetenv("KORVEL_SETTINGS");
}

TEST(StateDirectory, FollowsXdgStateHomeElseHome) {
    struct Case {
        const char* state;
        const char* home;
        const char* expected;
    };
    for (const Case& c :
         {Case{"/st", "/home/u", "/st/korvel"}, Case{nullptr, "/home/u", "/home/u/.local/state/korvel"},
          Case{"relative", "/home/u", "/home/u/.local/state/korvel"},
          Case{"", "/home/u", "/home/u/.local/state/korvel"}}) {
        SCOPED_TRACE(c.expected);
        Environment env{{"XDG_STATE_HOME", c.state}, {"HOME", c.home}};
        EXPECT_EQ(stateDirectory(), c.expected);
    }
}

TEST(MakeDirectories, MakesEveryMissingLevel) {
    TempDir dir;
    const std::string deep = dir.file("a/b/c");
    ASSERT_TRUE(makeDirectories(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    // Again, with a trailing separator: nothing to do, still a success.
    std::error_code ec;
    EXPECT_TRUE(makeDirectories(deep + "/", &ec));
    EXPECT_FALSE(ec);
}

TEST(MakeDirectories, BuildsOnALinkToADirectory) {
    TempDir dir;
    dir.mkdir("real");
    ASSERT_EQ(::symlink("real", dir.file("link").c_str()), 0);
    ASSERT_TRUE(makeDirectories(dir.file("link/new")));
    EXPECT_TRUE(fs::is_directory(dir.file("real/new")));
}

TEST(MakeDirectories, StopsAtAFileInTheWay) {
    TempDir dir;
    dir.write("a/file", "keep");
    std::error_code ec;

    EXPECT_FALSE(makeDirectories(dir.file("a/file/sub"), &ec));

    EXPECT_EQ(ec, std::errc::not_a_directory);
    EXPECT_EQ(korvel::testing::readFile(dir.file("a/file")), "keep");
}

TEST(MakeDirectories, ReportsARefusedDirectory) {
    class RefusingDisk : public Disk {
      public:
        int mkdir(const char*, mode_t) override {
            errno = EACCES;
            return -1;
        }
    } refusing;
    TempDir dir;
    std::error_code ec;
    {
        DiskScope scope(refusing);
        EXPECT_FALSE(makeDirectories(dir.file("x/y"), &ec));
    }
    EXPECT_EQ(ec, std::errc::permission_denied);
    EXPECT_FALSE(fs::exists(dir.file("x")));
    EXPECT_FALSE(makeDirectories("", &ec));
}

TEST(ScratchDirectory, ClearsTheWorkingFilesOfKilledProcessesOnly) {
    TempDir tmp;
    korvel::testing::EnvVar var("TMPDIR", tmp.path());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string gone = "el_" + std::to_string(child) + "_abcdef";
    const std::string mine = "el_" + std::to_string(::getpid()) + "_abcdef";
    for (const std::string& name : {gone, mine, std::string("el_abcdef"), std::string("el_12x_abcdef")})
        tmp.write(name, "x");
    EXPECT_EQ(scratchDirectory(), tmp.path());
    EXPECT_FALSE(fs::exists(tmp.file(gone)));
    for (const std::string& name : {mine, std::string("el_abcdef"), std::string("el_12x_abcdef")})
        EXPECT_TRUE(fs::exists(tmp.file(name))) << name;
}

}  // namespace
}  // namespace korvel::platform
