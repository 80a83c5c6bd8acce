#include "engines/engine_file.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <iterator>
#include <optional>
#include <string_view>

#include "engines/positional_text.h"

namespace trovelane {
namespace {

// Visits every line of a definition in file order as (key, value text), so
// that the writer and its check cannot disagree about what is written.
void ForEachLine(const EngineDefinition& e,
                 const std::function<void(const std::string&, const std::string&)>& line) {
  auto list = [&](const char* countKey, const char* entryKey,
                  const std::vector<std::string>& entries) {
    line(countKey, std::to_string(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) line(entryKey + std::to_string(i), entries[i]);
  };
  line("SIT", e.name);
  line("ACT", e.searchUrl);
  line("SID", e.searchTextId);
  line("RID", e.resultId);
  line("TEC", std::to_string(e.method));
  line("ITR", std::to_string(e.iterationTechnique));
  line("RES", std::to_string(e.resultsPerPage));
  line("SEP", e.separator);
  line("SEL", std::to_string(e.selected));
  line("PAR", std::to_string(e.parameters.size()));
  line("USB", std::to_string(e.useBoolean));
  line("AND", e.andOperator);
  line("OR", e.orOperator);
  line("NOT", e.notOperator);
  line("EXC", e.exactOperator);
  for (size_t i = 0; i < e.parameters.size(); ++i) {
    const EngineParameter& p = e.parameters[i];
    line("PNM" + std::to_string(i), p.name);
    line("PDV" + std::to_string(i), p.defaultValue);
    line("PAT" + std::to_string(i), std::to_string(p.roleCode));
  }
  list("SEC", "SET", e.searchedFileTypes);
  list("AEC", "AET", e.autoAddFileTypes);
  list("DSC", "DS", e.skippedDomains);
  // The URL skip entries share the "DS" key of the domain entries.
  list("USC", "DS", e.skippedUrls);
  line("RST", std::to_string(e.linkType));
  line("LIN", e.indirectLinkName);
  line("REF", e.referer);
  list("COC", "CO", e.cookieUrls);
  line("COO", std::to_string(e.requiresCookies));
}

// A weight as the shortest text that reads back as the same number.
std::string FormatWeight(double weight) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, weight);
  return ec == std::errc() ? std::string(text, end) : "1";
}

// Visits the extension lines of one engine (docs/engine_file.md): only the
// fields away from their defaults, in a fixed order, lists entry by entry.
void ForEachExtensionLine(const EngineExtensions& web,
                          const std::function<void(const char*, const std::string&)>& line) {
  auto flag = [&](const char* key, bool value) {
    if (value) line(key, "1");
  };
  auto number = [&](const char* key, int value) {
    if (value != 0) line(key, std::to_string(value));
  };
  auto text = [&](const char* key, const std::string& value) {
    if (!value.empty()) line(key, value);
  };
  text("AGT", web.userAgent);
  for (const auto& [name, value] : web.headers) line("HDR", name + ": " + value);
  text("CKS", web.cookies);
  flag("H11", web.http11);
  flag("CMP", web.acceptCompression);
  number("CTO", web.connectTimeoutSeconds);
  number("RTO", web.readTimeoutSeconds);
  flag("PSP", web.positionFromSecondPage);
  text("RCL", web.resultClass);
  text("RLS", web.resultListStart);
  text("RLE", web.resultListEnd);
  text("RAF", web.resultAnchorAfter);
  for (const std::string& block : web.skippedBlocks) line("SKP", block);
  text("RDP", web.redirectParameter);
  flag("AFT", web.anyFileType);
  flag("OWN", web.ownPages);
  for (const std::string& marker : web.blockMarkers) line("BLK", marker);
  for (const std::string& header : web.blockHeaders) line("BLH", header);
  text("FMT", web.format);
  text("JRL", web.jsonResults);
  text("JUR", web.jsonUrl);
  text("JTI", web.jsonTitle);
  text("JSN", web.jsonSnippet);
  if (web.weight != 1) line("WGT", FormatWeight(web.weight));
}

// Why a header name cannot be stored and sent: empty, or holding a blank, a
// control character or ":" (the line "HDR = name: value" is split at its
// first ":"). Empty when it can.
std::string HeaderNameProblem(const std::string& name) {
  if (name.empty()) return "a request header has no name";
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ':' || byte <= 0x20 || byte == 0x7f) {
      return "the request header name \"" + name + "\" holds a blank, a control character or \":\"";
    }
  }
  return {};
}

