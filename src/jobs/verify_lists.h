#pragma once
// The two lists a person confirms before a job changes files: the new names before a renaming, and the
// files a pass is about to process (line ends to convert, orphans to remove). Each builds the prompt's
// request from the tree, and applies the answer to the tree and to the job's log.
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvel {
class DirNode;
class Node;
}  // namespace korvel

namespace korvel::jobs {

// Shows every node of "top" that has a new name, in pre-order. An unchecked row loses its new name (it is
// not renamed) and is listed in "THESE FILES NEEDED RENAMING BUT WERE NOT RENAMED BY USER REQUEST:"; an
// edited row takes the edited name. False when the person cancelled (nothing changed).
bool verifyNewNames(DirNode& top, std::int32_t target, std::int32_t caseConversion);

// Shows "files" (with "directory" on the "Src Dir:" line) under the caption and explanation string ids.
// The unchecked ones are taken out of "files" and, when "sectionId" is not 0, listed in that section of the
// log. False when the person cancelled ("files" unchanged).
bool verifyFiles(std::vector<Node*>& files, const DirNode& directory, int captionId, int explanationId,
                 int sectionId, std::string_view note = {});

}  // namespace korvel::jobs
