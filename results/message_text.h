// Filling the one "%s" of a message text the program shows (a file name in
// "Error while saving file %s"). Plain function; any thread.
#pragma once

#include <string>
#include <string_view>

namespace trovelane {

// `format` with its one "%s" replaced by `value`; `format` as it stands when
// it has none.
inline std::string MessageWith(std::string_view format, std::string_view value) {
  size_t at = format.find("%s");
  if (at == std::string_view::npos) return std::string(format);
  std::string text(format.substr(0, at));
  text += value;
  text += format.substr(at + 2);
  return text;
}

}  // namespace trovelane
