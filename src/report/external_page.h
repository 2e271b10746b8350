#pragma once
// The stand-alone HTML page that lists a site's external URLs as links, so that a person can open it in a
// browser and try each one. The log keeps it in a section of its own (the head is written when the section
// is made, the footer when it is closed); the report assembly copies it into the site's top directory.
#include <string>
#include <string_view>
#include <system_error>

namespace korvel {

class ReportSection;

// The page's name in the site's top directory.
inline constexpr std::string_view kExternalPageName = "report_of_external_refs.html";

// "text" with "&", "<", ">", '"' and "'" written as character references, so that a URL or a file name
// can neither end an attribute nor open a tag of the page. Everything else, bytes that are not ASCII
// included, stays as it is.
std::string htmlEscape(std::string_view text);

// The page's opening lines: its title and heading.
void writeExternalPageHead(ReportSection& page);
// The lines that end the page, with a credit notice.
void writeExternalPageFooter(ReportSection& page);
// The head exactly as writeExternalPageHead writes it: a page that starts with it was written by Korvel.
std::string externalPageHead();

// Why the page did not reach the site.
enum class PageCopyProblem {
    None,
    NotOurs,    // an entry of that name that is a link, not a regular file, or a file Korvel did not write
    CopyFailed  // reading the page or writing the copy failed; "error" says why
};

// Puts "content" (a whole page) into "directory" as kExternalPageName. A page left there by an earlier
// job is replaced in one step, so that a crash leaves the old page or the new one, whole. Anything else
// in the way (a symbolic link, a directory, a file that does not start with our head) is left alone.
PageCopyProblem placeExternalPage(std::string_view directory, std::string_view content,
                                  std::error_code& error);

}  // namespace korvel
