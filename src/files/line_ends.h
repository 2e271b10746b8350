#pragma once
// Line ends of text files: which files differ from the wanted convention, and converting them.
//
// A fix finds the files with LineEndsCheck, lets the person take some off the list, and converts the rest
// with LineEndsPass. Each file is rewritten whole and atomically (platform::replaceFileContents), after
// the change journal has recorded its old bytes, so that a crash leaves it old or new and the undo can put
// the old bytes back.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "site/probe.h"
#include "site/visitor.h"

namespace korvel {
class DirNode;
class FileNode;
class HtmlNode;
class Node;
class ReportSection;
class GUIProgress;
}  // namespace korvel

namespace korvel::files {

// The report row of a file whose line ends went from "from" to "to" (section "FILES WITH CHANGED LINE
// ENDINGS:"), e.g. "DOS  -> UNIX:  /site/a.txt".
void writeLineEndChange(ReportSection& section, LineEndKind from, LineEndKind to, std::string_view path);

// "bytes" with every line end (CR LF, a lone CR, a lone LF) replaced by the one of "target" (CR LF, CR or
// LF); the bytes of the lines, NUL and bytes above 127 included, stay as they are, and a last line without
// a line end gets none. "found" receives whether "bytes" held any line end at all.
std::string convertLineEnds(std::string_view bytes, LineEndKind target, bool* found = nullptr);

// The kind of the first line end of "bytes" (kNoLineEnd when it has none). Every CR and LF counts, also
// after a NUL byte.
LineEndKind firstLineEnd(std::string_view bytes);

// Rewrites the file of "node" with the line ends of "target" (kCrLf, kCr or kLf). True when the file was
// rewritten: the node's lineEnd is then "target" and its line index is forgotten (it is built again when
// needed). False, with nothing written, when the file has no line end at all or is already entirely in
// the target convention (its modification time stays), when it lies behind a symbolic link, when it is
// one of Korvel's own output files, when the change journal in force could not record the change, and
// when the file is not text as a whole (a NUL byte anywhere, a UTF-16/32 byte order mark), which is
// reported with the reason. A failure is reported with the path in the errors section ("File open
// failed", "File read failed", "File write failed", or why the file was left as it was); the file is
// then as it was.
bool rewriteLineEnds(FileNode& node, LineEndKind target);

// The files a check found, in the order the walk met them. The verification list may take files out;
// the update converts exactly the ones left. The nodes belong to the tree.
class LineEndList {
  public:
    class const_iterator {
      public:
        using Inner = std::map<std::uint64_t, FileNode*>::const_iterator;
        explicit const_iterator(Inner at) : at_(at) {}
        FileNode* operator*() const { return at_->second; }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator==(const const_iterator&) const = default;

      private:
        Inner at_;
    };

    // False when the node is already held (it keeps its place).
    bool insert(FileNode* node);
    // 1 when the node was held and is taken out, else 0.
    std::size_t erase(const FileNode* node);
    bool contains(const FileNode* node) const { return places_.count(node) != 0; }
    std::size_t count(const FileNode* node) const { return places_.count(node); }
    std::size_t size() const { return places_.size(); }
    bool empty() const { return places_.empty(); }
    void clear();

    const_iterator begin() const { return const_iterator(inOrder_.begin()); }
    const_iterator end() const { return const_iterator(inOrder_.end()); }

  private:
    std::map<std::uint64_t, FileNode*> inOrder_;  // by the order of insertion
    std::unordered_map<const FileNode*, std::uint64_t> places_;
    std::uint64_t next_ = 0;
};

// Lists the text files whose line ends differ from "target": an ASCII file (a page counts as one), not
// empty, whose line-end kind is not the target's, and not one of Korvel's own output files. A file in which
// the first look found no line end is read whole and listed only when it has one further on; a file behind a
// symbolic link is never listed (its content is not the site's). Directories are passed over. A visit returns
// whether the file was listed; "count" counts them.
class LineEndsCheck : public Visitor {
  public:
    LineEndsCheck(LineEndKind target, LineEndList& list);

    bool visitFile(FileNode& node) override;
    bool visitHtml(HtmlNode& node) override;

  private:
    bool check(FileNode& node);

    LineEndKind target_;
    LineEndList& list_;
};

// Converts the files still in "list" (section "FILES WITH CHANGED LINE ENDINGS:", one row per converted
// file). A read-only file goes through confirmRewrite first (the read-only policy in force, or the
// prompt); one that is declined is skipped and not counted, and one rewritten keeps its exact mode. A visit
// returns whether the file was converted; when none was, the section says "All files had compatible ASCII
// line endings!".
class LineEndsPass : public Visitor {
  public:
    LineEndsPass(LineEndKind target, const LineEndList& list);
    ~LineEndsPass() override;
    LineEndsPass(const LineEndsPass&) = delete;
    LineEndsPass& operator=(const LineEndsPass&) = delete;

    bool visitFile(FileNode& node) override;
    bool visitHtml(HtmlNode& node) override;

  private:
    bool update(FileNode& node);

    LineEndKind target_;
    const LineEndList& list_;
};

// The two passes as a job runs them, each over the directory tree from "top" with its progress title;
// "total" is the node count for the progress display. Each returns the pass's count, or -1 when the
// person cancelled.
std::int32_t checkLineEnds(DirNode& top, LineEndKind target, LineEndList& list, std::int64_t total,
                           GUIProgress* progress = nullptr);
std::int32_t updateLineEnds(DirNode& top, LineEndKind target, const LineEndList& list, std::int64_t total,
                            GUIProgress* progress = nullptr);

}  // namespace korvel::files
