// Runs trovelane-cli (TROVELANE_CLI_PATH) as a user would, for the CLI tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace trovelane::testing {

struct Outcome {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

inline std::string ShellQuoted(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline Outcome RunCli(const std::vector<std::string>& args) {
  std::string command = ShellQuoted(TROVELANE_CLI_PATH);
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  command += " 2>&1";
  Outcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, got);
  const int status = pclose(pipe);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

}  // namespace trovelane::testing
