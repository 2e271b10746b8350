#pragma once
// The engine side of the rename prompt: which typed characters the target refuses, and the check a typed
// or pasted name gets when the prompt closes. The dialogs (ui/) call these; they decide nothing themselves.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/prompts.h"

namespace korvel {
class Node;
}

namespace korvel::names {

class SiblingNames;

// Filters the characters typed into the name field, one at a time, as the field's text stands.
class FilenameFilter {
  public:
    static constexpr char kBackspace = '\b';

    FilenameFilter(std::int32_t target, std::int32_t caseConversion, std::int32_t maxLength);

    // The character to insert for "c" typed over the selection [selectionStart, selectionEnd) of "text" (a
    // letter in the field's case when the job converts case), or nothing when it is refused. With nothing
    // selected, both ends are the caret. Backspace is a character too.
    std::optional<char> filter(std::string_view text, std::size_t selectionStart, std::size_t selectionEnd,
                               char c) const;

  private:
    std::int32_t target_;
    std::int32_t case_;
    std::int32_t maxLength_;
};

// The check of a name typed or pasted for "node" when the prompt closes. Returns the name to use:
//   - the name itself with "message" empty: accept it;
//   - another name with "message" set: the typed one broke the target's rules or was not unique; the field
//     shows the substitute and the prompt stays open;
//   - "" with "message" set: refused (empty, or no fitting name at all); the prompt stays open.
// The substitute follows the target's full rules (characters, case, 8.3 form, length budget; never "/",
// ".", ".." or NUL) and is unique among the node's siblings ("siblings", when given, is the pass's set of
// taken names, without the node's own).
std::string validateTypedName(const Node& node, std::int32_t target, std::int32_t caseConversion,
                              std::string_view typed, std::string& message, SiblingNames* siblings = nullptr);

// The prompt's request for "node": the convention's label, the node's directory, current and suggested
// name (the suggestion is its new name, or its current name when it has none), validateTypedName, and the
// target, case and length a FilenameFilter for the field is made from.
// "siblings" must outlive the request when given.
ui::RenameRequest makeRenameRequest(const Node& node, std::int32_t target, std::int32_t caseConversion,
                                    SiblingNames* siblings = nullptr);

}  // namespace korvel::names
