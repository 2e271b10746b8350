#pragma once
// Sets an environment variable for one test (or unsets it, for nullopt) and puts the old value back.
#include <optional>
#include <string>

namespace korvel::testing {

class EnvVar {
  public:
    EnvVar(const char* name, std::optional<std::string> value);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace korvel::testing
