// Fuzz entry point of the undo journal's reader. A journal's lines carry a hash, which a fuzzer cannot
// forge, so the input describes the journal: each line of it becomes one journal line written as the
// journal writes it (its tab-separated parts the fields, the first the tag), except that a line starting
// with "!" is taken as it stands (with a hash that rarely passes), and text after the last line end
// stays a line without its end. Besides what the sanitizers catch, it checks the promises an undo relies
// on: each entry has the fields its tag needs, entries and damaged lines come in order at their own line
// numbers, nothing comes from another directory's journal or an unknown version, and what the writer
// writes from an entry reads back as that entry.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/journal_format.h"

namespace {

namespace jobs = korvel::jobs;

void fail(int line) {
    std::fprintf(stderr, "journal_fuzz: promise broken at line %d\n", line);
    std::abort();
}
#define check(holds) ((holds) ? (void)0 : fail(__LINE__))

constexpr std::string_view kTop = "/site";

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

std::string journalOf(std::string_view input, std::size_t& lines) {
    std::string journal;
    lines = 0;
    const std::vector<std::string_view> described = split(input, '\n');
    for (std::size_t i = 0; i < described.size(); ++i) {
        const std::string_view line = described[i];
        const bool last = i + 1 == described.size();
        if (last && line.empty()) break;
        ++lines;
        if (last) {
            journal += line;  // never finished
        } else if (line.starts_with('!')) {
            journal += line.substr(1);
            journal += '\n';
        } else {
            journal += jobs::journalLine(split(line, '\t'));
        }
    }
    return journal;
}

// The fields an undo reads from an entry of each tag, by index.
std::size_t fieldsNeeded(char tag) {
    switch (tag) {
        case jobs::kRenameTag:
            return 5;
        case jobs::kReplaceTag:
            return 11;
        case jobs::kMakeDirectoryTag:
        case jobs::kTrashTag:
            return 1;
        case jobs::kRemoveDirectoryTag:
            return 2;
        default:
            fail(__LINE__);
            return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t lines = 0;
    const std::string text = journalOf(std::string_view(reinterpret_cast<const char*>(data), size), lines);
    const jobs::JournalText journal = jobs::parseJournal(text, kTop);

    std::size_t last = 0;
    for (const jobs::DamagedLine& damaged : journal.damaged) {
        check(damaged.line > last && damaged.line <= lines);
        last = damaged.line;
    }
    if (!journal.hasHeader || journal.otherDirectory || journal.unknownVersion) {
        check(journal.entries.empty());
        return 0;
    }
    check(journal.header.top == kTop);
    check(text.starts_with(journal.headerText));

    last = 1;
    std::string rewritten = journal.headerText;
    for (const jobs::JournalEntry& e : journal.entries) {
        check(e.line > last && e.line <= lines);
        last = e.line;
        for (const jobs::DamagedLine& damaged : journal.damaged)
            check(damaged.line != e.line);
        check(e.fields.size() >= fieldsNeeded(e.tag));
        check(!e.trashKnown || e.tag == jobs::kTrashTag);
        check(!e.text.empty() && e.text.back() == '\n');

        std::vector<std::string_view> fields = {std::string_view(&e.tag, 1)};
        fields.insert(fields.end(), e.fields.begin(), e.fields.end());
        rewritten += jobs::journalLine(fields);
        if (e.trashKnown)
            rewritten += jobs::journalLine({std::string_view(&jobs::kTrashedTag, 1), e.fields[0], e.inTrash});
    }

    // The writer's lines of the same entries read back as them, whole.
    const jobs::JournalText again = jobs::parseJournal(rewritten, kTop);
    check(again.hasHeader && again.damaged.empty());
    check(again.entries.size() == journal.entries.size());
    for (std::size_t i = 0; i < again.entries.size(); ++i) {
        const jobs::JournalEntry& before = journal.entries[i];
        const jobs::JournalEntry& after = again.entries[i];
        check(after.tag == before.tag && after.fields == before.fields);
        check(after.trashKnown == before.trashKnown && after.inTrash == before.inTrash);
        check(!after.undone);
    }
    return 0;
}
