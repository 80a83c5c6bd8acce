// libFuzzer target: any bytes read as "qmknet.dat" give settings that store,
// and read back from what was stored, unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/settings_file.h"

using namespace trovelane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NetworkSettings settings;
  DeserializeNetworkSettings(std::string_view(reinterpret_cast<const char*>(data), size), settings);
  std::string bytes;
  if (!SerializeNetworkSettings(settings, bytes).ok()) std::abort();
  if (bytes.size() != kSettingsFileSize) std::abort();
  NetworkSettings copy;
  DeserializeNetworkSettings(bytes, copy);
  std::string again;
  if (!SerializeNetworkSettings(copy, again).ok() || again != bytes) std::abort();
  return 0;
}
