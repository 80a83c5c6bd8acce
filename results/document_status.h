// What a document operation (open, save, export) tells its caller.
#pragma once

#include <string>
#include <string_view>

namespace trovelane {

struct DocumentStatus {
  bool ok = true;
  std::string message;  // text for the user (a message box); empty when there is nothing to say
  std::string detail;   // the system's reason, when there is one
};

// A message text with its one "%s" replaced by `value` (a file name).
inline std::string MessageWith(std::string_view format, std::string_view value) {
  size_t at = format.find("%s");
  if (at == std::string_view::npos) return std::string(format);
  std::string text(format.substr(0, at));
  text += value;
  text += format.substr(at + 2);
  return text;
}

}  // namespace trovelane
