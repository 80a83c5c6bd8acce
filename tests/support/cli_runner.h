// Runs trovelane-cli (TROVELANE_CLI_PATH) as a user would, for the CLI tests.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

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

// `redirect` ends the shell command: by default standard error joins
// standard output; " 2>&1 >/dev/full" keeps standard error alone and sends
// standard output to a device where every write fails.
inline Outcome RunCli(const std::vector<std::string>& args, const std::string& redirect = " 2>&1") {
  std::string command = ShellQuoted(TROVELANE_CLI_PATH);
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  command += redirect;
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

// Standard output and standard error apart.
struct SplitOutcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline SplitOutcome RunCliSplit(const std::vector<std::string>& args) {
  SplitOutcome outcome;
  char errPath[] = "/tmp/trovelane-stderr-XXXXXX";
  const int fd = mkstemp(errPath);
  if (fd < 0) return outcome;
  close(fd);
  std::string command = ShellQuoted(TROVELANE_CLI_PATH);
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  command += " 2>" + ShellQuoted(errPath);
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.out.append(buffer, got);
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  if (FILE* err = std::fopen(errPath, "rb")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, err)) > 0) outcome.err.append(buffer, got);
    std::fclose(err);
  }
  std::remove(errPath);
  return outcome;
}

}  // namespace trovelane::testing