// Applies one "KEY = value" line of an engine's block to its extensions. A
// key this program does not know is skipped, so that a later program may add
// fields that this one leaves alone.
void ApplyExtensionLine(std::string_view key, std::string_view value, EngineExtensions& web) {
  if (key == "AGT") {
    web.userAgent = value;
  } else if (key == "HDR") {
    const size_t colon = value.find(':');
    std::string_view headerValue =
        colon == std::string_view::npos ? std::string_view{} : value.substr(colon + 1);
    if (!headerValue.empty() && headerValue.front() == ' ') headerValue.remove_prefix(1);
    web.headers.emplace_back(std::string(value.substr(0, colon)), std::string(headerValue));
  } else if (key == "CKS") {
    web.cookies = value;
  } else if (key == "H11") {
    web.http11 = ParseIntPrefix(value) != 0;
  } else if (key == "CMP") {
    web.acceptCompression = ParseIntPrefix(value) != 0;
  } else if (key == "CTO") {
    web.connectTimeoutSeconds = ParseIntPrefix(value);
  } else if (key == "RTO") {
    web.readTimeoutSeconds = ParseIntPrefix(value);
  } else if (key == "PSP") {
    web.positionFromSecondPage = ParseIntPrefix(value) != 0;
  } else if (key == "RCL") {
    web.resultClass = value;
  } else if (key == "RLS") {
    web.resultListStart = value;
  } else if (key == "RLE") {
    web.resultListEnd = value;
  } else if (key == "RAF") {
    web.resultAnchorAfter = value;
  } else if (key == "RDP") {
    web.redirectParameter = value;
  } else if (key == "AFT") {
    web.anyFileType = ParseIntPrefix(value) != 0;
  } else if (key == "OWN") {
    web.ownPages = ParseIntPrefix(value) != 0;
  } else if (key == "BLK") {
    web.blockMarkers.emplace_back(value);
  } else if (key == "SKP") {
    web.skippedBlocks.emplace_back(value);
  } else if (key == "BLH") {
    web.blockHeaders.emplace_back(value);
  } else if (key == "FMT") {
    web.format = value;
  } else if (key == "JRL") {
    web.jsonResults = value;
  } else if (key == "JUR") {
    web.jsonUrl = value;
  } else if (key == "JTI") {
    web.jsonTitle = value;
  } else if (key == "JSN") {
    web.jsonSnippet = value;
  } else if (key == "WGT") {
    // A weight that is no positive number leaves the engine neutral.
    if (const std::optional<double> weight = ParseWeight(value)) web.weight = *weight;
  }
}

// The first word of a line: its key.
std::string_view LineKey(std::string_view line) {
  size_t end = 0;
  while (end < line.size() && !IsAsciiBlank(line[end])) ++end;
  return line.substr(0, end);
}

// The fixed lines that open the extensions part. Ten lines before the first
// engine's block, the last one LNS: a reader that knows nothing of the part
// reads it as one more engine whose tenth line, its parameter count, asks for
// more lines than the file has left, so it drops that engine as incomplete.
constexpr const char* kExtensionsHead[] = {
    kExtensionsMarker,
    "VER = 1",
    "REM = From here to the end of the file: what the engines above say beyond",
    "REM = the fields every engine file has. \"ENG = n\" begins the lines of the",
    "REM = n-th engine above (0 for the first); its lines are KEY = value in any",
    "REM = order, and a key that a reader does not know is skipped. A reader",
    "REM = that knows nothing of this part takes it for one more engine, with",
    "REM = the LNS line below as its parameter count: more lines than follow,",
    "REM = so that engine is incomplete and left out.",
};

// Reads the lines of one definition in order; each call consumes one line.
class LineSource {
 public:
  explicit LineSource(std::istream& in) : in_(in) {}

  bool Text(std::string& out) {
    if (!ReadTextLine(in_, line_)) return false;
    out = std::string(LineValue(line_));
    return true;
  }
  bool Number(int& out) {
    if (!ReadTextLine(in_, line_)) return false;
    out = ParseIntPrefix(LineValue(line_));
    return true;
  }
  // A count line and that many entry lines; the list is emptied first.
  bool List(std::vector<std::string>& out) {
    int count = 0;
    if (!Number(count)) return false;
    out.clear();
    for (int i = 0; i < count; ++i) {
      std::string value;
      if (!Text(value)) return false;
      out.push_back(std::move(value));
    }
    return true;
  }

