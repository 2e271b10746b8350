#include "site/change_journal.h"

namespace korvel {
namespace {
ChangeJournal* current = nullptr;
}  // namespace

ChangeJournal* currentJournal() { return current; }

JournalScope::JournalScope(ChangeJournal* journal) : previous_(current) { current = journal; }

JournalScope::~JournalScope() { current = previous_; }

}  // namespace korvel
