#include "engines/engine_file.h"

#include <algorithm>
#include <functional>
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

std::string CheckEngineDefinition(const EngineDefinition& engine) {
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
  return problem;
}

std::string MissingEngineIdentity(const EngineDefinition& engine) {
  auto hasControl = [](const std::string& value) {
    return std::any_of(value.begin(), value.end(), [](char c) {
      const auto u = static_cast<unsigned char>(c);
      return (u < 0x20 && c != '\t') || u == 0x7F;
    });
  };
  if (engine.name.empty()) return "the definition has no engine name (SIT)";
  if (engine.searchUrl.empty()) return "the definition has no search URL (ACT)";
  if (hasControl(engine.name)) return "the engine name (SIT) holds control characters";
  if (hasControl(engine.searchUrl)) return "the search URL (ACT) holds control characters";
  return {};
}

bool WriteEngineDefinition(const EngineDefinition& engine, std::ostream& out, std::string* error) {
  std::string problem = CheckEngineDefinition(engine);
  if (!problem.empty()) {
    if (error) *error = "Engine \"" + engine.name + "\": " + problem;
    return false;
  }
  std::string text;
  ForEachLine(engine, [&](const std::string& key, const std::string& value) {
    text += key;
    text += " = ";
    text += value;
    text += '\n';
  });
  out << text;
  if (!out) {
    if (error) *error = "Engine \"" + engine.name + "\": the output could not be written";
    return false;
  }
  return true;
}

bool ReadEngineDefinition(EngineDefinition& e, std::istream& in) {
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

}  // namespace trovelane
