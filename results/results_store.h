// The results of one search, in display order: list row i shows record i and
// every command of the view addresses records by that index. Used only on the
// owner (user-interface) thread; it has no lock of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "results/result_record.h"

namespace trovelane {

// 0 = not sorted; otherwise 2*column+1 ascending and 2*column+2 descending.
using SortMode = int32_t;

// The list columns a sort can use.
enum ResultColumn : int {
  kColumnText = 0,       // "Result Text"
  kColumnEngine = 1,     // "Search Engine"
  kColumnRelevance = 2,  // "Relevance"
  kColumnUrl = 3,        // "Result URL"
  kColumnCount
};

struct SortState {
  int column = -1;    // -1 when not sorted
  int direction = 0;  // 0 ascending, 1 descending
};

// The search that a watched document repeats: the engines (by the names the
// profile gives them) and the search options it runs with, and when the
// last watch ran (seconds since 1970, UTC).
struct WatchedSearch {
  std::vector<std::string> engines;
  int32_t maxResults = 0;
  int32_t perEngine = 0;
  int32_t validationMode = 0;
  int32_t defaultOperator = 0;
  int32_t duplicateMode = 0;
  int32_t minRelevance = 0;
  int64_t lastWatch = 0;

  bool operator==(const WatchedSearch&) const = default;
};

class ResultsStore {
 public:
  static constexpr int32_t kInitialCapacity = 128;

  // `markModified` runs whenever the store changes the document by itself
  // (a sort); the owning document passes its modified flag here.
  explicit ResultsStore(std::function<void()> markModified = {});
  // Copying takes the records, not the hook: the hook belongs to the owner.
  ResultsStore(const ResultsStore& other);
  ResultsStore& operator=(const ResultsStore& other);

  // Appends one record at the end, cutting each string to its field width.
  // The store never re-sorts on insert.
  void AppendResult(std::string_view url, std::string_view text, std::string_view engineName,
                    uint16_t opened = 0, uint16_t validationState = kNotValidated,
                    int16_t relevance = 0);

  // Removes record `index`; the records behind it move up. False if there is
  // no such record.
  bool RemoveResult(int32_t index);

  // Sorts by `column` (a ResultColumn): the same column again flips the
  // direction, another column starts ascending. Returns the new direction
  // (0 ascending, 1 descending), or -1 for a column that does not exist.
  int SortByColumn(int column);

  SortState GetSortState() const;

  // Puts the records in `order` (record indexes, each once; an index out of
  // range or repeated is skipped and the records it leaves out keep their
  // order behind the rest) and marks the store unsorted: no column holds the
  // order. The rank order is applied this way.
  void Reorder(const std::vector<size_t>& order);
  // Back to the order the records came in (ResultRecord::arrival), unsorted.
  void SortByArrival();
  // Records appended since the store was last emptied, deleted ones included.
  int32_t arrivals() const { return nextArrival_; }

  // Back to an empty, unsorted store with no search text.
  void ResetResults();

  int32_t count() const { return static_cast<int32_t>(records_.size()); }
  int32_t capacity() const { return capacity_; }
  SortMode sortMode() const { return sortMode_; }
  // Used by the document reader: a stored sort mode is kept as it is, since
  // the records were saved in that order.
  void SetSortMode(SortMode mode) { sortMode_ = mode; }

  const std::string& searchText() const { return searchText_; }
  void SetSearchText(std::string text) { searchText_ = std::move(text); }

  // Set once the document has been watched; such a document is written as
  // version 26.
  const std::optional<WatchedSearch>& watchedSearch() const { return watchedSearch_; }
  void SetWatchedSearch(std::optional<WatchedSearch> search) { watchedSearch_ = std::move(search); }

  std::span<const ResultRecord> records() const { return records_; }
  const ResultRecord& record(int32_t index) const { return records_.at(index); }
  // For the view's commands that change marks and validation states.
  ResultRecord& record(int32_t index) { return records_.at(index); }

 private:
  std::function<void()> markModified_;
  std::vector<ResultRecord> records_;
  int32_t capacity_ = kInitialCapacity;  // grows by doubling, shrinks only by a reset
  SortMode sortMode_ = 0;
  std::string searchText_;
  std::optional<WatchedSearch> watchedSearch_;
  int32_t nextArrival_ = 0;
};

}  // namespace trovelane
