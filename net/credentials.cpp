#include "net/credentials.h"

namespace trovelane {

Credentials SplitCredentials(std::string_view text) {
  size_t last = text.rfind(':');
  if (last == std::string_view::npos) return {{}, std::string(text)};
  size_t before = last == 0 ? std::string_view::npos : text.rfind(':', last - 1);
  size_t userStart = before == std::string_view::npos ? 0 : before + 1;
  return {std::string(text.substr(userStart, last - userStart)), std::string(text.substr(last + 1))};
}

}  // namespace trovelane
