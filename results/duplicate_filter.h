// Guards a search against results seen before. Every candidate of every
// worker thread (and of the plug-in host) passes through IsDuplicate before it
// is counted and handed over; the keys describe only the current search.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "net/settings.h"

namespace trovelane {

// Key widths: a URL takes part with its first 511 characters, a text with 255.
inline constexpr size_t kDuplicateUrlKeyLength = 511;
inline constexpr size_t kDuplicateTextKeyLength = 255;

// Safe to call from many threads at once.
class DuplicateFilter {
 public:
  // The duplicate mode is read from `options` at every call, so a change of
  // the "Duplicates" option applies to the next candidate; `options` must
  // outlive the filter.
  explicit DuplicateFilter(const SearchOptions& options);
  DuplicateFilter(const DuplicateFilter&) = delete;
  DuplicateFilter& operator=(const DuplicateFilter&) = delete;

  // True when an equal key was already seen in this search; otherwise records
  // the key and returns false. Both strings lose leading and trailing white
  // space and are cut to the key widths. Equal means, by duplicate mode:
  // kDuplicateUrl - the URLs match with ASCII letters folded to lower case;
  // kDuplicateTitle - the texts match byte for byte; any other mode - never.
  bool IsDuplicate(std::string_view url, std::string_view text);

  // Forgets every key.
  void ResetDuplicates();

  // Keys recorded since the last reset.
  size_t size() const;

 private:
  struct Key {
    std::string url;
    std::string text;
  };
  // The index holds positions in keys_, hashed and compared by the mode it
  // was built for.
  struct KeyHash {
    const DuplicateFilter* filter;
    size_t operator()(uint32_t i) const;
  };
  struct KeyEqual {
    const DuplicateFilter* filter;
    bool operator()(uint32_t a, uint32_t b) const;
  };

  void CatchUpIndex(int32_t mode);

  const SearchOptions* options_;
  mutable std::mutex mutex_;
  // Guarded by mutex_:
  std::vector<Key> keys_;  // every recorded key, in arrival order
  int32_t indexedMode_ = kDuplicateUrl;
  size_t indexedCount_ = 0;  // keys_[0, indexedCount_) are in index_
  std::unordered_set<uint32_t, KeyHash, KeyEqual> index_;
};

}  // namespace trovelane
