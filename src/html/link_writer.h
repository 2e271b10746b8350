#pragma once
// Writing a page's rewritten links to disk, for the fix job's link update.
#include <span>

#include "html/update_links.h"

namespace korvel {

class EFoundLinks;

// Rewrites a page in place: only the bytes of each edited link change. The page is asked about when it
// is read-only, announced to the change journal with its bytes before and after, and replaced atomically,
// so that it is either as it was or whole with every edit. A page that changed on disk since its links
// were read is left alone. Only after the page was written do its URL records (and the line index of its
// node) follow the new bytes.
class EPageLinkWriter : public ILinkWriter {
  public:
    // "found": the job's link findings, whose lines of a page are brought up to date when a rewrite moved
    // them (a link written across lines becomes one line). May be null.
    explicit EPageLinkWriter(EFoundLinks* found = nullptr) : found_(found) {}

    bool rewrite(EHtmlNode& page, std::span<const LinkEdit> edits) override;

  private:
    EFoundLinks* found_;
};

}  // namespace korvel
