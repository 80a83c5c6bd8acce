#include "app/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace trovelane {
namespace {

// Offsets inside the file.
constexpr size_t kSearchAt = kProxySettingsSize;
constexpr size_t kViewAt = kSearchAt + kSearchOptionsSize;

class Writer {
 public:
  explicit Writer(std::string& bytes) : bytes_(bytes) { bytes_.assign(kSettingsFileSize, '\0'); }
  void Int32(size_t at, int32_t value) { Unsigned(at, static_cast<uint32_t>(value), 4); }
  void Int16(size_t at, int16_t value) { Unsigned(at, static_cast<uint16_t>(value), 2); }
  void Byte(size_t at, uint8_t value) { bytes_[at] = static_cast<char>(value); }
  void Text(size_t at, const std::string& text) {
    std::memcpy(&bytes_[at], text.data(), text.size());
  }

 private:
  void Unsigned(size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes_[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
  }
  std::string& bytes_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes.substr(0, kSettingsFileSize)) {
    bytes_.resize(kSettingsFileSize, '\0');
  }
  int32_t Int32(size_t at) const { return static_cast<int32_t>(Unsigned(at, 4)); }
  int16_t Int16(size_t at) const { return static_cast<int16_t>(Unsigned(at, 2)); }
  uint8_t Byte(size_t at) const { return static_cast<uint8_t>(bytes_[at]); }
  std::string Text(size_t at, size_t width) const {
    std::string_view field = std::string_view(bytes_).substr(at, width - 1);
    return std::string(field.substr(0, field.find('\0')));
  }

 private:
  uint32_t Unsigned(size_t at, int width) const {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value |= static_cast<uint32_t>(Byte(at + i)) << (8 * i);
    return value;
  }
  std::string bytes_;
};

// Reads at most the file's size of bytes from `path`. False with `why` empty
// when there is no such file; false with `why` set when something is there
// but cannot be read as a file. Opened without blocking, so a pipe of that
// name cannot hold the start-up.
bool ReadSettingsBytes(const std::string& path, std::string& bytes, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno != ENOENT) why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    why = std::strerror(errno);
  } else if (S_ISDIR(st.st_mode)) {
    why = "it is a folder";
  } else if (!S_ISREG(st.st_mode)) {
    why = "it is not a regular file";
  }
  bytes.assign(kSettingsFileSize, '\0');
  size_t got = 0;
  while (why.empty() && got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      why = std::strerror(errno);
      break;
    }
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  return why.empty();
}

}  // namespace

int32_t ReadChunkSizeForSpeed(int32_t speedIndex) {
  static constexpr std::array<int32_t, 10> kChunks = {1750,  3600,  4200,  7075,   14000,
                                                      32000, 37500, 64000, 128000, 3600};
  if (speedIndex < 0 || speedIndex >= static_cast<int32_t>(kChunks.size())) return 3600;
  return kChunks[speedIndex];
}

void DeriveReadChunkSize(NetworkSettings& settings) {
  settings.readChunkSize = ReadChunkSizeForSpeed(settings.proxy.speedIndex);
}

int16_t ComputeMaxRelevance(const std::array<int16_t, kWeightCount>& weights) {
  int largest = *std::max_element(weights.begin() + 1, weights.end());
  int sum = weights[kWeightTitle] + largest;
  return static_cast<int16_t>(std::clamp(sum, INT16_MIN + 0, INT16_MAX + 0));
}

Status CheckNetworkSettings(const NetworkSettings& settings) {
  struct Field {
    const char* what;
    const std::string& text;
    size_t width;
  } fields[] = {{"the proxy server address", settings.proxy.host, kHostFieldSize},
                {"the proxy credentials", settings.proxy.credentials, kCredentialsFieldSize},
                {"the browser path", settings.proxy.browserPath, kBrowserPathFieldSize}};
  for (const Field& f : fields) {
    if (f.text.size() >= f.width) {
      return Status::InvalidArgument(std::string(f.what) + " is longer than " +
                                     std::to_string(f.width - 1) + " bytes");
    }
    if (f.text.find('\0') != std::string::npos) {
      return Status::InvalidArgument(std::string(f.what) + " holds a NUL byte");
    }
  }
  return Status::Ok();
}

