#include "tools/sample_engines/profile_text.h"

namespace trovelane::sample {

namespace {

void Line(std::string& out, const std::string& key, const std::string& value) {
  out += key + " = " + value + "\n";
}

void Line(std::string& out, const std::string& key, int value) {
  Line(out, key, std::to_string(value));
}

// A count line, then one line per entry under `entryKey` + index.
void List(std::string& out, const std::string& countKey, const std::string& entryKey,
          const std::vector<std::string>& entries) {
  Line(out, countKey, static_cast<int>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) Line(out, entryKey + std::to_string(i), entries[i]);
}

}  // namespace

std::string EngineDefinitionText(const ProfileEngine& e) {
  std::string out;
  Line(out, "SIT", e.name);
  Line(out, "ACT", e.searchUrl);
  Line(out, "SID", e.searchTextId);
  Line(out, "RID", e.resultId);
  Line(out, "TEC", e.method);
  Line(out, "ITR", e.iterationTechnique);
  Line(out, "RES", e.resultsPerPage);
  Line(out, "SEP", e.separator);
  Line(out, "SEL", e.selected);
  Line(out, "PAR", static_cast<int>(e.parameters.size()));
  Line(out, "USB", e.useBoolean);
  Line(out, "AND", e.andOperator);
  Line(out, "OR", e.orOperator);
  Line(out, "NOT", e.notOperator);
  Line(out, "EXC", e.exactOperator);
  for (size_t i = 0; i < e.parameters.size(); ++i) {
    const std::string index = std::to_string(i);
    Line(out, "PNM" + index, e.parameters[i].name);
    Line(out, "PDV" + index, e.parameters[i].defaultValue);
    Line(out, "PAT" + index, e.parameters[i].roleCode);
  }
  List(out, "SEC", "SET", e.searchedFileTypes);
  List(out, "AEC", "AET", e.autoAddFileTypes);
  List(out, "DSC", "DS", e.skippedDomains);
  // The URL skip entries share the "DS" key with the domain entries: the
  // reader goes by position, and older profiles are written this way.
  List(out, "USC", "DS", e.skippedUrls);
  Line(out, "RST", e.linkType);
  Line(out, "LIN", e.indirectLinkName);
  Line(out, "REF", e.referer);
  List(out, "COC", "CO", e.cookieUrls);
  Line(out, "COO", e.requiresCookies);
  return out;
}

std::string ProfileText(const std::vector<ProfileEngine>& engines) {
  std::string out = "COM = 0\nMAX = 0\nTAR = 0\n";
  for (const auto& engine : engines) out += EngineDefinitionText(engine);
  return out;
}

}  // namespace trovelane::sample
