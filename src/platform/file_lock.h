#pragma once
// An exclusive lock on a file (flock), held until the object is destroyed; the system drops it when the
// process ends, however it ends.
#include <string_view>
#include <system_error>

namespace korvel::platform {

class FileLock {
  public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    ~FileLock();

    // Takes the lock of "path" (made 0600 when missing, never through a symbolic link) without waiting:
    // std::errc::resource_unavailable_try_again when another holds it.
    std::error_code tryLock(std::string_view path);
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace korvel::platform