Status SerializeNetworkSettings(const NetworkSettings& settings, std::string& bytes) {
  if (Status checked = CheckNetworkSettings(settings); !checked.ok()) return checked;
  Writer w(bytes);
  const ProxySettings& p = settings.proxy;
  w.Int32(0, p.enabled);
  w.Text(4, p.host);
  w.Int32(1028, p.port);
  w.Int32(1032, p.type);
  w.Int32(1036, p.requiresAuth);
  w.Text(1040, p.credentials);
  w.Int32(3088, p.speedIndex);
  w.Text(3092, p.browserPath);

  const SearchOptions& s = settings.search;
  w.Int32(kSearchAt + 0, s.maxResults);
  w.Byte(kSearchAt + 4, s.perEngine);
  for (size_t i = 0; i < s.padding1.size(); ++i) w.Byte(kSearchAt + 5 + i, s.padding1[i]);
  w.Int32(kSearchAt + 8, s.validationMode);
  w.Int32(kSearchAt + 12, s.defaultOperator);
  w.Int32(kSearchAt + 16, s.duplicateMode);
  w.Int32(kSearchAt + 20, s.minRelevancy);
  for (size_t i = 0; i < s.weights.size(); ++i) w.Int16(kSearchAt + 24 + 2 * i, s.weights[i]);
  w.Int16(kSearchAt + 40, s.maxRelevance);
  for (size_t i = 0; i < s.padding2.size(); ++i) w.Byte(kSearchAt + 42 + i, s.padding2[i]);

  const ViewOptions& v = settings.view;
  w.Int32(kViewAt + 0, v.fullRowSelect);
  w.Int32(kViewAt + 4, v.gridLines);
  w.Int32(kViewAt + 8, v.toolTips);
  return Status::Ok();
}

void DeserializeNetworkSettings(std::string_view bytes, NetworkSettings& settings) {
  Reader r(bytes);
  ProxySettings& p = settings.proxy;
  p.enabled = r.Int32(0);
  p.host = r.Text(4, kHostFieldSize);
  p.port = r.Int32(1028);
  p.type = r.Int32(1032);
  p.requiresAuth = r.Int32(1036);
  p.credentials = r.Text(1040, kCredentialsFieldSize);
  p.speedIndex = r.Int32(3088);
  p.browserPath = r.Text(3092, kBrowserPathFieldSize);

  SearchOptions& s = settings.search;
  s.maxResults = r.Int32(kSearchAt + 0);
  s.perEngine = r.Byte(kSearchAt + 4);
  for (size_t i = 0; i < s.padding1.size(); ++i) s.padding1[i] = r.Byte(kSearchAt + 5 + i);
  s.validationMode = r.Int32(kSearchAt + 8);
  s.defaultOperator = r.Int32(kSearchAt + 12);
  s.duplicateMode = r.Int32(kSearchAt + 16);
  s.minRelevancy = r.Int32(kSearchAt + 20);
  for (size_t i = 0; i < s.weights.size(); ++i) s.weights[i] = r.Int16(kSearchAt + 24 + 2 * i);
  s.maxRelevance = r.Int16(kSearchAt + 40);
  for (size_t i = 0; i < s.padding2.size(); ++i) s.padding2[i] = r.Byte(kSearchAt + 42 + i);

  ViewOptions& v = settings.view;
  v.fullRowSelect = r.Int32(kViewAt + 0);
  v.gridLines = r.Int32(kViewAt + 4);
  v.toolTips = r.Int32(kViewAt + 8);
}

SettingsLoad LoadNetworkSettings(const std::string& path, NetworkSettings& settings,
                                 const std::function<std::string()>& detectBrowser) {
  SettingsLoad load;
  settings.proxy = {};
  settings.search = {};
  settings.view = {};
  std::string bytes;
  std::string why;
  if (ReadSettingsBytes(path, bytes, why)) {
    DeserializeNetworkSettings(bytes, settings);
    load.fileRead = true;
  } else if (!why.empty()) {
    load.read =
        Status::IoError(path + " cannot be read (" + why + "); every setting starts from zero");
  }
  if (settings.proxy.browserPath.empty() && detectBrowser) {
    settings.proxy.browserPath = detectBrowser();
    load.browserDetected = !settings.proxy.browserPath.empty();
    // Only a file that exists is rewritten; a missing one is first written
    // when the user confirms a setting.
    if (load.fileRead && load.browserDetected) load.save = SaveNetworkSettings(path, settings);
  }
  return load;
}

Status SaveNetworkSettings(const std::string& path, const NetworkSettings& settings) {
  std::string bytes;
  if (Status serialized = SerializeNetworkSettings(settings, bytes); !serialized.ok()) {
    return Status::InvalidArgument("cannot save " + path + ": " + serialized.message());
  }
  return WriteFileAtomically(path, bytes, 0600, /*forceMode=*/true);
}

}  // namespace trovelane
