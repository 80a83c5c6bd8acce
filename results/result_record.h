// One search result as the results store keeps it. The three strings share
// one allocation sized to their text (none at all when all three are empty),
// so a document of millions of short results stays small; each string is cut
// to its field width on the way in, so no record holds more than a fixed
// record could. Records move cheaply, so the store sorts them in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace trovelane {

// Field widths, terminator included: a value keeps at most width - 1 bytes.
// The URL takes what a worker may hand over (1023 bytes), so the store keeps
// every URL the duplicate filter and the hand-off saw whole.
inline constexpr size_t kResultUrlSize = 1024;
inline constexpr size_t kResultTextSize = 256;
inline constexpr size_t kResultEngineNameSize = 64;

// Values of ResultRecord::validationState.
enum ValidationState : uint16_t {
  kNotValidated = 0,
  kValidatedReachable = 1,
  kValidatedUnreachable = 2,
};

// What the last watch of the document found for a record.
enum class WatchState : uint8_t {
  kNone = 0,     // not watched yet: the record came from a search or an older document
  kNew = 1,      // found by the watch and not in the document before
  kKept = 2,     // found again
  kDropped = 3,  // not found again; its page was still there, or not checked yet
  kDead = 4,     // not found again and its page is gone
};
inline constexpr uint8_t kLastWatchState = 4;

// When a watched record was seen (seconds since 1970, UTC; 0 when not known)
// and its state after the last watch.
struct RecordWatch {
  int64_t firstSeen = 0;
  int64_t lastSeen = 0;
  // The last time its page was checked for being gone; 0 when never.
  int64_t lastChecked = 0;
  WatchState state = WatchState::kNone;

  bool operator==(const RecordWatch&) const = default;
};

// `value` as a field of `size` bytes keeps it: up to its first NUL (as a C
// string would end there), and at most size - 1 bytes.
std::string_view CutToField(std::string_view value, size_t size);

class ResultRecord {
 public:
  ResultRecord() = default;
  // Each value is cut with CutToField to its width.
  ResultRecord(std::string_view url, std::string_view text, std::string_view engineName);
  ResultRecord(const ResultRecord& other);
  ResultRecord& operator=(const ResultRecord& other);
  ResultRecord(ResultRecord&&) noexcept = default;
  ResultRecord& operator=(ResultRecord&&) noexcept = default;

  std::string_view url() const { return {chars_.get(), urlSize_}; }
  // The title, column "Result Text".
  std::string_view text() const { return {chars_.get() + urlSize_, textSize_}; }
  std::string_view engineName() const {
    return {chars_.get() + urlSize_ + textSize_, engineNameSize_};
  }

  // The watch data; null for a record of a document that was never watched,
  // which so costs one pointer.
  const RecordWatch* watch() const { return watch_.get(); }
  // The watch data, created empty when the record has none.
  RecordWatch& EnsureWatch();

  uint16_t opened = 0;  // 1 = launched in the browser or marked by the user
  uint16_t validationState = kNotValidated;
  int16_t relevance = 0;  // percent; below 1 means "no score"
  // The order the record came into its store (0 for the first since the
  // store was emptied), kept through sorts and deletions so that the list
  // can go back to arrival order. Not written to documents.
  int32_t arrival = 0;

 private:
  size_t CharCount() const { return size_t{urlSize_} + textSize_ + engineNameSize_; }

  // url, text and engineName back to back, without terminators.
  std::unique_ptr<char[]> chars_;
  uint16_t urlSize_ = 0;
  uint16_t textSize_ = 0;
  uint16_t engineNameSize_ = 0;
  std::unique_ptr<RecordWatch> watch_;
};

}  // namespace trovelane
