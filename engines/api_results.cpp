#include "engines/api_results.h"

#include <expat.h>

#include <cstdint>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>

#include "engines/anchor_parser.h"
#include "engines/result_link.h"
#include "platform/ascii.h"

namespace trovelane {
namespace {

using Json = nlohmann::json;

std::string_view Trim(std::string_view text) { return TrimBlanks(text); }

// Cuts `text` to at most `max` bytes, never inside a UTF-8 character.
void CutUtf8(std::string& text, size_t max) {
  if (text.size() <= max) return;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  while (!text.empty() && text.back() == ' ') text.pop_back();
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The named references that titles and snippets of search answers hold; any
// other name stays as written.
struct NamedReference {
  const char* name;
  std::uint32_t code;
};
constexpr NamedReference kNamedReferences[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},
    {"apos", '\''},    {"nbsp", ' '},     {"ndash", 0x2013}, {"mdash", 0x2014},
    {"hellip", 0x2026}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C},
    {"rdquo", 0x201D}, {"laquo", 0xAB},   {"raquo", 0xBB},   {"middot", 0xB7},
    {"bull", 0x2022},  {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122},
    {"deg", 0xB0},     {"times", 0xD7},   {"shy", 0xAD},
};

// Decodes the character reference at `at` ("&...;"); the bytes it takes, 0
// when it is none this reader knows (the "&" then stands as written).
size_t DecodeReference(std::string_view text, size_t at, std::uint32_t& code) {
  const size_t semicolon = text.find(';', at + 1);
  if (semicolon == std::string_view::npos || semicolon - at > 12) return 0;
  const std::string_view name = text.substr(at + 1, semicolon - at - 1);
  if (name.size() >= 2 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return 0;
    std::uint32_t value = 0;
    for (char c : digits) {
      const int digit = hex ? HexDigitValue(c) : IsAsciiDigit(c) ? c - '0' : -1;
      if (digit < 0) return 0;
      value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      if (value > 0x10FFFF) value = 0x110000;  // stays out of range
    }
    code = value;
    return semicolon - at + 1;
  }
  for (const NamedReference& reference : kNamedReferences) {
    if (name == reference.name) {
      code = reference.code;
      return semicolon - at + 1;
    }
  }
  return 0;
}

// Whether the tag named at `name` (just after "<" or "</") breaks the text
// as a line or block does, so that its words do not run into the next.
bool TagBreaksText(std::string_view name) {
  size_t end = 0;
  while (end < name.size() && IsAsciiLetterOrDigit(name[end])) ++end;
  const std::string_view tag = name.substr(0, end);
  for (const char* block : {"br", "p", "div", "li", "tr", "td", "th", "ul", "ol", "table",
                            "blockquote", "dd", "dt", "h1", "h2", "h3", "h4", "h5", "h6", "hr"}) {
    if (EqualsNoCase(tag, block)) return true;
  }
  return false;
}

// Text as a title or snippet shows it: blanks and control characters run
// together into one blank, the ends trimmed; with `markup`, also tags
// dropped and character references decoded.
std::string ReduceText(std::string_view markup, bool isMarkup) {
  std::string out;
  out.reserve(markup.size());
  bool blank = false;
  auto put = [&](std::string_view text) {
    if (blank && !out.empty()) out += ' ';
    blank = false;
    out += text;
  };
  for (size_t i = 0; i < markup.size();) {
    const char c = markup[i];
    const auto byte = static_cast<unsigned char>(c);
    if (isMarkup && c == '<' && i + 1 < markup.size() &&
        (IsAsciiLetter(markup[i + 1]) || markup[i + 1] == '/' || markup[i + 1] == '!' ||
         markup[i + 1] == '?')) {
      const size_t end = markup.find('>', i + 1);
      if (end != std::string_view::npos) {
        std::string_view name = markup.substr(i + 1, end - i - 1);
        if (!name.empty() && name.front() == '/') name.remove_prefix(1);
        if (TagBreaksText(name)) blank = true;
        i = end + 1;
        continue;
      }
    }
    if (isMarkup && c == '&') {
      std::uint32_t code = 0;
      if (const size_t used = DecodeReference(markup, i, code)) {
        if (code < 0x20 || code == 0x7F || code == ' ' || code == 0xA0) {
          blank = true;
        } else {
          std::string decoded;
          AppendUtf8(decoded, code);
          put(decoded);
        }
        i += used;
        continue;
      }
    }
    if (byte < 0x20 || byte == 0x7F || c == ' ') {
      blank = true;
    } else {
      put(std::string_view(&markup[i], 1));
    }
    ++i;
  }
  return out;
}

// The text of a value from an answer: a string as it is, a number as
// written; an array gives its first element when that is one. None for
// anything else and for a missing value.
std::optional<std::string> ScalarText(const Json* value) {
  if (value == nullptr) return std::nullopt;
  if (value->is_array()) {
    if (value->empty()) return std::nullopt;
    value = &(*value)[0];
  }
  if (value->is_string()) return value->get_ref<const std::string&>();
  if (value->is_number_unsigned()) return std::to_string(value->get<std::uint64_t>());
  if (value->is_number_integer()) return std::to_string(value->get<std::int64_t>());
  if (value->is_number_float()) return value->dump();
  return std::nullopt;
}

// Follows a path (docs/engine_file.md: member names separated by ".", each
// with optional "[n]" indexes; a name of digits indexes an array) from
// `value`; null when it names nothing or is malformed.
const Json* Follow(const Json* value, std::string_view path) {
  path = Trim(path);
  if (path.empty()) return value;
  auto index = [](std::string_view digits) -> std::optional<size_t> {
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    size_t n = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      n = n * 10 + static_cast<size_t>(c - '0');
    }
    return n;
  };
  auto element = [](const Json* array, size_t n) -> const Json* {
    return array->is_array() && n < array->size() ? &(*array)[n] : nullptr;
  };
  size_t from = 0;
  for (;;) {
    const size_t dot = path.find('.', from);
    std::string_view segment =
        path.substr(from, dot == std::string_view::npos ? std::string_view::npos : dot - from);
    const size_t bracket = segment.find('[');
    const std::string_view name = segment.substr(0, bracket);
    if (name.empty() && bracket != 0) return nullptr;  // "a..b", "a."
    if (!name.empty()) {
      const std::optional<size_t> n = index(name);
      if (n && value->is_array()) {
        value = element(value, *n);
      } else if (value->is_object()) {
        const auto it = value->find(name);
        value = it == value->end() ? nullptr : &*it;
      } else {
        value = nullptr;
      }
      if (value == nullptr) return nullptr;
    }
    for (size_t at = bracket; at != std::string_view::npos && at < segment.size();) {
      if (segment[at] != '[') return nullptr;
      const size_t close = segment.find(']', at);
      if (close == std::string_view::npos) return nullptr;
      const std::optional<size_t> n = index(segment.substr(at + 1, close - at - 1));
      if (!n) return nullptr;
      value = element(value, *n);
      if (value == nullptr) return nullptr;
      at = close + 1;
    }
    if (dot == std::string_view::npos) return value;
    from = dot + 1;
  }
}

