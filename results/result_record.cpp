#include "results/result_record.h"

#include <cstring>

namespace trovelane {

void CopyToField(char* field, size_t size, std::string_view value) {
  value = value.substr(0, value.find('\0'));
  size_t n = value.size() < size ? value.size() : size - 1;
  std::memcpy(field, value.data(), n);
  std::memset(field + n, 0, size - n);
}

}  // namespace trovelane
