#pragma once
// What a job does with a read-only entry it is about to change: ask, skip it, or make it writable for the
// change. The policy in force is the running job's own AutoReadOnly, installed for the job by a scope, so
// that an answer for all remaining files lasts exactly as long as the job.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvel {
class Node;
}

namespace korvel::names {

// Installs "autoReadOnly" (the running job's AutoReadOnly, a ReadOnlyPolicy) as the policy in force for
// its lifetime and puts the previous one back on every way out. The read-only prompt's "Yes to All" and
// "No to All" write 2 and 1 into it. The scope also remembers each single "Yes" or "No" for the rest of
// the job, so that a file is asked about once even when two passes change it.
class ReadOnlyPolicyScope {
  public:
    explicit ReadOnlyPolicyScope(std::int32_t& autoReadOnly);
    ~ReadOnlyPolicyScope();
    ReadOnlyPolicyScope(const ReadOnlyPolicyScope&) = delete;
    ReadOnlyPolicyScope& operator=(const ReadOnlyPolicyScope&) = delete;

  private:
    friend class ReadOnlyDecision;
    std::int32_t* autoReadOnly_;
    std::unordered_map<std::string, bool> answers_;  // by original path: true = make writable
    ReadOnlyPolicyScope* previous_;
};

// The mode change that confirmWritable made, undone by restore() or at the end of the grant's life.
class WritableGrant {
  public:
    WritableGrant() = default;
    WritableGrant(const WritableGrant&) = delete;
    WritableGrant& operator=(const WritableGrant&) = delete;
    ~WritableGrant();

    // The exact mode the entry had before it was made writable; nothing when its mode was not changed.
    std::optional<mode_t> previousMode() const { return previous_; }
    // Gives the entry, now at "path" (it may have been renamed meanwhile), its previous mode back. True
    // when there was nothing to give back or it was given back; a failure is reported.
    bool restore(std::string_view path);
    bool restore() { return restore(path_); }

  private:
    friend bool confirmWritable(const Node& node, WritableGrant& grant);
    std::string path_;
    std::optional<mode_t> previous_;
};

// Whether "node" may be renamed. True at once unless the node is read-only. A symbolic link has no mode of
// its own to honour (what lies behind it is never changed), so it is never asked about. Otherwise the
// policy in force decides, asking through the prompts when it is 0: skipping reports "Read-only file was
// skipped" and returns false; making writable adds the owner's write bit (removing nothing) and reports
// "Converted read-only to read-write" when the mode changed, or "Failed to convert read-only to
// read-write" and returns false. Without a policy scope (no job running) read-only entries are skipped.
// "grant" receives the change, if any, so that the caller can put the exact mode back once it is done.
bool confirmWritable(const Node& node, WritableGrant& grant);

// Whether the file of "node" may be rewritten: asked as confirmWritable asks, but a yes changes no mode.
// A rewrite puts a new file in the old one's place, which needs only the directory's permission, and
// the new file keeps the exact mode of the old, read-only included.
bool confirmRewrite(const Node& node);

}  // namespace korvel::names
