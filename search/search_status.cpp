#include "search/search_status.h"

#include <string_view>

namespace trovelane {

std::string FormatResultsFound(int resultTotal) {
  std::string text = std::to_string(resultTotal) + (resultTotal == 1 ? " Result" : " Results");
  return text + " Found !";
}

std::string FormatStatus(const char* format, const std::string& first, const std::string& second) {
  // The formats hold only %s; a value is copied as it stands, so a '%' in a
  // URL is never read as a conversion.
  std::string out;
  int filled = 0;
  for (std::string_view rest = format; !rest.empty();) {
    size_t at = rest.find("%s");
    if (at == std::string_view::npos) {
      out += rest;
      break;
    }
    out += rest.substr(0, at);
    out += filled++ == 0 ? first : second;
    rest.remove_prefix(at + 2);
  }
  return out;
}

}  // namespace trovelane
