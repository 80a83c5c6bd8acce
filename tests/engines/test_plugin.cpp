// A plug-in library for the tests: exports QMGetPluginName with the display
// name given by TEST_PLUGIN_NAME, or nothing when TEST_PLUGIN_NO_EXPORT is set.
#include <cstring>

#include "plugins/plugin_api.h"

#ifndef TEST_PLUGIN_NO_EXPORT
extern "C" __attribute__((visibility("default"))) int32_t QMGetPluginName(char* buffer,
                                                                          int32_t bufferSize) {
  const char* name = TEST_PLUGIN_NAME;
  int32_t length = static_cast<int32_t>(std::strlen(name));
  if (length >= bufferSize) return length;
  std::memcpy(buffer, name, static_cast<size_t>(length) + 1);
  return 0;
}
#else
extern "C" __attribute__((visibility("default"))) int32_t SomethingElse() { return 0; }
#endif
