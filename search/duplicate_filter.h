// Guards a search against results seen before. Every candidate of every
// worker thread (and of the plug-in host) passes through IsDuplicate before it
// is counted and handed over; the keys describe only the current search.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "search/settings.h"

namespace trovelane {

// Key widths: a URL takes part with its first 1023 characters - as much as a
// worker may hand over and the results store keeps, so two results the store
// would hold as different URLs are never one key - and a text with 255.
inline constexpr size_t kDuplicateUrlKeyLength = 1023;
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
  // `key`, when given, receives the number of the recorded key: the new one,
  // or for a duplicate the one it repeats (numbers count from 0 in the order
  // keys were recorded since the last reset).
  bool IsDuplicate(std::string_view url, std::string_view text, size_t* key = nullptr)
      EXCLUDES(mutex_);

  // Forgets every key.
  void ResetDuplicates() EXCLUDES(mutex_);

  // Keys recorded since the last reset.
  size_t size() const EXCLUDES(mutex_);

 private:
  // A recorded key: its URL and text bytes lie back to back in chars_.
  struct Entry {
    uint64_t at;
    uint16_t urlSize;
    uint16_t textSize;
  };

  std::string_view UrlOf(const Entry& e) const REQUIRES(mutex_) {
    return {chars_.data() + e.at, e.urlSize};
  }
  std::string_view TextOf(const Entry& e) const REQUIRES(mutex_) {
    return {chars_.data() + e.at + e.urlSize, e.textSize};
  }
  void Record(std::string_view url, std::string_view text) REQUIRES(mutex_);
  uint32_t Hash(std::string_view url, std::string_view text) const REQUIRES(mutex_);
  size_t FindSlot(uint32_t hash, std::string_view url, std::string_view text) const
      REQUIRES(mutex_);
  void GrowIfHalfFull() REQUIRES(mutex_);
  void CatchUpIndex(int32_t mode) REQUIRES(mutex_);

  // Constant after construction.
  const SearchOptions* const options_;

  mutable Mutex mutex_;
  std::string chars_ GUARDED_BY(mutex_);        // the bytes of every recorded key
  std::vector<Entry> keys_ GUARDED_BY(mutex_);  // every recorded key, in arrival order
  // An open-addressing hash set over keys_, built for the comparison of
  // indexedMode_. A slot holds the key's 32-bit hash in its high half and
  // its index + 1 in its low half; 0 is an empty slot. At most half full.
  std::vector<uint64_t> slots_ GUARDED_BY(mutex_);
  size_t slotsUsed_ GUARDED_BY(mutex_) = 0;
  int32_t indexedMode_ GUARDED_BY(mutex_) = kDuplicateUrl;
  // keys_[0, indexedCount_) have been offered to the index.
  size_t indexedCount_ GUARDED_BY(mutex_) = 0;
};

}  // namespace trovelane
