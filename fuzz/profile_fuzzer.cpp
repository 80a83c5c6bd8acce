// libFuzzer target: any bytes read as a profile give a catalogue that, when
// it can be stored, formats and reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "engines/profile.h"

using namespace trovelane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  EngineCatalogue catalogue;
  ReadProfile(in, catalogue);
  std::string text;
  if (!FormatProfile(catalogue, text).ok()) return 0;
  std::istringstream again(text);
  EngineCatalogue copy;
  ReadProfile(again, copy);
  if (!(copy.header == catalogue.header) || copy.engines != catalogue.engines) std::abort();
  return 0;
}
