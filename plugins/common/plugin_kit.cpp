#include "plugins/common/plugin_kit.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace trovelane::plugin {
namespace {

constexpr size_t kBufferStep = 512;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Closes and deletes the spool file; under state.lock.
void DropSpoolLocked(PluginState& state) {
  if (state.spool) {
    std::fclose(state.spool);
    state.spool = nullptr;
  }
  if (!state.spoolName.empty()) std::remove(state.spoolName.c_str());
}

}  // namespace

PageBuffer::PageBuffer(size_t limit) : capacity_(kBufferStep), limit_(limit) {
  text_.reserve(capacity_);
}

bool PageBuffer::Append(const char* data, size_t size) {
  if (size > limit_ || text_.size() > limit_ - size) return false;
  const size_t needed = text_.size() + size + 1;  // with the terminator
  if (needed > capacity_) {
    // The next multiple of 512 that holds it; needed <= limit_ + 1, far below overflow.
    capacity_ = (needed + kBufferStep - 1) / kBufferStep * kBufferStep;
    text_.reserve(capacity_);
  }
  text_.append(data, size);
  return true;
}

void Initialize(PluginState& state, HostContext* context, bool spooling, const char* siteName,
                const char* fallbackRoot) {
  SiteRoot site = ReadSiteRoot(siteName, fallbackRoot);
  std::lock_guard guard(state.lock);
  state.site = std::move(site);
  state.context = context;
  state.pageCounter = 0;
  state.reportedCount = 0;
  state.nextUrl.clear();
  state.page.clear();
  state.page.shrink_to_fit();
  state.spool = nullptr;
  state.spoolName = spooling ? "sdump" + std::to_string(static_cast<long>(::gettid())) + ".bin" : "";
}

void Terminate(PluginState& state) {
  std::lock_guard guard(state.lock);
  DropSpoolLocked(state);
  state.page.clear();
  state.page.shrink_to_fit();
  state.context = nullptr;
}

void ReleasePage(PluginState& state) {
  std::lock_guard guard(state.lock);
  state.page.clear();
  state.page.shrink_to_fit();
}

bool FetchToMemory(PluginState& state, const std::string& url) {
  HostContext* context = state.context;
  if (!context->connect(context, url.c_str(), 0, nullptr, nullptr, nullptr, nullptr)) return false;
  PageBuffer buffer;
  std::vector<char> chunk(kMemoryReadSize + 1);
  for (;;) {
    int32_t n = context->read(context, chunk.data(), kMemoryReadSize);
    if (n < 1) break;
    if (n > kMemoryReadSize) n = kMemoryReadSize;  // never trust a count past the buffer
    chunk[static_cast<size_t>(n)] = '\0';
    if (!buffer.Append(chunk.data(), static_cast<size_t>(n))) break;  // the page is cut there
  }
  context->close(context);
  std::lock_guard guard(state.lock);
  state.page = buffer.Take();
  return true;
}

bool FetchFirstOrNextPage(PluginState& state, const std::string& firstUrl) {
  std::string url;
  if (state.pageCounter == 0) {
    url = firstUrl;
  } else {
    if (state.nextUrl.empty()) return false;
    url = state.nextUrl;
  }
  state.nextUrl.clear();
  ++state.pageCounter;
  return FetchToMemory(state, url);
}

