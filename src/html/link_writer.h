#pragma once
// Writing a page's rewritten links to disk, for the fix job's link update.
#include <span>

#include "html/update_links.h"

namespace korvel {

class LinkIndex;

// Rewrites a page, or a style sheet that link finding read, in place: only the bytes of each edited link
// change. The file is asked about when it is read-only, announced to the change journal with its bytes
// before and after, and replaced atomically, so that it is either as it was or whole with every edit. A
// file that changed on disk since its links were read is left alone. Only after the file was written do
// its URL records (and the line index of its node) follow the new bytes.
class FileLinkWriter : public LinkWriter {
  public:
    // "found": the job's link findings, whose lines of a page are brought up to date when a rewrite moved
    // them (a link written across lines becomes one line), and which hold the records of style sheets.
    // May be null: then only pages are rewritten.
    explicit FileLinkWriter(LinkIndex* found = nullptr) : found_(found) {}

    bool rewrite(FileNode& file, std::span<const LinkEdit> edits) override;

  private:
    LinkIndex* found_;
};

}  // namespace korvel
