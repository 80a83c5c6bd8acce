// The search profile of the sample engines, in the profile text format
// (three header lines, then one engine definition after another).
//
// ProfileEngine holds just the stored fields of an engine definition, under
// their usual names. Once the core's engine definition and its writer are
// available, this file gives way to them: build EngineDefinition records
// and save them with the core's profile writer instead.
#pragma once

#include <string>
#include <vector>

namespace trovelane::sample {

struct ProfileParameter {
  std::string name;
  std::string defaultValue;
  int roleCode = 2;  // 0 search text, 1 result position, 2 fixed
};

struct ProfileEngine {
  std::string name;
  std::string searchUrl;
  std::string searchTextId;
  std::string resultId;
  int method = 0;  // 0 GET, 1 POST
  int iterationTechnique = 0;
  int resultsPerPage = 0;
  std::string separator = "&";
  int selected = 1;
  std::vector<ProfileParameter> parameters;
  int useBoolean = 0;
  std::string andOperator;
  std::string orOperator;
  std::string notOperator;
  std::string exactOperator;
  std::vector<std::string> searchedFileTypes;
  std::vector<std::string> autoAddFileTypes;
  std::vector<std::string> skippedDomains;
  std::vector<std::string> skippedUrls;
  int linkType = 0;  // 0 direct, 1 indirect
  std::string indirectLinkName;
  std::string referer;
  std::vector<std::string> cookieUrls;
  int requiresCookies = 0;
};

// One definition, line by line in the order the profile reader expects.
std::string EngineDefinitionText(const ProfileEngine& engine);

// The header "COM = 0", "MAX = 0", "TAR = 0", then every engine.
std::string ProfileText(const std::vector<ProfileEngine>& engines);

}  // namespace trovelane::sample
