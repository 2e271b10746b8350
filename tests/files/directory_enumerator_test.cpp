#include "files/directory_enumerator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "support/temp_dir.h"

namespace korvel::files {
namespace {

using korvel::testing::TempDir;

std::vector<std::string> drain(DirectoryEnumerator& e, bool fullPath) {
    std::vector<std::string> out;
    std::string entry;
    while (e.next(entry, fullPath))
        out.push_back(entry);
    return out;
}

TEST(DirectoryEnumerator, ListsEveryEntryButTheDotsInNameOrder) {
    TempDir dir;
    dir.write("b.htm", "");
    dir.write(".hidden", "");
    dir.mkdir("a");
    DirectoryEnumerator e(dir.path());

    EXPECT_EQ(drain(e, true),
              (std::vector<std::string>{dir.file(".hidden"), dir.file("a"), dir.file("b.htm")}));
    EXPECT_FALSE(e.error());
    std::string entry;
    EXPECT_FALSE(e.next(entry)) << "stays at its end";
}

TEST(DirectoryEnumerator, GivesNamesAloneWhenAsked) {
    TempDir dir;
    dir.write("b.htm", "");
    dir.mkdir("a");
    DirectoryEnumerator e(dir.path() + "/");

    EXPECT_EQ(drain(e, false), (std::vector<std::string>{"a", "b.htm"}));
}

TEST(DirectoryEnumerator, AnEmptyDirectoryPathListsTheRootAlone) {
    DirectoryEnumerator e("");

    EXPECT_EQ(drain(e, true), (std::vector<std::string>{"/"}));
    EXPECT_FALSE(e.error());
}

TEST(DirectoryEnumerator, AMissingDirectoryEndsAtOnceWithItsError) {
    TempDir dir;
    DirectoryEnumerator e(dir.file("missing"));

    EXPECT_TRUE(drain(e, true).empty());
    EXPECT_EQ(e.error(), std::errc::no_such_file_or_directory);
}

// Makes a path close to the host limit and removes it again; TempDir cannot reach entries that long.
class DeepTree {
  public:
    explicit DeepTree(const std::string& top) : top_(top) {}
    ~DeepTree() {
        for (const std::string& leaf : leaves_)
            ::unlinkat(dirFd_, leaf.c_str(), 0);
        if (dirFd_ >= 0) ::close(dirFd_);
        for (auto it = levels_.rbegin(); it != levels_.rend(); ++it)
            ::rmdir(it->c_str());
    }
    // Makes directories until the path is exactly "length" bytes long.
    std::string descend(std::size_t length) {
        std::string path = top_;
        while (path.size() < length) {
            const std::size_t name = std::min<std::size_t>(200, length - path.size() - 1);
            path += "/" + std::string(name, static_cast<char>('a' + levels_.size() % 26));
            EXPECT_EQ(::mkdir(path.c_str(), 0755), 0) << path.size();
            levels_.push_back(path);
        }
        dirFd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
        return path;
    }
    // A file in the deepest directory, made relative to it (its full path may exceed what open() takes).
    void makeLeaf(const std::string& name) {
        const int fd = ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
        leaves_.push_back(name);
    }

  private:
    std::string top_;
    std::vector<std::string> levels_;
    std::vector<std::string> leaves_;
    int dirFd_ = -1;
};

TEST(DirectoryEnumerator, SkipsAnEntryWhoseFullPathReachesTheHostLimit) {
    TempDir dir;
    DeepTree tree(dir.path());
    const std::string deep = tree.descend(platform::kMaxPath - 150);
    const std::string atLimit(platform::kMaxPath - deep.size() - 1, 'L');  // joined: the limit itself
    const std::string belowLimit(atLimit.size() - 1, 'M');                 // joined: one byte less
    tree.makeLeaf(atLimit);
    tree.makeLeaf(belowLimit);

    DirectoryEnumerator full(deep);
    EXPECT_EQ(drain(full, true), (std::vector<std::string>{deep + "/" + belowLimit}));
    EXPECT_EQ(full.skipped(), (std::vector<std::string>{deep + "/" + atLimit}));

    // A name alone has no length problem.
    DirectoryEnumerator names(deep);
    EXPECT_EQ(drain(names, false), (std::vector<std::string>{atLimit, belowLimit}));
}

}  // namespace
}  // namespace korvel::files