std::string PathText(const Json& result, std::string_view path) {
  if (Trim(path).empty()) return {};
  return ScalarText(Follow(&result, path)).value_or(std::string());
}

// Percent-encodes a template field, keeping what a URL path may hold as it
// is (a DOI keeps its "/"), so that the field cannot end the path or begin a
// query or fragment of its own.
void AppendFieldEncoded(std::string& out, std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsAsciiLetterOrDigit(c) || std::string_view("-._~/:@!$'()*,;").find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
}

// One alternative of a URL: a path, or a template with "{path}" and
// "{path|modifier}" fields. Empty when a field is missing or empty, or the
// template is malformed.
std::string AlternativeUrl(const Json& result, std::string_view alternative) {
  if (alternative.find('{') == std::string_view::npos) {
    return std::string(Trim(PathText(result, alternative)));
  }
  std::string url;
  for (size_t at = 0; at < alternative.size();) {
    const size_t open = alternative.find('{', at);
    url += alternative.substr(at, open - at);
    if (open == std::string_view::npos) break;
    const size_t close = alternative.find('}', open);
    if (close == std::string_view::npos) return {};
    const std::string_view field = alternative.substr(open + 1, close - open - 1);
    const size_t bar = field.find('|');
    const std::string_view path = Trim(field.substr(0, bar));
    const std::string_view modifier =
        bar == std::string_view::npos ? std::string_view{} : Trim(field.substr(bar + 1));
    if (path.empty() || (!modifier.empty() && modifier != "underscore")) return {};
    std::string value(Trim(PathText(result, path)));
    if (value.empty()) return {};
    if (modifier == "underscore") {
      for (char& c : value) {
        if (c == ' ') c = '_';
      }
    }
    AppendFieldEncoded(url, value);
    at = close + 1;
  }
  return url;
}

