// One search result as the results store keeps it: fixed-width,
// zero-terminated fields, so that records can be addressed by row index and
// sorted by moving whole records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace trovelane {

inline constexpr size_t kResultUrlSize = 512;
inline constexpr size_t kResultTextSize = 256;
inline constexpr size_t kResultEngineNameSize = 64;

// Values of ResultRecord::validationState.
enum ValidationState : uint16_t {
  kNotValidated = 0,
  kValidatedReachable = 1,
  kValidatedUnreachable = 2,
};

struct ResultRecord {
  char url[kResultUrlSize] = {};
  char text[kResultTextSize] = {};  // the title, column "Result Text"
  char engineName[kResultEngineNameSize] = {};
  uint16_t opened = 0;  // 1 = launched in the browser or marked by the user
  uint16_t validationState = kNotValidated;
  int16_t relevance = 0;  // percent; below 1 means "no score"
};

// Copies `value` into a field of `size` bytes. A value that does not fit is
// cut to size - 1 bytes so the field keeps its terminator; the bytes after the
// terminator are zero. A value stops at an embedded NUL, as a C string would.
void CopyToField(char* field, size_t size, std::string_view value);

template <size_t N>
void CopyToField(char (&field)[N], std::string_view value) {
  CopyToField(field, N, value);
}

// The text of a field up to its terminator (or its whole width if it has none).
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
  size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return {field, n};
}

}  // namespace trovelane
