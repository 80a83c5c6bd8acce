#include "net/credentials.h"

namespace trovelane {

Credentials SplitCredentials(std::string_view text) {
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return {std::string(text), {}};
  return {std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
}

}  // namespace trovelane
