#include "names/read_only_policy.h"

#include <sys/stat.h>

#include "platform/attributes.h"
#include "platform/shorten_path.h"
#include "report/log.h"
#include "res/strings.h"
#include "settings/job_settings.h"
#include "site/node.h"
#include "ui/prompts.h"

namespace korvel::names {

namespace {

// The scope of the running job; one job runs at a time, on one thread.
ReadOnlyPolicyScope* g_scope = nullptr;

// The read-only prompt shows the path in at most this many characters.
constexpr std::size_t kPromptPathWidth = 255;

}  // namespace

// Reads and updates the policy in force for one entry.
class ReadOnlyDecision {
  public:
    // True: make the entry writable; false: leave it alone.
    static bool makeWritable(const Node& node) {
        ReadOnlyPolicyScope* scope = g_scope;
        // Outside a job nobody has said that read-only files may be changed.
        if (!scope) return false;
        switch (*scope->autoReadOnly_) {
            case kReadOnlySkip:
                return false;
            case kReadOnlyMakeWritable:
                return true;
            default:
                break;
        }
        if (const auto it = scope->answers_.find(node.originalPath()); it != scope->answers_.end())
            return it->second;
        switch (ui::prompts().readOnlyFile(platform::shortenPath(node.path(), kPromptPathWidth))) {
            case ui::ReadOnlyAnswer::YesToAll:
                *scope->autoReadOnly_ = kReadOnlyMakeWritable;
                return true;
            case ui::ReadOnlyAnswer::NoToAll:
                *scope->autoReadOnly_ = kReadOnlySkip;
                return false;
            case ui::ReadOnlyAnswer::No:
                scope->answers_[node.originalPath()] = false;
                return false;
            case ui::ReadOnlyAnswer::Yes:
                break;
        }
        scope->answers_[node.originalPath()] = true;
        return true;
    }
};

ReadOnlyPolicyScope::ReadOnlyPolicyScope(std::int32_t& autoReadOnly)
    : autoReadOnly_(&autoReadOnly), previous_(g_scope) {
    g_scope = this;
}

ReadOnlyPolicyScope::~ReadOnlyPolicyScope() {
    g_scope = previous_;
}

WritableGrant::~WritableGrant() {
    restore();
}

bool WritableGrant::restore(std::string_view path) {
    if (!previous_) return true;
    const mode_t mode = *previous_;
    previous_.reset();
    if (!platform::restoreMode(path, mode)) return true;
    currentLog().errorDetail(res::kModeNotRestored, path);
    return false;
}

namespace {

// Asks the policy in force about a read-only node; a skip is reported.
bool mayChange(const Node& node) {
    if (!node.isReadOnly() || node.isSymlink()) return true;
    if (ReadOnlyDecision::makeWritable(node)) return true;
    currentLog().errorDetail(res::kReadOnlySkipped, node.path());
    return false;
}

}  // namespace

bool confirmWritable(const Node& node, WritableGrant& grant) {
    grant.restore();
    if (!mayChange(node)) return false;
    if (!node.isReadOnly() || node.isSymlink()) return true;
    mode_t previous = 0;
    if (platform::makeWritable(node.path(), previous)) {
        currentLog().errorDetail(res::kReadOnlyConvertFailed, node.path());
        return false;
    }
    grant.path_ = node.path();
    // makeWritable changes nothing when the owner's write bit is already there (it was added since the
    // scan): then nothing was converted, and there is nothing to give back.
    if (previous & S_IWUSR) return true;
    currentLog().errorDetail(res::kReadOnlyConverted, node.path());
    grant.previous_ = previous;
    return true;
}

bool confirmRewrite(const Node& node) {
    return mayChange(node);
}

}  // namespace korvel::names
