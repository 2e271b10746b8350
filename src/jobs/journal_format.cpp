#include "jobs/journal_format.h"

#include <xxhash.h>

#include <charconv>
#include <cstdio>
#include <optional>

namespace korvel::jobs {

namespace {

std::string hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string lineCheck(std::string_view line) {
    return hex16(XXH64(line.data(), line.size(), 0));
}

std::string escape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (const char c : field) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        switch (field[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// The fields of one line (without its line end); nothing when its check fails, "Malformed" set when
// the check passes but a field is not validly escaped.
std::optional<std::vector<std::string>> parseLine(std::string_view line, bool& malformed) {
    malformed = false;
    const auto tab = line.rfind('\t');
    if (tab == std::string_view::npos || line.substr(tab + 1) != lineCheck(line.substr(0, tab))) {
        return std::nullopt;
    }
    line = line.substr(0, tab);
    std::vector<std::string> fields;
    while (true) {
        const auto next = line.find('\t');
        std::optional<std::string> field = unescape(line.substr(0, next));
        if (!field) {
            malformed = true;
            return std::nullopt;
        }
        fields.push_back(std::move(*field));
        if (next == std::string_view::npos) break;
        line.remove_prefix(next + 1);
    }
    return fields;
}

template <typename T>
bool parseNumber(std::string_view text, T& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// Whether the fields of an entry have the count its tag needs (a replace entry: at least).
bool wellFormed(char tag, const std::vector<std::string>& f) {
    switch (tag) {
        case kRenameTag:
            return f.size() == 5;
        case kReplaceTag:
            // The fields of its links come in threes; one more, after them, names another link of the file.
            return f.size() >= 11 && ((f.size() - 11) % 3 == 0 || (f.size() - 11) % 3 == 1);
        case kMakeDirectoryTag:
            return f.size() == 1;
        case kRemoveDirectoryTag:
            return f.size() == 2;
        case kTrashTag:
            return f.size() == 1;
        case kTrashedTag:
            return f.size() == 2;
        case kUndoneTag:
            return f.size() == 1;
        case kCreatedTag:
            return f.size() == 3;
        default:
            return false;
    }
}

bool readHeader(const std::vector<std::string>& f, JournalText& journal) {
    if (f.size() < 5 || f[0] != kJournalMagic) return false;
    JournalHeader& h = journal.header;
    h.version = f[1];
    h.top = f[2];
    h.job = f[3];
    h.time = f[4];
    if (h.version == "1") {
        h.spelledTop = h.top;
        return true;
    }
    if (h.version != kJournalVersion) {
        journal.unknownVersion = true;
        return true;
    }
    if (f.size() != 10) return false;
    h.spelledTop = f[5];
    h.identityKnown = parseNumber(f[6], h.device) && parseNumber(f[7], h.inode);
    h.id = f[8];
    h.keep = f[9];
    return true;
}

}  // namespace

std::string journalLine(const std::vector<std::string_view>& fields) {
    std::string line;
    for (const std::string_view field : fields) {
        if (!line.empty()) line += '\t';
        line += escape(field);
    }
    const std::string check = lineCheck(line);
    line += '\t';
    line += check;
    line += '\n';
    return line;
}

JournalText parseJournal(std::string_view content, std::string_view top) {
    JournalText journal;
    std::string_view rest(content);
    std::size_t number = 0;
    bool first = true;
    while (!rest.empty()) {
        ++number;
        const auto end = rest.find('\n');
        if (end == std::string_view::npos) {
            // The text after the last line end is a line the writer never finished.
            journal.damaged.push_back({number, LineFault::Unfinished});
            break;
        }
        const std::string_view line = rest.substr(0, end + 1);
        rest.remove_prefix(end + 1);
        bool malformed = false;
        std::optional<std::vector<std::string>> fields =
            parseLine(line.substr(0, line.size() - 1), malformed);
        const bool tagged = fields && !fields->empty() && (*fields)[0].size() == 1;
        if (first) {
            first = false;
            std::vector<std::string> header;
            if (tagged && (*fields)[0][0] == kHeaderTag) header.assign(fields->begin() + 1, fields->end());
            if (!readHeader(header, journal)) {
                journal.damaged.push_back({number, fields ? LineFault::Malformed : LineFault::Checksum});
                return journal;
            }
            journal.hasHeader = true;
            journal.headerText = std::string(line);
            // Another directory's journal (two paths with one hash), or one this version cannot read:
            // nothing in it is this undo's to act on.
            if (journal.header.top != top) journal.otherDirectory = true;
            if (journal.otherDirectory || journal.unknownVersion) return journal;
            continue;
        }
        if (!tagged) {
            journal.damaged.push_back(
                {number, fields || malformed ? LineFault::Malformed : LineFault::Checksum});
            continue;
        }
        const char tag = (*fields)[0][0];
        fields->erase(fields->begin());
        if (!wellFormed(tag, *fields)) {
            journal.damaged.push_back({number, LineFault::Malformed});
            continue;
        }
        if (tag == kUndoneTag) {
            std::size_t line = 0;
            bool found = false;
            if (parseNumber((*fields)[0], line)) {
                for (JournalEntry& e : journal.entries) {
                    if (e.line == line) {
                        e.undone = true;
                        found = true;
                    }
                }
            }
            if (!found) journal.damaged.push_back({number, LineFault::Malformed});
            continue;
        }
        if (tag == kTrashedTag) {
            // Completes the newest trash entry of that path.
            bool found = false;
            for (auto it = journal.entries.rbegin(); it != journal.entries.rend() && !found; ++it) {
                if (it->tag == kTrashTag && it->fields[0] == (*fields)[0]) {
                    it->inTrash = (*fields)[1];
                    it->trashKnown = true;
                    it->text += line;
                    found = true;
                }
            }
            if (!found) journal.damaged.push_back({number, LineFault::Malformed});
            continue;
        }
        journal.entries.push_back({tag, std::move(*fields), std::string(line), number, {}, false, false});
    }
    return journal;
}

}  // namespace korvel::jobs
