#include "files/line_ends.h"

#include <system_error>
#include <vector>

#include "names/read_only_policy.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "report/log.h"
#include "report/section.h"
#include "res/strings.h"
#include "site/change_journal.h"
#include "site/node.h"
#include "site/output_files.h"
#include "site/traverse.h"

namespace korvel::files {

namespace {

// How much is read at a time where a file is read in blocks.
constexpr std::size_t kBlockSize = 64 * 1024;

// Four characters each: "from" left-aligned, "to" right-aligned.
std::string_view fromLabel(LineEndKind kind) {
    switch (kind) {
        case kCrLf: return "DOS ";
        case kCr: return "Mac ";
        default: return "UNIX";
    }
}

std::string_view toLabel(LineEndKind kind) {
    switch (kind) {
        case kCrLf: return " DOS";
        case kCr: return " Mac";
        default: return "UNIX";
    }
}

bool isConvention(LineEndKind kind) {
    return kind == kCrLf || kind == kCr || kind == kLf;
}

std::string_view terminatorOf(LineEndKind kind) {
    switch (kind) {
        case kCrLf: return "\r\n";
        case kCr: return "\r";
        default: return "\n";
    }
}

// The whole file of "node" into "out", and "stamp" the file as it was read; a failure is reported and
// gives false.
bool readAll(const FileNode& node, std::string& out, platform::FileStamp& stamp) {
    platform::ReadFile file;
    if (file.open(node.path()) || file.stamp(stamp)) {
        node.logError(res::kFileOpenFailed);
        return false;
    }
    out.clear();
    const std::int64_t size = file.size();
    if (size > 0) out.reserve(static_cast<std::size_t>(size));
    std::vector<char> block(kBlockSize);
    for (;;) {
        std::error_code ec;
        const std::int64_t got =
            file.readAt(static_cast<std::int64_t>(out.size()), block.data(), block.size(), ec);
        if (got < 0) {
            node.logError(res::kFileReadFailed);
            return false;
        }
        if (got == 0) return true;
        out.append(block.data(), static_cast<std::size_t>(got));
    }
}

// The kind of the first line end anywhere in the file of "node", read block by block so that a large file
// without any costs no more than one block of memory. False (reported) when the file cannot be read.
bool firstLineEndOfFile(const FileNode& node, LineEndKind& kind) {
    kind = kNoLineEnd;
    platform::ReadFile file;
    if (file.open(node.path())) {
        node.logError(res::kFileOpenFailed);
        return false;
    }
    std::vector<char> block(kBlockSize);
    std::int64_t offset = 0;
    for (;;) {
        std::error_code ec;
        const std::int64_t got = file.readAt(offset, block.data(), block.size(), ec);
        if (got < 0) {
            node.logError(res::kFileReadFailed);
            return false;
        }
        if (got == 0) return true;
        const std::string_view bytes(block.data(), static_cast<std::size_t>(got));
        const std::size_t at = bytes.find_first_of("\r\n");
        if (at == std::string_view::npos) {
            offset += got;
            continue;
        }
        if (bytes[at] == '\r' && at + 1 == bytes.size()) {
            // The CR ends the block: the next byte of the file decides.
            char next = 0;
            kind = file.readAt(offset + got, &next, 1, ec) == 1 && next == '\n' ? kCrLf : kCr;
        } else {
            kind = firstLineEnd(bytes.substr(at));
        }
        return true;
    }
}

// The top directory of the tree that holds "node".
std::string_view topDirectoryOf(const Node& node) {
    const Node* top = &node;
    while (top->getParent())
        top = top->getParent();
    return top->path();
}

// 0 when "bytes" is text as a whole, which a conversion may rewrite; else the message that says why not.
// A NUL byte anywhere means binary data (an archive, an image) or UTF-16/32 text, in which a CR or LF byte
// may be half of another character; a UTF-16/32 byte order mark says the same of text without NULs.
int notTextReason(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
        bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4)))
        return res::kNotTextWideBom;
    if (bytes.find('\0') != std::string_view::npos) return res::kNotTextNul;
    return 0;
}

}  // namespace

void writeLineEndChange(ReportSection& section, LineEndKind from, LineEndKind to, std::string_view path) {
    section.write(res::kLineEndChange, fromLabel(from), toLabel(to));
    section.writeLine(path);
}

std::string convertLineEnds(std::string_view bytes, LineEndKind target, bool* found) {
    const std::string_view terminator = terminatorOf(target);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 32);
    bool any = false;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t at = bytes.find_first_of("\r\n", start);
        if (at == std::string_view::npos) {
            out.append(bytes.substr(start));
            break;
        }
        any = true;
        out.append(bytes.substr(start, at - start));
        out.append(terminator);
        start = at + 1;
        // A CR LF pair is one line end.
        if (bytes[at] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
    }
    if (found) *found = any;
    return out;
}

LineEndKind firstLineEnd(std::string_view bytes) {
    const std::size_t at = bytes.find_first_of("\r\n");
    if (at == std::string_view::npos) return kNoLineEnd;
    if (bytes[at] == '\n') return kLf;
    return at + 1 < bytes.size() && bytes[at + 1] == '\n' ? kCrLf : kCr;
}