 private:
  std::istream& in_;
  std::string line_;
};

}  // namespace

Status CheckEngineDefinition(const EngineDefinition& engine) {
  std::string problem;
  ForEachLine(engine, [&](const std::string& key, const std::string& value) {
    if (!problem.empty()) return;
    if (value.find_first_of("\r\n") != std::string::npos) {
      problem = "the value of " + key + " holds a line break, which an engine file cannot store";
    } else if (key.size() + 3 + value.size() + 1 > kMaxEngineLineLength) {
      problem = "the line " + key + " would be longer than " +
                std::to_string(kMaxEngineLineLength) +
                " characters, which an engine file cannot store";
    }
  });
  if (!problem.empty()) return Status::InvalidArgument(problem);
  for (const auto& header : engine.web.headers) {
    problem = HeaderNameProblem(header.first);
    if (!problem.empty()) return Status::InvalidArgument(problem);
  }
  ForEachExtensionLine(engine.web, [&](const char* key, const std::string& value) {
    if (!problem.empty()) return;
    if (value.find_first_of("\r\n") != std::string::npos) {
      problem = std::string("the value of ") + key + " holds a line break, which an engine file cannot store";
    } else if (std::string_view(key).size() + 3 + value.size() + 1 > kMaxEngineLineLength) {
      problem = std::string("the line ") + key + " would be longer than " +
                std::to_string(kMaxEngineLineLength) +
                " characters, which an engine file cannot store";
    }
  });
  return problem.empty() ? Status::Ok() : Status::InvalidArgument(problem);
}

Status CheckEngineIdentity(const EngineDefinition& engine) {
  auto hasControl = [](const std::string& value) {
    return std::any_of(value.begin(), value.end(), [](char c) {
      const auto u = static_cast<unsigned char>(c);
      return (u < 0x20 && c != '\t') || u == 0x7F;
    });
  };
  if (engine.name.empty()) return Status::Corruption("the definition has no engine name (SIT)");
  if (engine.searchUrl.empty()) return Status::Corruption("the definition has no search URL (ACT)");
  if (hasControl(engine.name)) {
    return Status::Corruption("the engine name (SIT) holds control characters");
  }
  if (hasControl(engine.searchUrl)) {
    return Status::Corruption("the search URL (ACT) holds control characters");
  }
  return Status::Ok();
}

