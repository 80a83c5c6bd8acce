// What the delivered site plug-ins share: their run state, fetching a page
// into memory or through a spool file, bounded marker searches over a page,
// the cleaning of a result text, and the site root file. Compiled into each
// plug-in (a static library); a plug-in links against no other deliverable.
//
// Threads: a plug-in's exports run on the host's worker thread. The page
// text and the spool file are still created, replaced and released under
// the state's lock, so that QMPluginTerminate is safe at any point after
// QMPluginInitialize.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "plugins/plugin_api.h"

namespace trovelane::plugin {

inline constexpr size_t npos = std::string_view::npos;

// The largest page a plug-in keeps; the rest of a longer answer is not read.
inline constexpr size_t kMaxPageBytes = 64 * 1024 * 1024;
// Read sizes of the two ways of holding a page.
inline constexpr int32_t kMemoryReadSize = 8192;
inline constexpr int32_t kSpoolReadSize = 65535;

// A text buffer that starts with 512 bytes and grows to the next multiple of
// 512 that holds the old text, the new text and a terminator. Every size is
// checked: an append that would pass `limit` is refused.
class PageBuffer {
 public:
  explicit PageBuffer(size_t limit = kMaxPageBytes);
  bool Append(const char* data, size_t size);
  std::string Take() { return std::move(text_); }
  size_t size() const { return text_.size(); }
  size_t capacity() const { return capacity_; }

 private:
  std::string text_;
  size_t capacity_ = 0;
  size_t limit_;
};

// Where the site lies: the first line of "plugins/<name>.site" in the
// current directory when it holds an http:// or https:// address, else
// `fallback`. `root` has no trailing "/"; `origin` is its scheme, host and
// port alone.
struct SiteRoot {
  std::string root;
  std::string origin;
};
SiteRoot ReadSiteRoot(const char* name, const char* fallback);

// One plug-in's run state, one per library (file scope in each plug-in).
struct PluginState {
  SiteRoot site;                // read at initialisation
  std::mutex lock;              // the page and the spool file
  HostContext* context = nullptr;
  int pageCounter = 0;          // pages requested in this run
  long reportedCount = 0;       // results the site reported (counting plug-ins)
  std::string nextUrl;          // the next page's link (plug-ins that follow one)
  std::string page;             // the current page, under lock
  std::string spoolName;        // "sdump<tid>.bin" (spooling plug-ins)
  FILE* spool = nullptr;        // under lock
};

// QMPluginInitialize: keeps the context, resets the run and reads the site
// root of `siteName`; a spooling plug-in names its spool file after the
// calling thread.
void Initialize(PluginState& state, HostContext* context, bool spooling, const char* siteName,
                const char* fallbackRoot);
// QMPluginTerminate: closes and deletes the spool file, releases the page.
void Terminate(PluginState& state);
// Releases the current page.
void ReleasePage(PluginState& state);

// Fetch `url` (GET) into state.page. False when Connect failed, the spool
// file could not be created or read back, or nothing was received.
bool FetchToMemory(PluginState& state, const std::string& url);
bool FetchToSpool(PluginState& state, const std::string& url);

// The page walk of a site whose later pages follow a link on each page: the
// first call fetches `firstUrl`, each later one state.nextUrl (as the last
// page set it; none ends the walk). Counts the page and clears nextUrl for
// the page to set again. False when there is no page to fetch or the fetch
// failed.
bool FetchFirstOrNextPage(PluginState& state, const std::string& firstUrl);

// Finds `marker` in text at or after `from` so that it ends by `end`
// (npos: the end of the text); npos when it does not. A marker that lies
// past the end of its section is missing.
size_t Find(std::string_view text, std::string_view marker, size_t from, size_t end = npos);
// The same with ASCII letters compared without case.
size_t FindNoCase(std::string_view text, std::string_view marker, size_t from, size_t end = npos);

// The cleaned result text: tags become one blank each, CR, LF and TAB a
// blank, the entities &nbsp; &quot; &lt; &gt; &amp; their characters;
// blanks are neither collapsed nor trimmed.
std::string CleanText(std::string_view text);

// The decimal number at the start of text (0 when there is none; capped far
// below overflow).
long LeadingNumber(std::string_view text);

// Offers one result found on a page: in validation modes 1 and 2 asks
// CheckRelevance first (skipped when it fails). Returns what AddResult
// answered, or 1 for a skipped result.
int32_t OfferResult(PluginState& state, int32_t mode, const std::string& url,
                    const std::string& text, const char* engineName);

// Copies a display name as QMGetPluginName does.
int32_t CopyPluginName(const char* name, char* buffer, int32_t bufferSize);

// Walks the anchors of the NUL-terminated section through FindNextLink and
// offers each one `accept` lets through (it may rewrite the url). Returns 0
// when AddResult asked to stop, 1 when the anchors ran out.
template <typename Accept>
int32_t WalkAnchors(PluginState& state, const char* section, int32_t mode, const char* engineName,
                    Accept accept) {
  char url[QM_LINK_BUFFER_SIZE];
  char title[QM_LINK_BUFFER_SIZE];
  const size_t length = std::char_traits<char>::length(section);
  size_t at = 0;
  while (at < length) {
    int32_t next = state.context->findNextLink(state.context, section + at, url, title);
    if (next < 0) break;
    if (url[0] == '\0') {
      // No link: no anchor is left (no "<A" at all), the first "<A" has no
      // href (`next` is its own offset: step over it), or an anchor's href
      // is empty (`next` lies behind it: go on from there).
      const size_t first = FindNoCase(std::string_view(section + at, length - at), "<a", 0);
      const size_t offset = static_cast<size_t>(next);
      if (first == npos || offset < first) break;
      at += offset == first ? first + 2 : offset;
      continue;
    }
    at += static_cast<size_t>(next);
    std::string link = url;
    std::string text = title;
    if (!accept(link, text)) continue;
    if (OfferResult(state, mode, link, text, engineName) == 0) return 0;
  }
  return 1;
}

}  // namespace trovelane::plugin

