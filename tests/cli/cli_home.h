// A fresh install folder for one CLI test, and trovelane-cli run on it.
#pragma once

#include <string>
#include <vector>

#include "tests/support/cli_runner.h"
#include "tests/support/scratch_folder.h"

namespace trovelane::testing {

class CliHome {
 public:
  std::string Home() const { return folder_.File("home"); }
  std::string File(const std::string& name) const { return folder_.File(name); }
  std::string HomeFile(const std::string& name) const { return Home() + "/" + name; }

  Outcome Run(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--home", Home()});
    return RunCli(args);
  }
  SplitOutcome RunSplit(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--home", Home()});
    return RunCliSplit(args);
  }

 private:
  ScratchFolder folder_;
};

}  // namespace trovelane::testing
