// Running a helper program and taking what it prints.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace trovelane {

// Runs argv[0] (looked up in $PATH) with the given arguments, no shell
// involved, and returns its standard output once it has ended with status 0.
// None when it cannot be started, fails, or has not finished within
// `timeoutMs` (it is then killed). Standard error is discarded.
std::optional<std::string> CommandOutput(const std::vector<std::string>& argv, int timeoutMs);

}  // namespace trovelane
