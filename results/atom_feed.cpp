#include "results/atom_feed.h"

#include <expat.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/small_file.h"

namespace trovelane {
namespace {

// A feed this program wrote holds at most kMaxFeedEntries entries; a larger
// file is somebody else's.
constexpr size_t kMaxFeedBytes = 16 << 20;

// `text` as XML character data or attribute value.
std::string XmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceLength(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
      ++i;
      continue;
    }
    const char c = text[i];
    if (n == 1) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        default:
          // XML 1.0 holds no other C0 control character.
          if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
            out += c;
          }
      }
    } else {
      out.append(text.substr(i, n));
    }
    i += n;
  }
  return out;
}

// Collects entries while expat walks a feed.
struct FeedReader {
  std::vector<FeedEntry>* entries = nullptr;
  int depth = 0;
  bool isFeed = false;
  bool inEntry = false;
  std::string field;  // the entry's child element being read
  std::string text;

  static void Start(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* r = static_cast<FeedReader*>(data);
    const std::string_view element(name);
    ++r->depth;
    if (r->depth == 1) {
      r->isFeed = element == "feed";
    } else if (r->depth == 2 && element == "entry") {
      r->inEntry = true;
      r->entries->emplace_back();
    } else if (r->depth == 3 && r->inEntry) {
      r->field = element;
      r->text.clear();
      if (element == "link") {
        for (int i = 0; attributes[i]; i += 2) {
          if (std::string_view(attributes[i]) == "href") r->entries->back().url = attributes[i + 1];
        }
      }
    }
  }

  static void End(void* data, const XML_Char* /*name*/) {
    auto* r = static_cast<FeedReader*>(data);
    if (r->depth == 3 && r->inEntry) {
      FeedEntry& entry = r->entries->back();
      if (r->field == "id") entry.id = r->text;
      if (r->field == "title") entry.title = r->text;
      if (r->field == "updated") entry.updated = r->text;
      if (r->field == "summary") entry.summary = r->text;
      r->field.clear();
    } else if (r->depth == 2) {
      r->inEntry = false;
    }
    --r->depth;
  }

  static void Text(void* data, const XML_Char* text, int length) {
    auto* r = static_cast<FeedReader*>(data);
    if (r->depth == 3 && r->inEntry) r->text.append(text, static_cast<size_t>(length));
  }
};

}  // namespace

uint64_t StableTextHash(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string MakeFeedId(std::string_view documentPath) {
  char id[64];
  std::snprintf(id, sizeof id, "urn:trovelane:watch:%016llx",
                static_cast<unsigned long long>(StableTextHash(documentPath)));
  return id;
}

std::string FeedTime(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

FeedEntry MakeFeedEntry(std::string_view url, std::string_view title, int64_t seenAt,
                        std::string_view summary) {
  char id[64];
  std::snprintf(id, sizeof id, "urn:trovelane:result:%016llx:%lld",
                static_cast<unsigned long long>(StableTextHash(url)),
                static_cast<long long>(seenAt));
  return {id, std::string(title), std::string(url), FeedTime(seenAt), std::string(summary)};
}

Status ReadAtomFeed(std::string_view xml, std::vector<FeedEntry>& entries) {
  std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate("UTF-8"),
                                                                      XML_ParserFree);
  if (!parser) return Status::Corruption("out of memory");
  FeedReader reader;
  reader.entries = &entries;
  XML_SetUserData(parser.get(), &reader);
  XML_SetElementHandler(parser.get(), FeedReader::Start, FeedReader::End);
  XML_SetCharacterDataHandler(parser.get(), FeedReader::Text);
  if (xml.size() > kMaxFeedBytes) return Status::Corruption("it is larger than a feed gets");
  if (XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE) ==
      XML_STATUS_ERROR) {
    return Status::Corruption(std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) +
                              " at line " + std::to_string(XML_GetCurrentLineNumber(parser.get())));
  }
  if (!reader.isFeed) return Status::Corruption("its root element is not <feed>");
  return Status::Ok();
}

std::string RenderAtomFeed(std::string_view title, std::string_view feedId, int64_t updated,
                           const std::vector<FeedEntry>& entries) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n";
  xml += "  <title>" + XmlText(title) + "</title>\n";
  xml += "  <id>" + XmlText(feedId) + "</id>\n";
  xml += "  <updated>" + FeedTime(updated) + "</updated>\n";
  xml += "  <author><name>trovelane</name></author>\n";
  xml += "  <generator>trovelane-cli watch</generator>\n";
  for (const FeedEntry& e : entries) {
    xml += "  <entry>\n";
    xml += "    <id>" + XmlText(e.id) + "</id>\n";
    xml += "    <title>" + XmlText(e.title) + "</title>\n";
    xml += "    <link href=\"" + XmlText(e.url) + "\"/>\n";
    xml += "    <updated>" + XmlText(e.updated) + "</updated>\n";
    xml += "    <summary>" + XmlText(e.summary) + "</summary>\n";
    xml += "  </entry>\n";
  }
  xml += "</feed>\n";
  return xml;
}

Status UpdateAtomFeed(const std::string& path, std::string_view title, std::string_view feedId,
                      int64_t now, const std::vector<FeedEntry>& added) {
  std::string old;
  std::vector<FeedEntry> earlier;
  Status read = ReadSmallFile(path, kMaxFeedBytes, old);
  if (read.ok()) {
    if (Status feed = ReadAtomFeed(old, earlier); !feed.ok()) {
      return Status::Corruption(path + " is not an Atom feed: " + feed.message() +
                                "; it is left as it is");
    }
  } else if (read.code() != Status::Code::kNotFound) {
    return read;
  }
  std::vector<FeedEntry> entries = added;
  for (FeedEntry& e : earlier) {
    if (entries.size() >= kMaxFeedEntries) break;
    entries.push_back(std::move(e));
  }
  if (entries.size() > kMaxFeedEntries) entries.resize(kMaxFeedEntries);
  return WriteOutputFile(path, RenderAtomFeed(title, feedId, now, entries));
}

}  // namespace trovelane
