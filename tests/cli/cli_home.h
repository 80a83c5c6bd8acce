// A fresh install folder for one CLI test, and trovelane-cli run on it. The
// folder is seeded as on a first start but with the example engines of
// 127.0.0.1 current; CliHome(CliHome::kFirstStart) leaves it to the program's
// own first start, which makes the public engines of the web current.
#pragma once

#include <string>
#include <vector>

#include "tests/support/cli_runner.h"
#include "tests/support/example_home.h"
#include "tests/support/scratch_folder.h"

namespace trovelane::testing {

class CliHome {
 public:
  enum Start { kExampleProfile, kFirstStart };
  explicit CliHome(Start start = kExampleProfile) {
    if (start == kExampleProfile) PrepareExampleHome(Home());
  }

  std::string Home() const { return folder_.File("home"); }
  std::string File(const std::string& name) const { return folder_.File(name); }
  std::string HomeFile(const std::string& name) const { return Home() + "/" + name; }

  Outcome Run(std::vector<std::string> args, const std::string& redirect = " 2>&1") const {
    args.insert(args.begin(), {"--home", Home()});
    return RunCli(args, redirect);
  }
  SplitOutcome RunSplit(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--home", Home()});
    return RunCliSplit(args);
  }

 private:
  ScratchFolder folder_;
};

}  // namespace trovelane::testing
