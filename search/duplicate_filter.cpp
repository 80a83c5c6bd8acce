#include "search/duplicate_filter.h"

#include <functional>

#include "platform/ascii.h"

namespace trovelane {
namespace {

// Trims white space on both sides, then keeps at most `width` characters. A
// string stops at an embedded NUL, as the C strings it stands for would.
std::string_view MakeKey(std::string_view s, size_t width) {
  s = s.substr(0, s.find('\0'));
  return TrimBlanks(s).substr(0, width);
}

bool ModeCompares(int32_t mode) { return mode == kDuplicateUrl || mode == kDuplicateTitle; }

constexpr size_t kFirstSlots = 64;

}  // namespace

DuplicateFilter::DuplicateFilter(const SearchOptions& options) : options_(&options) {}

uint32_t DuplicateFilter::Hash(std::string_view url, std::string_view text) const {
  size_t h;
  if (indexedMode_ == kDuplicateUrl) {
    char folded[kDuplicateUrlKeyLength];
    for (size_t i = 0; i < url.size(); ++i) folded[i] = ToLowerAscii(url[i]);
    h = std::hash<std::string_view>{}({folded, url.size()});
  } else {
    h = std::hash<std::string_view>{}(text);
  }
  return static_cast<uint32_t>(h ^ (static_cast<uint64_t>(h) >> 32));
}

// The slot of the key equal to (url, text), or the empty slot where it goes.
size_t DuplicateFilter::FindSlot(uint32_t hash, std::string_view url, std::string_view text) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const uint64_t slot = slots_[i];
    if (slot == 0) return i;
    if (static_cast<uint32_t>(slot >> 32) != hash) continue;
    const Entry& e = keys_[static_cast<uint32_t>(slot) - 1];
    if (indexedMode_ == kDuplicateUrl ? EqualsNoCase(UrlOf(e), url) : TextOf(e) == text) return i;
  }
}

void DuplicateFilter::GrowIfHalfFull() {
  if ((slotsUsed_ + 1) * 2 <= slots_.size()) return;
  std::vector<uint64_t> old;
  old.swap(slots_);
  slots_.assign(old.empty() ? kFirstSlots : old.size() * 2, 0);
  const size_t mask = slots_.size() - 1;
  for (uint64_t slot : old) {
    if (slot == 0) continue;
    size_t i = static_cast<uint32_t>(slot >> 32) & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

void DuplicateFilter::Record(std::string_view url, std::string_view text) {
  keys_.push_back(
      {chars_.size(), static_cast<uint16_t>(url.size()), static_cast<uint16_t>(text.size())});
  chars_.append(url);
  chars_.append(text);
}

void DuplicateFilter::CatchUpIndex(int32_t mode) {
  // The mode changed since the index was built: rebuild it for the new one.
  if (mode != indexedMode_) {
    slots_.clear();
    slotsUsed_ = 0;
    indexedMode_ = mode;
    indexedCount_ = 0;
  }
  // Keys recorded while the mode compared nothing are not indexed yet; of
  // keys equal under the new mode only the first is indexed.
  for (; indexedCount_ < keys_.size(); ++indexedCount_) {
    GrowIfHalfFull();
    const Entry& e = keys_[indexedCount_];
    const uint32_t hash = Hash(UrlOf(e), TextOf(e));
    const size_t i = FindSlot(hash, UrlOf(e), TextOf(e));
    if (slots_[i] != 0) continue;
    slots_[i] = static_cast<uint64_t>(hash) << 32 | (indexedCount_ + 1);
    ++slotsUsed_;
  }
}

bool DuplicateFilter::IsDuplicate(std::string_view url, std::string_view text, size_t* key) {
  url = MakeKey(url, kDuplicateUrlKeyLength);
  text = MakeKey(text, kDuplicateTextKeyLength);

  MutexLock lock(&mutex_);
  const int32_t mode = options_->duplicateMode;
  if (!ModeCompares(mode)) {
    Record(url, text);
    if (key) *key = keys_.size() - 1;
    return false;
  }
  CatchUpIndex(mode);
  GrowIfHalfFull();
  const uint32_t hash = Hash(url, text);
  const size_t i = FindSlot(hash, url, text);
  if (slots_[i] != 0) {
    if (key) *key = static_cast<uint32_t>(slots_[i]) - 1;
    return true;
  }

  Record(url, text);
  if (key) *key = keys_.size() - 1;
  slots_[i] = static_cast<uint64_t>(hash) << 32 | keys_.size();
  ++slotsUsed_;
  indexedCount_ = keys_.size();
  return false;
}

void DuplicateFilter::ResetDuplicates() {
  MutexLock lock(&mutex_);
  // Swap with empty containers so a large search gives its memory back.
  std::string().swap(chars_);
  std::vector<Entry>().swap(keys_);
  std::vector<uint64_t>().swap(slots_);
  slotsUsed_ = 0;
  indexedCount_ = 0;
}

size_t DuplicateFilter::size() const {
  MutexLock lock(&mutex_);
  return keys_.size();
}

}  // namespace trovelane