std::string ResultUrl(const Json& result, std::string_view alternatives) {
  for (size_t from = 0; from <= alternatives.size();) {
    const size_t bars = alternatives.find("||", from);
    const std::string_view alternative = Trim(alternatives.substr(
        from, bars == std::string_view::npos ? std::string_view::npos : bars - from));
    if (!alternative.empty()) {
      std::string url = AlternativeUrl(result, alternative);
      if (!url.empty()) return url;
    }
    if (bars == std::string_view::npos) break;
    from = bars + 2;
  }
  return {};
}

// Refuses JSON that nests too deep or holds too many values before it is
// parsed: the parser builds a tree of every value, and a few bytes per
// value ("[[[[", "[0,0,0") would otherwise cost far more memory than the
// answer's size.
Status CheckJsonBounds(std::string_view body) {
  int depth = 0;
  size_t values = 1;
  bool inString = false;
  for (size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) {
        return Status::Corruption("the answer nests deeper than " + std::to_string(kMaxJsonDepth) +
                                  " levels");
      }
      ++values;
    } else if (c == ']' || c == '}') {
      --depth;
    } else if (c == ',') {
      ++values;
    }
    if (values > kMaxJsonValues) {
      return Status::Corruption("the answer holds more than " + std::to_string(kMaxJsonValues) +
                                " values");
    }
  }
  return Status::Ok();
}

Status TooLarge() {
  return Status::Corruption("the answer is larger than " +
                            std::to_string(kMaxApiAnswerBytes / (1024 * 1024)) + " MiB");
}

std::string Quoted(std::string_view text) { return "\"" + std::string(Trim(text)) + "\""; }

