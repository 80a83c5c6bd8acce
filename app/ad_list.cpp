#include "app/ad_list.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "net/http_url.h"
#include "net/url.h"
#include "platform/ascii.h"

namespace trovelane {

namespace {

// Field text from `pos` to the next white-space character.
std::string_view FieldAt(std::string_view line, size_t pos) {
  if (pos >= line.size()) return {};
  size_t end = pos;
  while (end < line.size() && !IsAsciiBlank(line[end])) ++end;
  return line.substr(pos, end - pos);
}

}  // namespace

std::string DefaultAdListUrl() {
#ifdef TROVELANE_AD_LIST_URL
  return TROVELANE_AD_LIST_URL;
#else
  return {};
#endif
}

std::optional<AdListLine> ParseAdListLine(std::string_view line) {
  if (line.size() > kAdListLineLimit) line = line.substr(0, kAdListLineLimit);
  std::string_view image = FieldAt(line, 0);
  // Exactly one separator character follows the image URL; a second blank
  // leaves the click address empty.
  std::string_view click = FieldAt(line, image.size() + 1);
  if (image.size() >= kAdFieldSize || click.size() >= kAdFieldSize) return std::nullopt;
  return AdListLine{std::string(image), std::string(click)};
}

AdList::~AdList() {
  for (auto& entry : entries_) {
    if (entry->image && codec_.release) codec_.release(entry->image);
  }
}

void AdList::Append(Entry entry) {
  auto owned = std::make_unique<Entry>(std::move(entry));
  MutexLock lock(&mutex_);
  entries_.push_back(std::move(owned));
}

size_t AdList::count() const {
  MutexLock lock(&mutex_);
  return entries_.size();
}

std::optional<AdList::Shown> AdList::Rotate(int32_t rotationIndex) const {
  MutexLock lock(&mutex_);
  if (entries_.empty()) return std::nullopt;
  size_t count = entries_.size();
  size_t index = rotationIndex < 0 ? 0 : static_cast<size_t>(rotationIndex);
  if (index >= count) index = count - 1;
  const Entry& entry = *entries_[index];
  int32_t next = static_cast<int32_t>(index + 1);
  if (static_cast<size_t>(next) >= count) next = 0;
  return Shown{entry.image, entry.clickUrl, next};
}

// The thread's state, shared with the owner so that Cancel reaches the
// connection in use.
class AdListDownload::Run {
 public:
  Run(std::shared_ptr<AdList> list, std::string listUrl, const NetworkSettings& settings,
      std::filesystem::path folder)
      : list_(std::move(list)),
        listUrl_(std::move(listUrl)),
        proxy_(settings.proxy),
        userAgent_(settings.program.userAgent),
        folder_(std::move(folder)) {
    http_.SetTimeouts(settings.program);
  }

  bool finished() const { return finished_.load(std::memory_order_acquire); }

  void Cancel() {
    cancelled_.store(true, std::memory_order_release);
    http_.Cancel();
  }

  void Main() {
    std::error_code ignored;
    try {
      Download();
    } catch (...) {
      // The download thread's boundary: no exception may end the program.
      // Whatever went wrong (no memory, a malformed list address), the
      // download is dropped as one that failed, and the banner keeps what it
      // has.
    }
    std::filesystem::remove(folder_ / kAdListFileName, ignored);
    std::filesystem::remove(folder_ / kAdImageFileName, ignored);
    finished_.store(true, std::memory_order_release);
  }

 private:
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // Fetches `url` into the file `path`, at most `limit` bytes. False when the
  // URL is malformed, the server does not answer 2xx, the file cannot be
  // written or the body is longer than `limit`.
  bool Fetch(const std::string& url, const std::filesystem::path& path, size_t limit) {
    if (!http_.SetURL(url, false).ok()) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    bool opened = http_.Open(userAgent_.c_str(), nullptr, nullptr, &proxy_);
    bool ok = opened && http_.GetStatus() >= 200 && http_.GetStatus() < 300;
    size_t total = 0;
    char buffer[4096];
    while (ok && !cancelled()) {
      int n = http_.Read(buffer, sizeof buffer);
      if (n <= 0) {
        // A body cut short (or a server gone silent) is not a list or a picture.
        ok = http_.GetReadFailure() == ReadFailure::kNone;
        break;
      }
      total += static_cast<size_t>(n);
      if (total > limit) {
        ok = false;
        break;
      }
      out.write(buffer, n);
    }
    http_.Close();
    out.close();
    return ok && !cancelled() && out.good();
  }

  void Download() {
    std::filesystem::path listPath = folder_ / kAdListFileName;
    std::filesystem::path imagePath = folder_ / kAdImageFileName;
    if (!Fetch(listUrl_, listPath, kAdListMaxBytes)) return;

    std::ifstream in(listPath, std::ios::binary);
    std::string line;
    size_t taken = 0;
    while (!cancelled() && taken < kAdListMaxEntries && std::getline(in, line)) {
      std::optional<AdListLine> fields = ParseAdListLine(line);
      if (!fields) continue;
      ++taken;
      AdList::Entry entry;
      entry.imageUrl = std::move(fields->imageUrl);
      entry.clickUrl = std::move(fields->clickUrl);
      if (Fetch(entry.imageUrl, imagePath, kAdImageMaxBytes) && list_->codec().decode) {
        entry.image = list_->codec().decode(imagePath.c_str());
      }
      if (cancelled()) {
        if (entry.image && list_->codec().release) list_->codec().release(entry.image);
        return;
      }
      list_->Append(std::move(entry));
    }
  }

  const std::shared_ptr<AdList> list_;
  const std::string listUrl_;
  const ProxySettings proxy_;
  const std::string userAgent_;
  const std::filesystem::path folder_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
  CHttpURL http_;
};

AdListDownload::AdListDownload(std::shared_ptr<AdList> list, std::string listUrl,
                               const NetworkSettings& settings, std::filesystem::path folder) {
  if (listUrl.empty()) return;
  run_ = std::make_shared<Run>(std::move(list), std::move(listUrl), settings, std::move(folder));
  thread_ = std::thread([run = run_] { run->Main(); });
}

AdListDownload::~AdListDownload() {
  if (!thread_.joinable()) return;
  run_->Cancel();
  // The cancel ends every socket wait at once; only name resolution may hold
  // the thread longer, and then it keeps the list alive until it ends.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (!run_->finished() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (run_->finished()) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

bool AdListDownload::finished() const { return !run_ || run_->finished(); }

void AdListDownload::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace trovelane
