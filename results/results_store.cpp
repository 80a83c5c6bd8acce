#include "results/results_store.h"

#include <algorithm>

namespace trovelane {
namespace {

// Three-way comparison of one column: strings byte by byte as unsigned
// characters (case-sensitive; std::char_traits<char> compares as unsigned),
// relevance as a signed number.
int CompareColumn(const ResultRecord& a, const ResultRecord& b, int column) {
  switch (column) {
    case kColumnText:
      return a.text().compare(b.text());
    case kColumnEngine:
      return a.engineName().compare(b.engineName());
    case kColumnRelevance:
      return (a.relevance > b.relevance) - (a.relevance < b.relevance);
    default:
      return a.url().compare(b.url());
  }
}

}  // namespace

ResultsStore::ResultsStore(std::function<void()> markModified)
    : markModified_(std::move(markModified)) {
  records_.reserve(kInitialCapacity);
}

ResultsStore::ResultsStore(const ResultsStore& other)
    : records_(other.records_),
      capacity_(other.capacity_),
      sortMode_(other.sortMode_),
      searchText_(other.searchText_),
      watchedSearch_(other.watchedSearch_),
      nextArrival_(other.nextArrival_) {
  records_.reserve(capacity_);
}

ResultsStore& ResultsStore::operator=(const ResultsStore& other) {
  if (this != &other) {
    records_ = other.records_;
    records_.reserve(other.capacity_);
    capacity_ = other.capacity_;
    sortMode_ = other.sortMode_;
    searchText_ = other.searchText_;
    watchedSearch_ = other.watchedSearch_;
    nextArrival_ = other.nextArrival_;
  }
  return *this;
}

void ResultsStore::AppendResult(std::string_view url, std::string_view text,
                                std::string_view engineName, uint16_t opened,
                                uint16_t validationState, int16_t relevance) {
  if (count() >= capacity_) {
    capacity_ *= 2;
    records_.reserve(capacity_);
  }
  ResultRecord& r = records_.emplace_back(url, text, engineName);
  r.opened = opened;
  r.validationState = validationState;
  r.relevance = relevance;
  r.arrival = nextArrival_++;
}

bool ResultsStore::RemoveResult(int32_t index) {
  if (index < 0 || index >= count()) return false;
  records_.erase(records_.begin() + index);
  return true;
}

int ResultsStore::SortByColumn(int column) {
  if (column < 0 || column >= kColumnCount) return -1;
  // 64-bit arithmetic: a mode read from a file may be any 32-bit value.
  const int64_t mode = sortMode_;
  if (mode != 0 && (mode - 1) / 2 == column) {
    sortMode_ = (mode % 2 == 1) ? 2 * column + 2 : 2 * column + 1;
  } else {
    sortMode_ = 2 * column + 1;
  }
  const bool descending = sortMode_ % 2 == 0;

  // Records hold their strings by pointer, so the sort moves them in place.
  std::sort(records_.begin(), records_.end(), [&](const ResultRecord& x, const ResultRecord& y) {
    return descending ? CompareColumn(y, x, column) < 0 : CompareColumn(x, y, column) < 0;
  });

  if (markModified_) markModified_();
  return (sortMode_ - 1) % 2;
}

void ResultsStore::Reorder(const std::vector<size_t>& order) {
  std::vector<bool> taken(records_.size(), false);
  std::vector<ResultRecord> reordered;
  reordered.reserve(capacity_);
  for (size_t index : order) {
    if (index >= records_.size() || taken[index]) continue;
    taken[index] = true;
    reordered.push_back(std::move(records_[index]));
  }
  for (size_t index = 0; index < records_.size(); ++index) {
    if (!taken[index]) reordered.push_back(std::move(records_[index]));
  }
  records_ = std::move(reordered);
  sortMode_ = 0;
  if (markModified_) markModified_();
}

void ResultsStore::SortByArrival() {
  std::stable_sort(records_.begin(), records_.end(),
                   [](const ResultRecord& x, const ResultRecord& y) { return x.arrival < y.arrival; });
  sortMode_ = 0;
  if (markModified_) markModified_();
}

SortState ResultsStore::GetSortState() const {
  if (sortMode_ == 0) return {};
  const int64_t mode = sortMode_;
  return {static_cast<int>((mode - 1) / 2), static_cast<int>((mode - 1) % 2)};
}

void ResultsStore::ResetResults() {
  if (capacity_ != kInitialCapacity) {
    std::vector<ResultRecord>().swap(records_);
    capacity_ = kInitialCapacity;
    records_.reserve(kInitialCapacity);
  }
  records_.clear();
  sortMode_ = 0;
  searchText_.clear();
  watchedSearch_.reset();
  nextArrival_ = 0;
}

}  // namespace trovelane