bool FetchToSpool(PluginState& state, const std::string& url) {
  HostContext* context = state.context;
  if (!context->connect(context, url.c_str(), 0, nullptr, nullptr, nullptr, nullptr)) return false;
  {
    std::lock_guard guard(state.lock);
    state.spool = state.spoolName.empty() ? nullptr : std::fopen(state.spoolName.c_str(), "wb");
    if (!state.spool) {
      // Nothing to write into: the plug-in ends here, quietly.
      context->close(context);
      return false;
    }
  }
  std::vector<char> chunk(kSpoolReadSize);
  size_t written = 0;
  for (;;) {
    int32_t n = context->read(context, chunk.data(), kSpoolReadSize);
    if (n < 1) break;
    if (n > kSpoolReadSize) n = kSpoolReadSize;
    if (written + static_cast<size_t>(n) > kMaxPageBytes) break;
    std::lock_guard guard(state.lock);
    if (!state.spool ||
        std::fwrite(chunk.data(), 1, static_cast<size_t>(n), state.spool) != static_cast<size_t>(n)) {
      break;
    }
    written += static_cast<size_t>(n);
  }
  context->close(context);

  std::lock_guard guard(state.lock);
  if (state.spool) {
    std::fclose(state.spool);
    state.spool = nullptr;
  }
  FILE* in = std::fopen(state.spoolName.c_str(), "rb");
  if (!in) {
    std::remove(state.spoolName.c_str());
    return false;
  }
  std::string text;
  bool ok = std::fseek(in, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(in) : -1;
  if (size < 0 || static_cast<unsigned long>(size) > kMaxPageBytes || std::fseek(in, 0, SEEK_SET) != 0) {
    ok = false;
  } else {
    text.resize(static_cast<size_t>(size));
    ok = std::fread(text.data(), 1, text.size(), in) == text.size();
  }
  std::fclose(in);
  std::remove(state.spoolName.c_str());
  if (!ok) return false;
  state.page = std::move(text);
  return true;
}

size_t Find(std::string_view text, std::string_view marker, size_t from, size_t end) {
  if (end > text.size()) end = text.size();
  if (from > end || marker.size() > end - from) return npos;
  size_t at = text.substr(0, end).find(marker, from);
  return at;
}

size_t FindNoCase(std::string_view text, std::string_view marker, size_t from, size_t end) {
  if (end > text.size()) end = text.size();
  if (from > end || marker.size() > end - from) return npos;
  for (size_t at = from; at + marker.size() <= end; ++at) {
    size_t i = 0;
    while (i < marker.size() && Lower(text[at + i]) == Lower(marker[i])) ++i;
    if (i == marker.size()) return at;
  }
  return npos;
}

std::string CleanText(std::string_view text) {
  static constexpr struct {
    std::string_view entity;
    char replacement;
  } kEntities[] = {{"&nbsp;", ' '}, {"&quot;", '"'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};
  std::string out;
  out.reserve(text.size());
  bool inTag = false;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (inTag) {
      if (c == '>') {
        inTag = false;
        out += ' ';
      }
      ++i;
      continue;
    }
    if (c == '<') {
      inTag = true;
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n' || c == '\t') {
      out += ' ';
      ++i;
      continue;
    }
    bool replaced = false;
    for (const auto& e : kEntities) {
      if (text.substr(i, e.entity.size()) == e.entity) {
        out += e.replacement;
        i += e.entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      out += c;
      ++i;
    }
  }
  return out;
}

long LeadingNumber(std::string_view text) {
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    if (value > 100000000) break;  // far beyond any count a page reports
    value = value * 10 + (c - '0');
  }
  return value;
}

SiteRoot ReadSiteRoot(const char* name, const char* fallback) {
  std::string line;
  {
    std::ifstream in(std::string("plugins/") + name + ".site");
    if (in) std::getline(in, line);
  }
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t' ||
                           line.back() == '/')) {
    line.pop_back();
  }
  size_t lead = line.find_first_not_of(" \t");
  line = lead == std::string::npos ? "" : line.substr(lead);
  if (line.rfind("http://", 0) != 0 && line.rfind("https://", 0) != 0) line = fallback;
  if (line.find_first_of(" \t\"<>") != std::string::npos) line = fallback;
  SiteRoot site;
  site.root = line;
  size_t hostStart = line.find("://") + 3;
  size_t slash = line.find('/', hostStart);
  site.origin = slash == std::string::npos ? line : line.substr(0, slash);
  return site;
}

int32_t OfferResult(PluginState& state, int32_t mode, const std::string& url,
                    const std::string& text, const char* engineName) {
  HostContext* context = state.context;
  int32_t validated = 0;
  int32_t relevance = 0;
  if (mode != QM_VALIDATION_NONE) {
    if (!context->checkRelevance(context, url.c_str(),
                                 mode == QM_VALIDATION_VAL_REL ? &relevance : nullptr)) {
      return 1;
    }
    validated = 1;
  }
  return context->addResult(context, url.c_str(), text.c_str(), engineName, validated, relevance);
}

int32_t CopyPluginName(const char* name, char* buffer, int32_t bufferSize) {
  const size_t length = std::strlen(name);
  const int32_t signedLength = static_cast<int32_t>(length);
  if (signedLength >= bufferSize || !buffer) return signedLength;
  std::memcpy(buffer, name, length + 1);
  return 0;
}

}  // namespace trovelane::plugin
