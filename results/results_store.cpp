#include "results/results_store.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace trovelane {
namespace {

// Three-way comparison of one column: strings byte by byte as unsigned
// characters (case-sensitive), relevance as a signed number.
int CompareColumn(const ResultRecord& a, const ResultRecord& b, int column) {
  switch (column) {
    case kColumnText:
      return std::strncmp(a.text, b.text, kResultTextSize);
    case kColumnEngine:
      return std::strncmp(a.engineName, b.engineName, kResultEngineNameSize);
    case kColumnRelevance:
      return (a.relevance > b.relevance) - (a.relevance < b.relevance);
    default:
      return std::strncmp(a.url, b.url, kResultUrlSize);
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
      searchText_(other.searchText_) {
  records_.reserve(capacity_);
}

ResultsStore& ResultsStore::operator=(const ResultsStore& other) {
  if (this != &other) {
    records_ = other.records_;
    records_.reserve(other.capacity_);
    capacity_ = other.capacity_;
    sortMode_ = other.sortMode_;
    searchText_ = other.searchText_;
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
  ResultRecord& r = records_.emplace_back();
  CopyToField(r.url, url);
  CopyToField(r.text, text);
  CopyToField(r.engineName, engineName);
  r.opened = opened;
  r.validationState = validationState;
  r.relevance = relevance;
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

  // Sort indexes, then move each record once: a record is 838 bytes, too
  // large to be swapped around by the sort itself.
  std::vector<uint32_t> order(records_.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
    const ResultRecord& a = records_[descending ? y : x];
    const ResultRecord& b = records_[descending ? x : y];
    return CompareColumn(a, b, column) < 0;
  });
  std::vector<ResultRecord> sorted;
  sorted.reserve(capacity_);
  for (uint32_t i : order) sorted.push_back(records_[i]);
  records_.swap(sorted);

  if (markModified_) markModified_();
  return (sortMode_ - 1) % 2;
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
}

}  // namespace trovelane
