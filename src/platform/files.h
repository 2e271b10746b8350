#pragma once
// Changing files safely: renames that never replace, contents replaced atomically, temporary files.
// Every operation returns an error code the caller can report; none logs or prints.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "platform/file_info.h"

namespace korvel::platform {

// Failures of Korvel's own rules, beside the system's errno values.
enum class FileError {
    IsSymlink = 1,      // the path is a symbolic link: what lies behind a link is never changed
    VerifyFailed,       // a file did not read back as it was written
    NotTrashed,         // the trash refused the file; it is still in place
    NoTemporaryBeside,  // the directory refuses a temporary file, without which no rewrite is safe
    OwnerNotKept,       // the new file could not be given the original's owner and group
    ChangedSinceRead,   // the file changed on disk after the content to replace it was made from it
    HardLinked,         // the file has other names, which a replacement would part from it
};
std::error_code make_error_code(FileError e);

// Renames or moves "from" to "to", failing with EEXIST (and changing nothing) when "to" exists.
// A rename that changes only the case of the name is allowed when no entry of that exact name exists;
// on a case-insensitive mount, where both names are one inode, it is done in two steps.
std::error_code renameNoReplace(std::string_view from, std::string_view to);

inline constexpr std::int64_t kNewTime = INT64_MIN;

struct ReplaceOptions {
    // The file as it was read to make the new content; null: as replaceFileContents first finds it.
    // Either way the file must still be so when its replacement takes its place.
    const FileStamp* readAs = nullptr;
    // A file with more than one name is refused (FileError::HardLinked) unless this is true; then only
    // this name gets the new content, and the other names keep the old.
    bool splitHardLinks = true;
    // When not kNewTime, given to the new contents before they take the file's place.
    std::int64_t modifiedNs = kNewTime;
};

// Replaces the contents of "path" with "content" so that a crash at any instant leaves the old or the new
// file whole: the content goes to a temporary ".el_" file in the same directory, is flushed, gets the
// original's exact permission bits, owner and group, is renamed over the original, and the directory is
// flushed (where the file system allows). The file is never rewritten in place; on any error it is left as
// it was. Fails with ENOENT for a missing file (use createFile), FileError::IsSymlink for a symbolic link
// (the content behind a link is never rewritten), EISDIR/EINVAL for anything but a regular file,
// FileError::NoTemporaryBeside when the directory refuses the temporary file, FileError::OwnerNotKept
// when the owner or group cannot be kept, FileError::ChangedSinceRead when the file is not as it was
// read, and FileError::HardLinked as the options say.
std::error_code replaceFileContents(std::string_view path, std::string_view content,
                                    const ReplaceOptions& options = {});

// Makes "path" another name of the file "existing" (a hard link), taking the place of what "path" was in
// one step; on any error "path" is left as it was.
std::error_code replaceWithLink(std::string_view path, std::string_view existing);

// Writes "content" to a new file "path" with "mode" (less the umask), flushed (unless "flush" is false:
// a caller that flushes the whole file system later); fails with EEXIST when "path" exists. A file it could
// not complete is removed again.
std::error_code createFile(std::string_view path, std::string_view content, mode_t mode = 0644,
                           bool flush = true);

// Replacements made while a batch is in force share their flushes, which otherwise cost milliseconds per
// file: replaceFileContents writes each new content to its temporary file and stages it; the batch, when it
// commits (when "maxFiles" are staged, and at its end), flushes every staged file with one flush of each
// file system, calls "barrier" (where a caller makes its own records durable first), renames each
// temporary file over its original, and flushes the directories. A crash at any instant still leaves each
// file old or new, whole. A staged file's new content is in place only after the commit: nothing may read
// it before. A replacement that fails in the commit leaves its original as it was and goes to "failed";
// so does one whose original changed since it was read (FileError::ChangedSinceRead), which is checked
// for each file just before its rename.
class ReplaceBatch {
  public:
    using Failure = std::function<void(const std::string& path, std::error_code)>;
    using Committed = std::function<void(const std::string& path)>;
    // "committed", when given, is called for each file once its new content is in place. "temporaryTag"
    // names the batch's temporary files ".el_TAG_XXXXXX", so that a later run can tell those a killed run
    // left behind from anybody else's.
    ReplaceBatch(std::function<bool()> barrier, Failure failed, std::size_t maxFiles = 256,
                 Committed committed = {}, std::string temporaryTag = {});
    ~ReplaceBatch();
    ReplaceBatch(const ReplaceBatch&) = delete;
    ReplaceBatch& operator=(const ReplaceBatch&) = delete;

    void commit();
    const std::string& temporaryTag() const { return tag_; }
    // The batch in force, or null.
    static ReplaceBatch* current();
    // Takes "temp" (closed, not yet flushed) to replace "target" at the commit, provided that "target" is
    // then still as "readAs" says (and has no other name, unless "splitHardLinks").
    void stage(std::string temp, std::string target, FileStamp readAs, bool splitHardLinks);

  private:
    struct Staged {
        std::string temp;
        std::string target;
        FileStamp readAs;
        bool splitHardLinks = true;
    };
    void dropAll(std::error_code why);

    std::function<bool()> barrier_;
    Failure failed_;
    std::size_t maxFiles_;
    Committed committed_;
    std::vector<Staged> staged_;
    std::string tag_;
    ReplaceBatch* previous_;
};

// A temporary file made with mkstemp ("el_XXXXXX") in a directory (default: the temporary directory),
// removed by the destructor unless released.
class TempFile {
  public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;
    ~TempFile();

    // "prefix" defaults to "el_"; the directory to scratchDirectory() (the name then carries the process id).
    std::error_code create(std::string_view directory = {}, std::string_view prefix = "el_");
    const std::string& path() const { return path_; }
    int fd() const { return fd_; }
    // Appends all of "data" (retrying short writes).
    std::error_code write(std::string_view data);
    std::error_code flush();
    void closeFile();
    // Closes the file and keeps it on disk: the destructor will not remove it. Returns its path.
    std::string release();

  private:
    void discard();

    std::string path_;
    int fd_ = -1;
};

// Gives "path" (the entry itself, not what a symbolic link points to) the modification time "modifiedNs",
// in nanoseconds since the epoch; the access time is left as it is.
std::error_code setModifiedTime(std::string_view path, std::int64_t modifiedNs);

// Cuts the open file "fd" back to "length" bytes.
std::error_code truncateFile(int fd, std::int64_t length);

// The prefix of the temporary files of a batch tagged "tag" (see ReplaceBatch).
std::string temporaryPrefix(std::string_view tag);

// Makes a directory (not its parents); EEXIST when it exists.
std::error_code makeDirectory(std::string_view path, mode_t mode = 0755);
// Removes a file, or an empty directory.
std::error_code removeFile(std::string_view path);
std::error_code removeEmptyDirectory(std::string_view path);

}  // namespace korvel::platform

template <>
struct std::is_error_code_enum<korvel::platform::FileError> : std::true_type {};
