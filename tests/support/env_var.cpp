#include "support/env_var.h"

#include <cstdlib>

namespace korvel::testing {

namespace {
void put(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}
}  // namespace

EnvVar::EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    put(name_, value);
}

EnvVar::~EnvVar() {
    put(name_, old_);
}

}  // namespace korvel::testing
