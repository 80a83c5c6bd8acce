// "qmknet.dat": the three option records stored back to back, little-endian,
// without header or version, 4172 bytes in all (docs/settings_file.md).
//
//   offset 0     ProxySettings  4116 bytes
//   offset 4116  SearchOptions    44 bytes
//   offset 4160  ViewOptions      12 bytes
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "search/settings.h"
#include "platform/atomic_file.h"

namespace trovelane {

inline constexpr const char* kSettingsFileName = "qmknet.dat";
inline constexpr size_t kProxySettingsSize = 4116;
inline constexpr size_t kSearchOptionsSize = 44;
inline constexpr size_t kViewOptionsSize = 12;
inline constexpr size_t kSettingsFileSize =
    kProxySettingsSize + kSearchOptionsSize + kViewOptionsSize;

// Widths of the zero-terminated text fields; a text holds one byte less.
inline constexpr size_t kHostFieldSize = 1024;
inline constexpr size_t kCredentialsFieldSize = 2048;
inline constexpr size_t kBrowserPathFieldSize = 1024;

// The connection speed list, in the order of speedIndex.
inline constexpr std::array<const char*, 10> kSpeedLabels = {
    "14.4 Kbps", "19.2 Kbps", "28.8 Kbps", "33.6 Kbps", "56.6 Kbps",
    "112  Kbps", "256  Kbps", "300  Kbps", "512  Kbps", "T1 Lan"};

// The bytes asked per read for a connection speed; 3600 for an unknown one.
int32_t ReadChunkSizeForSpeed(int32_t speedIndex);

// Sets settings.readChunkSize from the stored speed. Done once at start-up,
// so a speed chosen later takes effect at the next start.
void DeriveReadChunkSize(NetworkSettings& settings);

// weights[0] plus the largest of weights[1..7], held within int16.
int16_t ComputeMaxRelevance(const std::array<int16_t, kWeightCount>& weights);

// OK when `settings` can be stored; else kInvalidArgument saying why (a text
// longer than its field, or holding a NUL byte).
Status CheckNetworkSettings(const NetworkSettings& settings);

// The file image of the three records into `bytes`; the fault that
// CheckNetworkSettings finds, if any, and `bytes` is then left alone.
Status SerializeNetworkSettings(const NetworkSettings& settings, std::string& bytes);

// Fills the three records from `bytes` as they stand; what a short file lacks
// reads as zero bytes, bytes beyond 4172 are ignored. A text runs to its
// first NUL, and at most to the last byte of its field. readChunkSize is left
// alone.
void DeserializeNetworkSettings(std::string_view bytes, NetworkSettings& settings);

struct SettingsLoad {
  bool fileRead = false;         // the file existed and was read
  bool browserDetected = false;  // browserPath was empty and has been filled
  // kIoError when a file that is there could not be read (a folder, a
  // device, no permission, a read error); the settings then start from
  // zero. OK when the file was read or does not exist.
  Status read;
  Status save;  // the save that followed a detection, if any
};

// Resets the three records to zero and reads them from `path`. When the
// browser path is then empty it is filled by `detectBrowser`; if the file
// existed and something was found, the file is saved again with it. Only a
// regular file is read: a folder or a pipe of that name is reported in
// `read`, never read as settings (and never waited on).
SettingsLoad LoadNetworkSettings(const std::string& path, NetworkSettings& settings,
                                 const std::function<std::string()>& detectBrowser);

// Writes the whole file at once with mode 0600 (it holds the proxy password);
// the old file stays whole when the save fails.
Status SaveNetworkSettings(const std::string& path, const NetworkSettings& settings);

}  // namespace trovelane
