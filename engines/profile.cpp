#include "engines/profile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engines/engine_file.h"
#include "engines/positional_text.h"

namespace trovelane {
namespace {

// A header line is split into blank-separated words; the third is the value.
void ReadHeaderValue(std::string_view line, int& value) {
  std::istringstream words{std::string(line)};
  std::string key, equals, number;
  if (words >> key >> equals >> number) value = ParseIntPrefix(number);
}

}  // namespace

void ReadProfile(std::istream& in, EngineCatalogue& catalogue) {
  catalogue.engines.clear();
  std::string line;
  for (int* value : {&catalogue.header.com, &catalogue.header.max, &catalogue.header.tar}) {
    if (!ReadTextLine(in, line)) return;
    ReadHeaderValue(line, *value);
  }
  ReadEngineDefinitions(in, catalogue.engines);
}

Status LoadProfile(const std::string& path, EngineCatalogue& catalogue) {
  catalogue.engines.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int err = errno;
    std::string message = "cannot open " + path + ": " + std::strerror(err);
    return err == ENOENT ? Status::NotFound(std::move(message))
                         : Status::IoError(std::move(message));
  }
  ReadProfile(in, catalogue);
  return Status::Ok();
}

Status FormatProfile(const EngineCatalogue& catalogue, std::string& text) {
  std::ostringstream out;
  out << "COM = " << catalogue.header.com << '\n'
      << "MAX = " << catalogue.header.max << '\n'
      << "TAR = " << catalogue.header.tar << '\n';
  Status written = WriteEngineDefinitions(catalogue.engines, out);
  if (written.ok()) text = out.str();
  return written;
}

Status SaveProfile(const std::string& path, const EngineCatalogue& catalogue) {
  std::string text;
  Status formatted = FormatProfile(catalogue, text);
  if (!formatted.ok()) {
    return Status::InvalidArgument("cannot save " + path + ": " + formatted.message());
  }
  return WriteFileAtomically(path, text);
}

}  // namespace trovelane