Status ReadJson(std::string_view body, const EngineExtensions& web, std::vector<ApiResult>& out) {
  if (body.size() > kMaxApiAnswerBytes) return TooLarge();
  if (Status bounds = CheckJsonBounds(body); !bounds.ok()) return bounds;
  Json answer;
  try {
    answer = Json::parse(body);
  } catch (const Json::parse_error& error) {
    return Status::Corruption("the answer is not JSON (syntax error at byte " +
                              std::to_string(error.byte) + ")");
  } catch (const Json::exception&) {
    return Status::Corruption("the answer is not JSON (a number out of range)");
  }
  const Json* list = Follow(&answer, web.jsonResults);
  if (Trim(web.jsonResults).empty()) {
    if (!list->is_array()) {
      return Status::Corruption("the answer is no JSON array, and no results path (JRL) is set");
    }
  } else if (list == nullptr) {
    return Status::Corruption("the results path " + Quoted(web.jsonResults) +
                              " names nothing in the answer");
  } else if (!list->is_array()) {
    return Status::Corruption("the results path " + Quoted(web.jsonResults) + " names no array");
  }
  std::vector<ApiResult> read;
  size_t entries = 0;
  for (const Json& entry : *list) {
    if (read.size() >= kMaxApiResults) break;
    if (!entry.is_object()) continue;
    ++entries;
    ApiResult result;
    result.url = ResultUrl(entry, web.jsonUrl);
    if (result.url.empty()) continue;
    result.title = MarkupToText(PathText(entry, web.jsonTitle));
    CutUtf8(result.title, kMaxAnchorTextLength);
    result.snippet = MarkupToText(PathText(entry, web.jsonSnippet));
    CutUtf8(result.snippet, kMaxApiSnippetLength);
    read.push_back(std::move(result));
  }
  if (entries > 0 && read.empty()) {
    return Status::Corruption("none of the " + std::to_string(entries) + " results has a URL by " +
                              Quoted(web.jsonUrl));
  }
  out.insert(out.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
  return Status::Ok();
}

// --- Feeds ---------------------------------------------------------------

constexpr std::string_view kAtomNamespace = "http://www.w3.org/2005/Atom";
constexpr std::string_view kAtom03Namespace = "http://purl.org/atom/ns#";
constexpr std::string_view kRss10Namespace = "http://purl.org/rss/1.0/";
constexpr std::string_view kRss090Namespace = "http://my.netscape.com/rdf/simple/0.9/";
constexpr std::string_view kRdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// Expat gives a namespaced name as its URI, this separator and its local name.
constexpr char kNamespaceSeparator = '\n';

// The most text kept of one field of an item before it is reduced.
constexpr size_t kMaxFeedFieldBytes = 64 * 1024;

struct QualifiedName {
  std::string_view space;
  std::string_view local;
};

QualifiedName SplitName(const XML_Char* name) {
  const std::string_view full(name);
  const size_t at = full.find(kNamespaceSeparator);
  if (at == std::string_view::npos) return {{}, full};
  return {full.substr(0, at), full.substr(at + 1)};
}

class FeedReader {
 public:
  explicit FeedReader(XML_Parser parser) : parser_(parser) {}

  std::vector<ApiResult> results;
  std::string refusal;  // why the reader stopped the parser; empty when it did not

  static void XMLCALL Start(void* data, const XML_Char* name, const XML_Char** attributes) {
    static_cast<FeedReader*>(data)->OnStart(SplitName(name), attributes);
  }
  static void XMLCALL End(void* data, const XML_Char* /*name*/) {
    static_cast<FeedReader*>(data)->OnEnd();
  }
  static void XMLCALL Text(void* data, const XML_Char* text, int length) {
    static_cast<FeedReader*>(data)->OnText(std::string_view(text, static_cast<size_t>(length)));
  }
  // Any entity declaration refuses the document: nothing of it is expanded.
  static void XMLCALL EntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                        const XML_Char*, const XML_Char*, const XML_Char*,
                                        const XML_Char*) {
    static_cast<FeedReader*>(data)->Refuse("the answer declares entities in its document type");
  }

 private:
  enum class Root { kUnknown, kRss, kAtom };
  enum class Field { kNone, kLink, kGuid, kTitle, kSummary, kContent };

  struct Item {
    std::string link, guid, atomAlternate, atomPlain, title, summary, content;
    bool guidIsPermalink = true;
    // Whether the text is HTML: always in RSS; in Atom as its type says.
    bool titleHtml = true, summaryHtml = true, contentHtml = true;
  };

  // Atom text is plain unless its type says HTML; XHTML comes as elements,
  // whose text is already plain.
  static bool AtomTextIsHtml(const XML_Char** attributes) {
    const std::string_view type = Trim(Attribute(attributes, "type"));
    return type == "html" || type == "text/html";
  }

  void Refuse(std::string why) {
    if (refusal.empty()) refusal = std::move(why);
    XML_StopParser(parser_, XML_FALSE);
  }

  static std::string_view Attribute(const XML_Char** attributes, std::string_view name) {
    for (size_t i = 0; attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2) {
      if (name == attributes[i]) return attributes[i + 1];
    }
    return {};
  }

  void OnStart(QualifiedName name, const XML_Char** attributes) {
    if (++depth_ > kMaxFeedDepth) {
      Refuse("the answer nests deeper than " + std::to_string(kMaxFeedDepth) + " elements");
      return;
    }
    if (depth_ == 1) {
      if (name.space.empty() && name.local == "rss") {
        root_ = Root::kRss;
      } else if (name.space == kRdfNamespace && name.local == "RDF") {
        root_ = Root::kRss;
      } else if ((name.space == kAtomNamespace || name.space == kAtom03Namespace) &&
                 name.local == "feed") {
        root_ = Root::kAtom;
      } else {
        Refuse("the answer is no RSS or Atom feed (its root is <" + std::string(name.local) + ">)");
      }
      return;
    }
    if (itemDepth_ < 0) {
      const bool rssItem = root_ == Root::kRss && name.local == "item" &&
                           (name.space.empty() || name.space == kRss10Namespace ||
                            name.space == kRss090Namespace);
      const bool atomEntry = root_ == Root::kAtom && name.local == "entry" &&
                             (name.space == kAtomNamespace || name.space == kAtom03Namespace);
      if (rssItem || atomEntry) {
        itemDepth_ = depth_;
        itemSpace_ = name.space;
        item_ = Item{};
      }
      return;
    }
    if (field_ != Field::kNone || depth_ != itemDepth_ + 1 || name.space != itemSpace_) return;
    const bool html = root_ == Root::kRss || AtomTextIsHtml(attributes);
    if (name.local == "title") {
      field_ = Field::kTitle;
      item_.titleHtml = html;
    } else if (root_ == Root::kRss && name.local == "link") {
      field_ = Field::kLink;
    } else if (root_ == Root::kRss && name.local == "guid") {
      field_ = Field::kGuid;
      item_.guidIsPermalink = Attribute(attributes, "isPermaLink") != "false";
    } else if (root_ == Root::kRss && name.local == "description") {
      field_ = Field::kSummary;
    } else if (root_ == Root::kAtom && name.local == "summary") {
      field_ = Field::kSummary;
      item_.summaryHtml = html;
    } else if (root_ == Root::kAtom && name.local == "content") {
      field_ = Field::kContent;
      item_.contentHtml = html;
    } else if (root_ == Root::kAtom && name.local == "link") {
      const std::string_view rel = Trim(Attribute(attributes, "rel"));
      const std::string_view href = Trim(Attribute(attributes, "href"));
      if (rel == "alternate" && item_.atomAlternate.empty()) item_.atomAlternate = href;
      if (rel.empty() && item_.atomPlain.empty()) item_.atomPlain = href;
      return;
    }
    if (field_ != Field::kNone) fieldDepth_ = depth_;
  }

  void OnEnd() {
    if (field_ != Field::kNone && depth_ == fieldDepth_) field_ = Field::kNone;
    if (depth_ == itemDepth_) {
      itemDepth_ = -1;
      FinishItem();
    }
    --depth_;
  }

  void OnText(std::string_view text) {
    std::string* target = nullptr;
    switch (field_) {
      case Field::kNone:
        return;
      case Field::kLink:
        target = &item_.link;
        break;
      case Field::kGuid:
        target = &item_.guid;
        break;
      case Field::kTitle:
        target = &item_.title;
        break;
      case Field::kSummary:
        target = &item_.summary;
        break;
      case Field::kContent:
        target = &item_.content;
        break;
    }
    if (target->size() < kMaxFeedFieldBytes) {
      target->append(text.substr(0, kMaxFeedFieldBytes - target->size()));
    }
  }

  void FinishItem() {
    if (results.size() >= kMaxApiResults) return;
    ApiResult result;
    if (root_ == Root::kAtom) {
      result.url = !item_.atomAlternate.empty() ? item_.atomAlternate : item_.atomPlain;
    } else {
      result.url = Trim(item_.link);
      // An item without a link may name its page by a permalink guid.
      const std::string_view guid = Trim(item_.guid);
      if (result.url.empty() && item_.guidIsPermalink && LinkNamesHost(guid)) result.url = guid;
    }
    if (result.url.empty()) return;
    result.title = ReduceText(item_.title, item_.titleHtml);
    CutUtf8(result.title, kMaxAnchorTextLength);
    result.snippet = !item_.summary.empty() ? ReduceText(item_.summary, item_.summaryHtml)
                                            : ReduceText(item_.content, item_.contentHtml);
    CutUtf8(result.snippet, kMaxApiSnippetLength);
    results.push_back(std::move(result));
  }

  XML_Parser parser_;
  Root root_ = Root::kUnknown;
  int depth_ = 0;
  int itemDepth_ = -1;
  std::string itemSpace_;
  Item item_;
  Field field_ = Field::kNone;
  int fieldDepth_ = 0;
};

