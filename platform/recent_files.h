// The list of the most recently used documents, newest first, kept in a
// small text file of the install folder (one path a line).
//
// Threads: one thread at a time (the user-interface thread).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/status.h"

namespace trovelane {

inline constexpr const char* kRecentFilesName = "recent-documents";
inline constexpr size_t kRecentFilesMax = 4;

class RecentFiles {
 public:
  explicit RecentFiles(std::string file, size_t max = kRecentFilesMax)
      : file_(std::move(file)), max_(max) {}

  // Reads the list; a missing or unreadable file gives an empty one. Empty
  // lines and lines beyond the limit are dropped.
  void Load();
  // Puts `path` first (removing it further down) and saves the list.
  Status Add(const std::string& path);
  // Takes `path` off the list (e.g. a file that no longer opens) and saves.
  Status Remove(const std::string& path);

  const std::vector<std::string>& paths() const { return paths_; }

 private:
  Status Save() const;

  const std::string file_;
  const size_t max_;
  std::vector<std::string> paths_;
};

}  // namespace trovelane
