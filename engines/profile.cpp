#include "engines/profile.h"

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

bool LoadProfile(const std::string& path, EngineCatalogue& catalogue) {
  catalogue.engines.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  ReadProfile(in, catalogue);
  return true;
}

bool FormatProfile(const EngineCatalogue& catalogue, std::string& text, std::string& error) {
  std::ostringstream out;
  out << "COM = " << catalogue.header.com << '\n'
      << "MAX = " << catalogue.header.max << '\n'
      << "TAR = " << catalogue.header.tar << '\n';
  if (!WriteEngineDefinitions(catalogue.engines, out, &error)) return false;
  text = out.str();
  return true;
}

SaveResult SaveProfile(const std::string& path, const EngineCatalogue& catalogue) {
  std::string text, error;
  if (!FormatProfile(catalogue, text, error)) return {false, "cannot save " + path + ": " + error};
  return WriteFileAtomically(path, text);
}

}  // namespace trovelane