namespace {

// The positional lines of one definition, without its extensions.
std::string PositionalText(const EngineDefinition& engine) {
  std::string text;
  ForEachLine(engine, [&](const std::string& key, const std::string& value) {
    text += key;
    text += " = ";
    text += value;
    text += '\n';
  });
  return text;
}

// The extensions part of `engines` (indexes as in the file), or nothing when
// none of them has an extension.
std::string ExtensionsText(const std::vector<const EngineDefinition*>& engines) {
  std::string blocks;
  size_t lines = std::size(kExtensionsHead) + 1;
  for (size_t i = 0; i < engines.size(); ++i) {
    if (engines[i]->web.empty()) continue;
    blocks += "ENG = " + std::to_string(i) + '\n';
    ++lines;
    ForEachExtensionLine(engines[i]->web, [&](const char* key, const std::string& value) {
      blocks += key;
      blocks += " = ";
      blocks += value;
      blocks += '\n';
      ++lines;
    });
  }
  if (blocks.empty()) return {};
  std::string text;
  for (const char* line : kExtensionsHead) {
    text += line;
    text += '\n';
  }
  text += "LNS = " + std::to_string(lines) + '\n';
  return text + blocks;
}

Status WriteAll(const std::vector<const EngineDefinition*>& engines, std::ostream& out) {
  std::string text;
  for (const EngineDefinition* engine : engines) {
    Status checked = CheckEngineDefinition(*engine);
    if (!checked.ok()) {
      return Status::InvalidArgument("Engine \"" + engine->name + "\": " + checked.message());
    }
    text += PositionalText(*engine);
  }
  text += ExtensionsText(engines);
  out << text;
  if (!out) {
    return Status::IoError(engines.size() == 1 ? "Engine \"" + engines[0]->name +
                                                     "\": the output could not be written"
                                               : "the output could not be written");
  }
  return Status::Ok();
}

// Reads the positional lines of one definition.
bool ReadPositional(EngineDefinition& e, std::istream& in) {
  LineSource src(in);
  int parameterCount = 0;
  if (!src.Text(e.name) || !src.Text(e.searchUrl)) return false;
  e.isPlugin = e.searchUrl == "plugin";
  if (!src.Text(e.searchTextId) || !src.Text(e.resultId) || !src.Number(e.method) ||
      !src.Number(e.iterationTechnique) || !src.Number(e.resultsPerPage) ||
      !src.Text(e.separator) || !src.Number(e.selected) || !src.Number(parameterCount)) {
    return false;
  }
  e.parameters.clear();
  if (!src.Number(e.useBoolean) || !src.Text(e.andOperator) || !src.Text(e.orOperator) ||
      !src.Text(e.notOperator) || !src.Text(e.exactOperator)) {
    return false;
  }
  for (int i = 0; i < parameterCount; ++i) {
    EngineParameter p;
    if (!src.Text(p.name) || !src.Text(p.defaultValue) || !src.Number(p.roleCode)) return false;
    e.parameters.push_back(std::move(p));
  }
  if (!src.List(e.searchedFileTypes) || !src.List(e.autoAddFileTypes) ||
      !src.List(e.skippedDomains) || !src.List(e.skippedUrls)) {
    return false;
  }
  if (!src.Number(e.linkType) || !src.Text(e.indirectLinkName) || !src.Text(e.referer)) {
    return false;
  }
  return src.List(e.cookieUrls) && src.Number(e.requiresCookies);
}

// Consumes the next line when it opens the extensions part; otherwise leaves
// the stream where it was. A stream that cannot tell its position is never
// read ahead.
bool TakeExtensionsMarker(std::istream& in) {
  if (!in.good()) return false;
  const std::istream::pos_type start = in.tellg();
  if (start == std::istream::pos_type(-1)) {
    in.clear(in.rdstate() & ~std::ios::failbit);
    return false;
  }
  std::string line;
  if (ReadTextLine(in, line) && CutAtLineEnd(line) == kExtensionsMarker) return true;
  in.clear();
  in.seekg(start);
  return false;
}

// Reads the extensions part after its marker, to the end of the stream, into
// the engines it names. Lines before the first ENG line, and blocks of an
// engine that is not there, are skipped.
void ReadExtensions(std::istream& in, const std::vector<EngineDefinition*>& engines) {
  std::string line;
  EngineExtensions* current = nullptr;
  while (ReadTextLine(in, line)) {
    const std::string_view key = LineKey(line);
    const std::string_view value = LineValue(line);
    if (key == "ENG") {
      const int index = ParseIntPrefix(value);
      current = index >= 0 && static_cast<size_t>(index) < engines.size()
                    ? &engines[static_cast<size_t>(index)]->web
                    : nullptr;
    } else if (current) {
      ApplyExtensionLine(key, value, *current);
    }
  }
}

}  // namespace

Status WriteEngineDefinition(const EngineDefinition& engine, std::ostream& out) {
  return WriteAll({&engine}, out);
}

Status WriteEngineDefinitions(const std::vector<EngineDefinition>& engines, std::ostream& out) {
  std::vector<const EngineDefinition*> all;
  all.reserve(engines.size());
  for (const EngineDefinition& engine : engines) all.push_back(&engine);
  return WriteAll(all, out);
}

bool ReadEngineDefinition(EngineDefinition& e, std::istream& in) {
  if (!ReadPositional(e, in)) return false;
  if (TakeExtensionsMarker(in)) ReadExtensions(in, {&e});
  return true;
}

void ReadEngineDefinitions(std::istream& in, std::vector<EngineDefinition>& engines) {
  for (;;) {
    if (TakeExtensionsMarker(in)) {
      std::vector<EngineDefinition*> all;
      for (EngineDefinition& engine : engines) all.push_back(&engine);
      ReadExtensions(in, all);
      return;
    }
    EngineDefinition engine;
    if (!ReadPositional(engine, in)) return;
    engines.push_back(std::move(engine));
  }
}

}  // namespace trovelane
