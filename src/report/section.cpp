#include "report/section.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

#include "platform/disk.h"
#include "res/strings.h"
#include "ui/prompts.h"

namespace korvel {

namespace {

// Large enough that a report section of a big job costs a handful of system calls, small enough not to
// matter per section.
constexpr std::size_t kFlushThreshold = 64 * 1024;

}  // namespace

ReportSection::ReportSection(int titleId) : titleId_(titleId) {}

ReportSection::ReportSection(int titleId, std::FILE* stream) : titleId_(titleId), stream_(stream) {}

ReportSection::ReportSection(int titleId, int fd, std::string fileName, Flush flush)
    : titleId_(titleId), fd_(fd), fileName_(std::move(fileName)), flush_(flush) {}

ReportSection::~ReportSection() {
    if (fd_ >= 0) {
        flushBuffer();
        platform::disk().close(fd_);
    } else if (stream_) {
        std::fflush(stream_);
    }
}

std::unique_ptr<ReportSection> ReportSection::standardOutput(int titleId) {
    return std::unique_ptr<ReportSection>(new ReportSection(titleId, stdout));
}

std::unique_ptr<ReportSection> ReportSection::standardError(int titleId) {
    return std::unique_ptr<ReportSection>(new ReportSection(titleId, stderr));
}

std::unique_ptr<ReportSection> ReportSection::overFile(int titleId, std::string_view path, Flush flush) {
    const std::string name(path);
    // Never through a link: the log must not append to whatever a link in the site points at.
    const int fd = name.empty()
                       ? -1
                       : platform::disk().open(name.c_str(),
                                               O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        ui::prompts().messageBox(res::loadString(res::kLogFileCreateFailed), ui::Buttons::Ok);
        return standardOutput(titleId);
    }
    return std::unique_ptr<ReportSection>(new ReportSection(titleId, fd, name, flush));
}

void ReportSection::write(std::string_view text) {
    if (text.empty()) return;
    if (fd_ >= 0) {
        buffer_.append(text);
    } else if (stream_) {
        std::fwrite(text.data(), 1, text.size(), stream_);
    } else {
        return;
    }
    content_ = true;
}

void ReportSection::endLine() {
    if (fd_ >= 0) {
        buffer_.push_back('\n');
        if (flush_ == Flush::EachLine || buffer_.size() >= kFlushThreshold) flushBuffer();
    } else if (stream_) {
        std::fputc('\n', stream_);
        std::fflush(stream_);
    }
}

void ReportSection::writeLineNumber(int line) {
    // Room for the widest int, so a line beyond 99999 is printed whole rather than cut.
    char prefix[32];
    const int n = std::snprintf(prefix, sizeof prefix, "   line %4d: ", line);
    write(std::string_view(prefix, n > 0 ? static_cast<std::size_t>(n) : 0));
}

void ReportSection::flush() {
    if (fd_ >= 0) {
        flushBuffer();
    } else if (stream_) {
        std::fflush(stream_);
    }
}

void ReportSection::flushBuffer() {
    std::string_view rest = buffer_;
    while (!rest.empty() && !writeFailed_) {
        const ssize_t n = platform::disk().write(fd_, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A full disk: what could not be written is lost, and the flag says so to whoever reads the file.
            writeFailed_ = true;
            break;
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    buffer_.clear();
}

void ReportSection::writeLine(std::string_view text) {
    write(text);
    endLine();
}

void ReportSection::write(int id) {
    write(res::loadString(id));
}

void ReportSection::writeLine(int id) {
    write(id);
    endLine();
}

void ReportSection::write(int id, std::string_view a1) {
    write(res::formatString(id, a1));
}

void ReportSection::writeLine(int id, std::string_view a1) {
    write(id, a1);
    endLine();
}

void ReportSection::write(int id, std::string_view a1, std::string_view a2) {
    write(res::formatString(id, a1, a2));
}

void ReportSection::writeLine(int id, std::string_view a1, std::string_view a2) {
    write(id, a1, a2);
    endLine();
}

void ReportSection::writeAtLine(int line, std::string_view text) {
    writeLineNumber(line);
    write(text);
}

void ReportSection::writeAtLine(int line, int id) {
    writeLineNumber(line);
    write(id);
}

void ReportSection::writeAtLine(int line, int id, std::string_view a1) {
    writeLineNumber(line);
    write(id, a1);
}

void ReportSection::writeAtLine(int line, int id, std::string_view a1, std::string_view a2) {
    writeLineNumber(line);
    write(id, a1, a2);
}

ReportSection& nowhereSection() {
    static ReportSection nowhere;
    return nowhere;
}

}  // namespace korvel
