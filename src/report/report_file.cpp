#include "report/report_file.h"

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/file_info.h"

namespace korvel {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

}  // namespace

ReportFile::ReportFile() {
    openError_ = file_.create();
}

std::error_code ReportFile::append(std::string_view path) {
    if (!isOpen()) return std::make_error_code(std::errc::bad_file_descriptor);
    platform::ReadFile in;
    if (const std::error_code ec = in.open(path)) return ec;
    std::vector<char> block(kBlockSize);
    std::int64_t offset = 0;
    for (;;) {
        std::error_code ec;
        const std::int64_t got = in.readAt(offset, block.data(), block.size(), ec);
        if (got < 0) return ec ? ec : std::make_error_code(std::errc::io_error);
        if (got == 0) return {};
        if (const std::error_code wec = file_.write({block.data(), static_cast<std::size_t>(got)}))
            return wec;
        offset += got;
    }
}

std::error_code ReportFile::keep(std::string& path) {
    if (!isOpen()) return openError_ ? openError_ : std::make_error_code(std::errc::bad_file_descriptor);
    if (const std::error_code ec = file_.flush()) return ec;
    path = file_.release();
    return {};
}

}  // namespace korvel
