#include "results/duplicate_filter.h"

#include <functional>

namespace trovelane {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Trims white space on both sides, then keeps at most `width` characters. A
// string stops at an embedded NUL, as the C strings it stands for would.
std::string MakeKey(std::string_view s, size_t width) {
  s = s.substr(0, s.find('\0'));
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return std::string(s.substr(0, width));
}

unsigned char FoldAscii(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

size_t HashFolded(const std::string& s) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (char c : s) {
    h ^= FoldAscii(c);
    h *= 1099511628211ull;
  }
  return static_cast<size_t>(h);
}

bool EqualFolded(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool ModeCompares(int32_t mode) { return mode == kDuplicateUrl || mode == kDuplicateTitle; }

}  // namespace

size_t DuplicateFilter::KeyHash::operator()(uint32_t i) const {
  const Key& k = filter->keys_[i];
  if (filter->indexedMode_ == kDuplicateUrl) return HashFolded(k.url);
  return std::hash<std::string>{}(k.text);
}

bool DuplicateFilter::KeyEqual::operator()(uint32_t a, uint32_t b) const {
  const Key& x = filter->keys_[a];
  const Key& y = filter->keys_[b];
  if (filter->indexedMode_ == kDuplicateUrl) return EqualFolded(x.url, y.url);
  return x.text == y.text;
}

DuplicateFilter::DuplicateFilter(const SearchOptions& options)
    : options_(&options), index_(16, KeyHash{this}, KeyEqual{this}) {}

void DuplicateFilter::CatchUpIndex(int32_t mode) {
  // The mode changed since the index was built: rebuild it for the new one.
  if (mode != indexedMode_) {
    index_.clear();
    indexedMode_ = mode;
    indexedCount_ = 0;
  }
  // Keys recorded while the mode compared nothing are not indexed yet.
  for (; indexedCount_ < keys_.size(); ++indexedCount_) {
    index_.insert(static_cast<uint32_t>(indexedCount_));
  }
}

bool DuplicateFilter::IsDuplicate(std::string_view url, std::string_view text) {
  Key candidate{MakeKey(url, kDuplicateUrlKeyLength), MakeKey(text, kDuplicateTextKeyLength)};

  std::lock_guard lock(mutex_);
  const int32_t mode = options_->duplicateMode;
  if (!ModeCompares(mode)) {
    keys_.push_back(std::move(candidate));
    return false;
  }
  CatchUpIndex(mode);
  keys_.push_back(std::move(candidate));
  if (index_.insert(static_cast<uint32_t>(keys_.size() - 1)).second) {
    indexedCount_ = keys_.size();
    return false;
  }
  keys_.pop_back();
  return true;
}

void DuplicateFilter::ResetDuplicates() {
  std::lock_guard lock(mutex_);
  // Swap with empty containers so a large search gives its memory back.
  std::vector<Key>().swap(keys_);
  index_ = decltype(index_)(16, KeyHash{this}, KeyEqual{this});
  indexedCount_ = 0;
}

size_t DuplicateFilter::size() const {
  std::lock_guard lock(mutex_);
  return keys_.size();
}

}  // namespace trovelane
