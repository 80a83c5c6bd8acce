// An install folder as a first start leaves it, but with the example profile
// (the engines on 127.0.0.1) current instead of the public engines of the
// web, for the tests that work on the seeded example engines. Nothing a test
// does in such a folder can be aimed at a public engine by accident.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/atomic_file.h"
#include "platform/install_folder.h"

namespace trovelane::testing {

// Seeds `root` (creating it) and rewrites its profile list to name the
// example profile alone, as current (the list a first start wrote before the
// web profile came with the program; web.prf stays in the folder). Throws
// when the folder cannot be prepared.
inline void PrepareExampleHome(const std::filesystem::path& root) {
  Status prepared = PrepareInstallFolder(root);
  if (prepared.ok()) {
    prepared = WriteFileAtomically(
        (root / "qmkprfl.dat").string(),
        std::string(kDefaultProfileFileName) + "\n" + kDefaultProfileDisplayName + "\t" +
            kDefaultProfileFileName + "\n");
  }
  if (!prepared.ok()) {
    throw std::runtime_error("cannot prepare " + root.string() + ": " + prepared.message());
  }
}

}  // namespace trovelane::testing