Status ReadFeed(std::string_view body, std::vector<ApiResult>& out) {
  if (body.size() > kMaxApiAnswerBytes) return TooLarge();
  std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(
      XML_ParserCreateNS(nullptr, kNamespaceSeparator), XML_ParserFree);
  if (!parser) throw std::bad_alloc();
  FeedReader reader(parser.get());
  XML_SetUserData(parser.get(), &reader);
  XML_SetElementHandler(parser.get(), FeedReader::Start, FeedReader::End);
  XML_SetCharacterDataHandler(parser.get(), FeedReader::Text);
  XML_SetEntityDeclHandler(parser.get(), FeedReader::EntityDeclaration);
  // No external entity, document type or parameter entity is ever read.
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  const XML_Status status =
      XML_Parse(parser.get(), body.data(), static_cast<int>(body.size()), XML_TRUE);
  if (!reader.refusal.empty()) return Status::Corruption(reader.refusal);
  if (status != XML_STATUS_OK) {
    const XML_Error code = XML_GetErrorCode(parser.get());
    if (code == XML_ERROR_NO_MEMORY) return TooLarge();
    return Status::Corruption("the answer is not well-formed XML (" +
                              std::string(XML_ErrorString(code)) + " at line " +
                              std::to_string(XML_GetCurrentLineNumber(parser.get())) + ")");
  }
  out.insert(out.end(), std::make_move_iterator(reader.results.begin()),
             std::make_move_iterator(reader.results.end()));
  return Status::Ok();
}

