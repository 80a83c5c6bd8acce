// The holder of one record's strings while a results file is read; the
// record itself goes to the store through AppendResult.
#pragma once

#include <cstdint>
#include <string>

namespace trovelane {

class CSearchResults {
 public:
  // The layout revision of the record, as files of the first versions stored
  // it; kept for the reader's sake, nothing writes it.
  static constexpr int kSchema = 2;

  std::string url;
  std::string text;
  std::string engineName;
  int32_t value = 0;  // the 32-bit mark of the oldest files
};

}  // namespace trovelane
