// The advertisement list of the banner: fetched once per run by a thread of
// its own, shown by the window that owns the banner.
//
// The list file (the body of the list URL) holds one advertisement a line:
// the image URL, exactly one white-space character, the click address; each
// field runs to the next white-space character and the rest of the line is
// ignored. Only the first 4095 characters of a line are read. A field longer
// than its 511-character slot makes the line unusable (a cut URL would point
// elsewhere), and the line is skipped.
//
// AdList: the download thread appends complete entries; any other thread
// reads them. Each entry is published under the list's mutex only once its
// image is decoded, and entries are never changed or removed while the list
// lives, so a pointer read from an entry stays valid until the list is
// destroyed.
//
// AdListDownload: the thread. It fetches the list to "adlist.bin" in the
// install folder, then each image to "ad.bin", decodes it with the given
// decoder and appends the entry; both files are removed when it ends. Nothing
// it meets (an unreachable server, a malformed URL, a file that cannot be
// written, an exception) leaves the thread: the list just stays shorter.
// The thread shares the list, so that a thread still stuck where no cancel
// reaches (name resolution) may be left to end on its own: destroying the
// download waits at most a second.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/mutex.h"
#include "search/settings.h"

struct tagQMGIFINITINFO;

namespace trovelane {

inline constexpr size_t kAdFieldSize = 512;
inline constexpr size_t kAdListLineLimit = 4095;
inline constexpr const char* kAdListFileName = "adlist.bin";
inline constexpr const char* kAdImageFileName = "ad.bin";

// Bounds on what a server may send: the list file, the entries taken from
// it, and each image.
inline constexpr size_t kAdListMaxBytes = 1 << 20;
inline constexpr size_t kAdListMaxEntries = 256;
inline constexpr size_t kAdImageMaxBytes = 8 << 20;

// The address a list is fetched from when nothing else is given; empty (no
// fetch at all) unless the build sets TROVELANE_AD_LIST_URL.
std::string DefaultAdListUrl();

struct AdListLine {
  std::string imageUrl;
  std::string clickUrl;
};

// One line of the list file (without its line end). None when a field does
// not fit its slot.
std::optional<AdListLine> ParseAdListLine(std::string_view line);

// How images are decoded and freed: QMGIFInit (path) and QMGIFCleanup for
// the program; tests may count calls.
struct AdImageCodec {
  std::function<tagQMGIFINITINFO*(const char* path)> decode;
  std::function<void(tagQMGIFINITINFO*)> release;
};

class AdList {
 public:
  explicit AdList(AdImageCodec codec) : codec_(std::move(codec)) {}
  ~AdList();  // releases every entry's image
  AdList(const AdList&) = delete;
  AdList& operator=(const AdList&) = delete;

  struct Entry {
    std::string imageUrl;
    std::string clickUrl;
    tagQMGIFINITINFO* image = nullptr;  // null when the image did not download or decode
  };

  // Download thread: publishes a finished entry; the list takes its image.
  void Append(Entry entry) EXCLUDES(mutex_);

  // Any thread: the number of published entries.
  size_t count() const EXCLUDES(mutex_);

  // One rotation step from `rotationIndex` (which the caller keeps, starting
  // at 0): the entry shown next and the index for the following step, which
  // returns to 0 after the last published entry. None while the list is
  // empty.
  struct Shown {
    tagQMGIFINITINFO* image;
    std::string clickUrl;
    int32_t nextIndex;
  };
  std::optional<Shown> Rotate(int32_t rotationIndex) const EXCLUDES(mutex_);

  const AdImageCodec& codec() const { return codec_; }

 private:
  // Constant after construction.
  const AdImageCodec codec_;

  mutable Mutex mutex_;
  // unique_ptr keeps each entry in place as the vector grows.
  std::vector<std::unique_ptr<Entry>> entries_ GUARDED_BY(mutex_);
};

class AdListDownload {
 public:
  // Starts the thread unless `listUrl` is empty. The proxy settings and the
  // time-outs of `settings` are copied. Files go to `folder`.
  AdListDownload(std::shared_ptr<AdList> list, std::string listUrl,
                 const NetworkSettings& settings, std::filesystem::path folder);
  // Cancels a fetch in progress and waits for the thread, at most about a
  // second; a thread that has not ended by then is left to end on its own.
  ~AdListDownload();
  AdListDownload(const AdListDownload&) = delete;
  AdListDownload& operator=(const AdListDownload&) = delete;

  bool started() const { return thread_.joinable(); }
  // True once the thread has ended (also when none was started).
  bool finished() const;
  // Waits for the thread to end, however long it takes.
  void Wait();

 private:
  class Run;

  std::shared_ptr<Run> run_;  // null when no thread was started
  std::thread thread_;
};

}  // namespace trovelane