bool HoldsControl(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

}  // namespace

std::string MarkupToText(std::string_view markup) { return ReduceText(markup, true); }

Status ReadJsonResults(std::string_view body, const EngineExtensions& web,
                       std::vector<ApiResult>& out) {
  try {
    return ReadJson(body, web, out);
  } catch (const std::bad_alloc&) {
    return TooLarge();
  } catch (const std::exception& error) {
    return Status::Corruption(std::string("the answer could not be read: ") + error.what());
  }
}

Status ReadFeedResults(std::string_view body, std::vector<ApiResult>& out) {
  try {
    return ReadFeed(body, out);
  } catch (const std::bad_alloc&) {
    return TooLarge();
  }
}

Status ReadApiResults(const EngineDefinition& engine, std::string_view body,
                      std::vector<ApiResult>& out) {
  std::vector<ApiResult> read;
  Status status;
  switch (ResultFormatOf(engine.web)) {
    case ResultFormat::kHtml:
      return Status::InvalidArgument("the engine's answers are HTML pages, read by its anchors");
    case ResultFormat::kUnknown:
      return Status::InvalidArgument("the result format " + Quoted(engine.web.format) +
                                     " is not known to this program");
    case ResultFormat::kJson:
      status = ReadJsonResults(body, engine.web, read);
      break;
    case ResultFormat::kFeed:
      status = ReadFeedResults(body, read);
      break;
  }
  if (!status.ok()) return status;
  try {
    for (ApiResult& result : read) {
      MakeAbsoluteLink(engine.searchUrl, result.url);
      if (result.url.empty() || result.url.size() > kMaxLinkLength || HoldsControl(result.url)) {
        continue;
      }
      if (result.title.empty()) result.title = result.url;
      out.push_back(std::move(result));
    }
  } catch (const std::bad_alloc&) {
    return TooLarge();
  }
  return Status::Ok();
}

}  // namespace trovelane
