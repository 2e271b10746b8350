#pragma once
// The file a report is joined into: a fresh "el_" file in the temporary directory, readable and writable
// by its owner only (a report lists the site's files and errors). It is removed when the object ends,
// unless the report was completed with keep().
#include <string>
#include <string_view>
#include <system_error>

#include "platform/files.h"

namespace korvel {

class ReportFile {
  public:
    // Makes the file; isOpen() tells whether that worked and openError() why not.
    ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    ~ReportFile() = default;  // the temporary file removes itself unless kept

    bool isOpen() const { return file_.fd() >= 0; }
    std::error_code openError() const { return openError_; }
    // The file's path; "" when it could not be made.
    const std::string& name() const { return file_.path(); }

    // Appends the whole content of the file at "path", block by block (a section may be larger than the
    // memory one would want to spend on it).
    std::error_code append(std::string_view path);
    // Hands everything to the disk and keeps the file: it outlives this object and belongs to the caller.
    // On an error the file stays unkept, so it is removed when the object ends.
    std::error_code keep(std::string& path);

  private:
    platform::TempFile file_;
    std::error_code openError_;
};

}  // namespace korvel