// Defines the five exports of a plug-in whose iteration is
// `int32_t Iterate(const char* query)` in its own anonymous namespace, over
// its file-scope `PluginState state`. Nothing unwinds out of an export.
#define TROVELANE_PLUGIN_EXPORTS(displayName, spooling, siteName, fallbackRoot, andText, orText, \
                                 notText, exactText)                                          \
  extern "C" {                                                                                \
  QM_PLUGIN_EXPORT int32_t QMGetPluginName(char* buffer, int32_t bufferSize) {                \
    return ::trovelane::plugin::CopyPluginName(displayName, buffer, bufferSize);              \
  }                                                                                           \
  QM_PLUGIN_EXPORT void QMPluginInitialize(HostContext* context) {                            \
    try {                                                                                     \
      ::trovelane::plugin::Initialize(state, context, spooling, siteName, fallbackRoot);      \
    } catch (...) {                                                                           \
    }                                                                                         \
  }                                                                                           \
  QM_PLUGIN_EXPORT BooleanOperators* QMGetBooleanOperators(BooleanOperators* operators) {     \
    if (operators) {                                                                          \
      operators->andOperator = andText;                                                       \
      operators->orOperator = orText;                                                         \
      operators->notOperator = notText;                                                       \
      operators->exactOperator = exactText;                                                   \
    }                                                                                         \
    return operators;                                                                         \
  }                                                                                           \
  QM_PLUGIN_EXPORT int32_t QMPerformSearchIteration(const char* query) {                      \
    if (!state.context) return 0;                                                             \
    try {                                                                                     \
      return Iterate(query ? query : "");                                                     \
    } catch (...) {                                                                           \
      ::trovelane::plugin::ReleasePage(state);                                                \
      return 0;                                                                               \
    }                                                                                         \
  }                                                                                           \
  QM_PLUGIN_EXPORT void QMPluginTerminate(void) {                                             \
    try {                                                                                     \
      ::trovelane::plugin::Terminate(state);                                                  \
    } catch (...) {                                                                           \
    }                                                                                         \
  }                                                                                           \
  }
