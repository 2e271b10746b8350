#include "res/strings.h"

#include <algorithm>
#include <iterator>

namespace korvel::res {

namespace {

struct Entry {
    int id;
    std::string_view text;
};

// Sorted by id, each id once (checked below at compile time).
constexpr Entry kTable[] = {
    {129, "Korvel"},
    {130, "Version 2.00 "},
};

constexpr bool sortedAndUnique() {
    for (std::size_t i = 1; i < std::size(kTable); ++i)
        if (kTable[i - 1].id >= kTable[i].id) return false;
    return true;
}
static_assert(sortedAndUnique(), "string table must be sorted by id with no id twice");

}  // namespace

std::string_view loadString(int id) {
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                      [](const Entry& e, int key) { return e.id < key; });
    return it != std::end(kTable) && it->id == id ? it->text : std::string_view{};
}

std::string formatText(std::string_view text, std::string_view a1, std::string_view a2) {
    std::string out;
    out.reserve(text.size() + a1.size() + a2.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out.append(text[i + 1] == '1' ? a1 : a2);
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string formatString(int id, std::string_view a1, std::string_view a2) {
    return formatText(loadString(id), a1, a2);
}

}  // namespace korvel::res
