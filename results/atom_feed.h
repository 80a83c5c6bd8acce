// The Atom feed of a watched search (RFC 4287): one entry per new result,
// newest first, so that any feed reader can follow the search. Each watch
// puts its new results in front of the entries the file already holds and
// keeps at most kMaxFeedEntries. Plain functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace trovelane {

inline constexpr size_t kMaxFeedEntries = 200;

struct FeedEntry {
  std::string id;
  std::string title;
  std::string url;
  std::string updated;  // RFC 3339 text, as it stands in the feed
  std::string summary;

  bool operator==(const FeedEntry&) const = default;
};

// A short stable name made of `text` (64-bit FNV-1a): the ids of entries and
// feeds, the names of timer units.
uint64_t StableTextHash(std::string_view text);

// The id of the feed of the document at `documentPath` (an absolute path).
std::string MakeFeedId(std::string_view documentPath);

// "2026-12-08T21:40:00Z" for `seconds` since 1970.
std::string FeedTime(int64_t seconds);

// An entry for a result first seen at `seenAt`: its id is made of the URL
// and that time, so that the same result found again later is a new entry.
FeedEntry MakeFeedEntry(std::string_view url, std::string_view title, int64_t seenAt,
                        std::string_view summary);

// The entries of an Atom feed, in file order. kCorruption saying why when
// `xml` is not well-formed or not a feed.
Status ReadAtomFeed(std::string_view xml, std::vector<FeedEntry>& entries);

// The whole feed. Texts are taken as 8-bit text: bytes that are not UTF-8
// become U+FFFD and control characters XML cannot hold are left out.
std::string RenderAtomFeed(std::string_view title, std::string_view feedId, int64_t updated,
                           const std::vector<FeedEntry>& entries);

// Puts `added` (newest first) in front of the entries of the feed at `path`
// (none when there is no file), keeps kMaxFeedEntries of them and replaces
// the file atomically. A file that is there but is no feed is left alone:
// kCorruption ("PATH is not an Atom feed: why; it is left as it is").
// kIoError when it cannot be read or written.
Status UpdateAtomFeed(const std::string& path, std::string_view title, std::string_view feedId,
                      int64_t now, const std::vector<FeedEntry>& added);

}  // namespace trovelane
