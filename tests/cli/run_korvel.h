#pragma once
// Running the command line in-process for a test.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/env_var.h"
#include "support/temp_dir.h"

namespace korvel::cli {

using Lines = std::vector<std::string>;

struct Result {
    int status = -1;
    Lines out;
    Lines err;
};

// Runs "korvel ARGS..." with standard output and error captured, one string per line.
Result runKorvel(std::vector<std::string> args);

// Points the settings file at a fresh temporary file for one test, and puts the variable back afterwards.
class SettingsFile {
  public:
    explicit SettingsFile(std::string_view content);
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    testing::TempDir dir_;
    std::string path_;
    testing::EnvVar var_;
};

}  // namespace korvel::cli
