#include "cli/probe_command.h"

#include <fmt/format.h>

#include <ostream>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "platform/dir_list.h"
#include "platform/display_name.h"
#include "platform/file_info.h"
#include "platform/paths.h"
#include "site/probe.h"

namespace korvel::cli {

namespace {

constexpr std::string_view kLineFormat = "{:<6} {:<4} {:<4} {:<5} {:<8} {:>12}  {}";

std::string_view lineEndName(LineEndKind kind) {
    switch (kind) {
        case kCrLf:
            return "CRLF";
        case kCr:
            return "CR";
        case kLf:
            return "LF";
        case kNoLineEnd:
            break;
    }
    return "none";
}

std::string_view yesNo(bool value) {
    return value ? "yes" : "no";
}

class Prober {
  public:
    Prober(const HtmlDefinitions& definitions, std::ostream& out, std::ostream& err)
        : definitions_(definitions), out_(out), err_(err) {}

    void header() {
        out_ << fmt::format(kLineFormat, "exists", "dir", "html", "ascii", "line-end", "size", "path")
             << '\n';
    }

    // Probes "path" and, for a directory, everything below it, depth first in byte-wise name order.
    void probeTree(const std::string& top) {
        std::vector<std::string> pending{top};
        std::vector<std::string> names;
        while (!pending.empty()) {
            const std::string path = std::move(pending.back());
            pending.pop_back();
            if (!probeOne(path)) continue;
            if (auto ec = platform::listDirectory(path, names)) {
                fail(fmt::format("cannot list {}: {}", platform::displayName(path), ec.message()));
                continue;
            }
            for (auto it = names.rbegin(); it != names.rend(); ++it)
                pending.push_back(platform::joinPath(path, *it));
        }
    }

    int status() const { return failed_ ? kExitFindings : kExitOk; }

  private:
    // Prints the line of one path; true when it is a directory to descend into.
    bool probeOne(const std::string& path) {
        const std::string shown = platform::displayName(path);
        platform::FileInfo info;
        if (auto ec = platform::fileInfo(path, info)) {
            fail(fmt::format("cannot examine {}: {}", shown, ec.message()));
            return false;
        }
        switch (info.kind) {
            case platform::EntryKind::Missing:
                line("no", "-", "-", "-", "-", "-", shown + "  (does not exist)");
                failed_ = true;
                return false;
            case platform::EntryKind::Other:
                // Sockets, FIFOs, devices and links to directories are never opened nor entered.
                line("yes", "-", "-", "-", "-", "-", shown + "  (skipped: not a regular file or directory)");
                return false;
            case platform::EntryKind::Directory:
                line("yes", "yes", "-", "-", "-", "-", shown);
                return true;
            case platform::EntryKind::File:
                break;
        }
        const FileProbe probe = makeProbe(path);
        if (!probe.exists) {
            // Gone between the two looks.
            line("no", "-", "-", "-", "-", "-", shown + "  (does not exist)");
            failed_ = true;
            return false;
        }
        if (probe.isDirectory) {
            line("yes", "yes", "-", "-", "-", "-", shown);
            return true;
        }
        const bool html = isHtmlFile(probe, definitions_);
        if (probe.size < 0) {
            line("yes", "no", yesNo(html), "no", "-", "-", shown + "  (cannot be read)");
            failed_ = true;
            return false;
        }
        line("yes", "no", yesNo(html), yesNo(isAsciiFile(probe)), lineEndName(detectLineEnd(probe)),
             std::to_string(probe.size), shown);
        return false;
    }

    void line(std::string_view exists, std::string_view dir, std::string_view html, std::string_view ascii,
              std::string_view lineEnd, std::string_view size, std::string_view path) {
        out_ << fmt::format(kLineFormat, exists, dir, html, ascii, lineEnd, size, path) << '\n';
    }

    void fail(const std::string& message) {
        err_ << "korvel: " << message << '\n';
        failed_ = true;
    }

    const HtmlDefinitions& definitions_;
    std::ostream& out_;
    std::ostream& err_;
    bool failed_ = false;
};

}  // namespace

int runProbe(const std::vector<std::string>& paths, const HtmlDefinitions& definitions, std::ostream& out,
             std::ostream& err) {
    Prober prober(definitions, out, err);
    prober.header();
    for (const auto& path : paths)
        prober.probeTree(path);
    return prober.status();
}

}  // namespace korvel::cli
