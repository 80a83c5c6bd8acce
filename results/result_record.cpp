#include "results/result_record.h"

#include <cstring>

namespace trovelane {

std::string_view CutToField(std::string_view value, size_t size) {
  value = value.substr(0, value.find('\0'));
  return value.substr(0, size - 1);
}

ResultRecord::ResultRecord(std::string_view url, std::string_view text,
                           std::string_view engineName) {
  url = CutToField(url, kResultUrlSize);
  text = CutToField(text, kResultTextSize);
  engineName = CutToField(engineName, kResultEngineNameSize);
  urlSize_ = static_cast<uint16_t>(url.size());
  textSize_ = static_cast<uint16_t>(text.size());
  engineNameSize_ = static_cast<uint16_t>(engineName.size());
  const size_t n = CharCount();
  if (n == 0) return;
  chars_ = std::make_unique_for_overwrite<char[]>(n);
  std::memcpy(chars_.get(), url.data(), url.size());
  std::memcpy(chars_.get() + url.size(), text.data(), text.size());
  std::memcpy(chars_.get() + url.size() + text.size(), engineName.data(), engineName.size());
}

ResultRecord::ResultRecord(const ResultRecord& other)
    : opened(other.opened),
      validationState(other.validationState),
      relevance(other.relevance),
      arrival(other.arrival),
      urlSize_(other.urlSize_),
      textSize_(other.textSize_),
      engineNameSize_(other.engineNameSize_) {
  if (other.watch_) watch_ = std::make_unique<RecordWatch>(*other.watch_);
  const size_t n = CharCount();
  if (n == 0) return;
  chars_ = std::make_unique_for_overwrite<char[]>(n);
  std::memcpy(chars_.get(), other.chars_.get(), n);
}

RecordWatch& ResultRecord::EnsureWatch() {
  if (!watch_) watch_ = std::make_unique<RecordWatch>();
  return *watch_;
}

ResultRecord& ResultRecord::operator=(const ResultRecord& other) {
  if (this != &other) *this = ResultRecord(other);
  return *this;
}

}  // namespace trovelane
