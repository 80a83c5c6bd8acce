// libFuzzer target: any bytes read as ".eng" definitions either stop cleanly
// or give definitions that, when they can be stored, write and read back
// unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "engines/engine_file.h"

using namespace trovelane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  for (int i = 0; i < 8; ++i) {
    EngineDefinition engine;
    if (!ReadEngineDefinition(engine, in)) break;
    if (!CheckEngineDefinition(engine).ok()) continue;
    std::ostringstream out;
    if (!WriteEngineDefinition(engine, out).ok()) std::abort();
    std::istringstream again(out.str());
    EngineDefinition copy;
    if (!ReadEngineDefinition(copy, again) || !(copy == engine)) std::abort();
  }
  return 0;
}