namespace {

// rewriteLineEnds, also giving the kind the file had before ("from").
bool rewrite(FileNode& node, LineEndKind target, LineEndKind& from) {
    // Behind a link lies content that is not the site's: never rewritten.
    if (!isConvention(target) || node.isSymlink()) return false;
    std::string before;
    platform::FileStamp readAs;
    if (!readAll(node, before, readAs)) return false;
    // Korvel's own output is not the site's text to convert.
    if (isKorvelOutputContent(topDirectoryOf(node), node.path(), before)) return false;
    if (const int why = notTextReason(before)) {
        node.logError(why);
        return false;
    }
    bool found = false;
    std::string after = convertLineEnds(before, target, &found);
    if (!found) return false;
    if (after == before) {
        // Already as wanted throughout: rewriting would only change its time.
        node.setLineEnd(target);
        return false;
    }
    from = node.lineEnd() != kNoLineEnd ? node.lineEnd() : firstLineEnd(before);
    const ContentChange why{ContentChange::Kind::LineEnds, from, target, {}, {}};
    if (!replaceRecorded(node, before, after, why, &readAs)) return false;
    node.setLineEnd(target);
    node.clearLineIndex();
    return true;
}

}  // namespace

bool rewriteLineEnds(FileNode& node, LineEndKind target) {
    LineEndKind from = kNoLineEnd;
    return rewrite(node, target, from);
}

// ---- LineEndList

bool LineEndList::insert(FileNode* node) {
    if (!node || places_.count(node)) return false;
    inOrder_.emplace(next_, node);
    places_.emplace(node, next_);
    ++next_;
    return true;
}

std::size_t LineEndList::erase(const FileNode* node) {
    const auto it = places_.find(node);
    if (it == places_.end()) return 0;
    inOrder_.erase(it->second);
    places_.erase(it);
    return 1;
}

void LineEndList::clear() {
    inOrder_.clear();
    places_.clear();
}

// ---- LineEndsCheck

LineEndsCheck::LineEndsCheck(LineEndKind target, LineEndList& list) : target_(target), list_(list) {}

bool LineEndsCheck::visitFile(FileNode& node) {
    return check(node);
}

bool LineEndsCheck::visitHtml(HtmlNode& node) {
    return check(node);
}

bool LineEndsCheck::check(FileNode& node) {
    if (!isConvention(target_) || !node.isAscii() || node.isSymlink()) return false;
    if (node.lineEnd() == target_) return false;
    if (isKorvelOutputFile(topDirectoryOf(node), node.path())) {
        std::string start;
        if (platform::readWholeFile(node.path(), start, korvelOutputStartSize()) ||
            isKorvelOutputContent(topDirectoryOf(node), node.path(), start))
            return false;
    }
    if (node.lineEnd() == kNoLineEnd) {
        // The first look reads only so far (and a NUL byte ends it within a block); a file that holds no
        // line end at all has nothing to convert, and an empty one neither.
        LineEndKind kind = kNoLineEnd;
        if (!firstLineEndOfFile(node, kind) || kind == kNoLineEnd) return false;
        node.setLineEnd(kind);
        if (kind == target_) return false;
    }
    if (!list_.insert(&node)) return false;
    ++count;
    return true;
}

// ---- LineEndsPass

LineEndsPass::LineEndsPass(LineEndKind target, const LineEndList& list) : target_(target), list_(list) {
    section = currentLog().openSection(res::kSectionChangedLineEnds);
}

LineEndsPass::~LineEndsPass() {
    if (!section) return;
    if (count == 0) {
        section->endLine();
        section->writeLine(res::kAllLineEndsCompatible);
    }
    currentLog().closeSection(section);
}

bool LineEndsPass::visitFile(FileNode& node) {
    return update(node);
}

bool LineEndsPass::visitHtml(HtmlNode& node) {
    return update(node);
}

bool LineEndsPass::update(FileNode& node) {
    if (!list_.contains(&node)) return false;
    if (!names::confirmRewrite(node)) return false;
    LineEndKind from = kNoLineEnd;
    if (!rewrite(node, target_, from)) return false;
    // The kind the file was found with; for a file whose first look found none, the one it really had.
    if (node.originalLineEnd() != kNoLineEnd) from = node.originalLineEnd();
    if (section) writeLineEndChange(*section, from, node.lineEnd(), node.path());
    ++count;
    return true;
}

// ---- the passes as a job runs them

std::int32_t checkLineEnds(DirNode& top, LineEndKind target, LineEndList& list, std::int64_t total,
                           GUIProgress* progress) {
    LineEndsCheck visitor(target, list);
    Traversal<TypedWalk<Node*>> pass(&top, visitor);
    return pass.run(res::loadString(res::kSearchingAsciiFiles), total, progress);
}

std::int32_t updateLineEnds(DirNode& top, LineEndKind target, const LineEndList& list, std::int64_t total,
                            GUIProgress* progress) {
    LineEndsPass visitor(target, list);
    Traversal<TypedWalk<Node*>> pass(&top, visitor);
    return pass.run(res::loadString(res::kUpdatingLineEnds), total, progress);
}

}  // namespace korvel::files
