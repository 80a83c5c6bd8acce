#include "platform/recent_files.h"

#include <algorithm>
#include <fstream>

#include "platform/atomic_file.h"

namespace trovelane {

void RecentFiles::Load() {
  paths_.clear();
  std::ifstream in(file_);
  std::string line;
  while (paths_.size() < max_ && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || std::find(paths_.begin(), paths_.end(), line) != paths_.end()) continue;
    paths_.push_back(line);
  }
}

Status RecentFiles::Add(const std::string& path) {
  if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return Save();
  paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
  paths_.insert(paths_.begin(), path);
  if (paths_.size() > max_) paths_.resize(max_);
  return Save();
}

Status RecentFiles::Remove(const std::string& path) {
  paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
  return Save();
}

Status RecentFiles::Save() const {
  std::string text;
  for (const std::string& p : paths_) text += p + "\n";
  return WriteFileAtomically(file_, text);
}

}  // namespace trovelane
