// One search engine's configuration: where the query goes, how the query
// string is assembled, how the engine pages through its results and which
// result links to keep. A site plug-in engine is a definition too, one that
// only names the plug-in library.
//
// Codes are kept as plain ints: any number read from an engine file is kept
// as it stands, so a definition never changes by being loaded and saved.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "engines/engine_extensions.h"
#include "platform/status.h"

namespace trovelane {

// Role of a query parameter (EngineParameter::roleCode).
enum ParameterRole : int {
  SEARCH_TEXT = 0,      // name=rendered search expression
  RESULT_POSITION = 1,  // name=iteration value of the result page
  FIXED = 2,            // name=defaultValue, or the value found on the previous page
};

// How the next result page is requested (EngineDefinition::iterationTechnique).
enum IterationTechnique : int {
  RESULT_PLUS_0 = 0,  // "Result + 0": page k sends k * resultsPerPage
  RESULT_PLUS_1 = 1,  // "Result + 1": k * resultsPerPage + 1
  RELATIVE_0 = 2,     // "0 Relative(Loop)": k
  RELATIVE_1 = 3,     // "1 Relative(Loop)": k + 1
  AUTO_1 = 4,         // "Auto 1": the position found on the previous page
  AUTO_2 = 5,         // "Auto 2": no position; fixed parameters from the page
};

enum RequestMethod : int { GET = 0, POST = 1 };

enum LinkType : int {
  DIRECT = 0,    // result pages hold direct hyperlinks
  INDIRECT = 1,  // result links are recognised by indirectLinkName
};

// A FIXED parameter with this default value takes its value from the result
// page instead: the two characters backslash and slash.
inline constexpr const char* kFromPageMarker = "\\/";

// The dialog label of an iteration technique; "Unknown" for other codes.
const char* IterationTechniqueLabel(int technique);


class EngineParameter {
 public:
  EngineParameter() = default;
  EngineParameter(const EngineParameter&) = default;
  EngineParameter& operator=(const EngineParameter&) = default;
  EngineParameter(EngineParameter&&) = default;
  EngineParameter& operator=(EngineParameter&&) = default;
  virtual ~EngineParameter() = default;

  bool operator==(const EngineParameter&) const = default;

  int found = 0;  // run-time: the value was found on the last result page
  int roleCode = FIXED;
  std::string defaultValue;
  std::string name;
  std::string currentValue;  // run-time: the value taken from the last result page
};

// The run-time stop flag of an engine. Copies never carry it over: a copy
// starts cleared and an assignment leaves the target's flag as it was.
// Atomic, because the worker of the engine sets it while others read it.
class StopFlag {
 public:
  StopFlag() = default;
  StopFlag(const StopFlag&) {}
  StopFlag& operator=(const StopFlag&) { return *this; }
  StopFlag& operator=(bool value) {
    value_.store(value, std::memory_order_relaxed);
    return *this;
  }
  operator bool() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> value_{false};
};

class EngineDefinition {
 public:
  EngineDefinition() = default;
  EngineDefinition(const EngineDefinition&) = default;
  EngineDefinition& operator=(const EngineDefinition&) = default;
  EngineDefinition(EngineDefinition&&) = default;
  EngineDefinition& operator=(EngineDefinition&&) = default;
  virtual ~EngineDefinition() = default;

  // Compares every field but stopRequested.
  bool operator==(const EngineDefinition& other) const;

  bool isPlugin = false;   // the ACT value was exactly "plugin"
  StopFlag stopRequested;  // set when the result limit was reached; never stored
  int requiresCookies = 0;
  std::string referer;
  std::string indirectLinkName;
  int linkType = DIRECT;
  int useBoolean = 0;
  std::string exactOperator;
  std::string notOperator;
  std::string orOperator;
  std::string andOperator;
  int selected = 1;
  std::string separator = "&";
  int iterationTechnique = RESULT_PLUS_0;
  std::string resultId;
  int resultsPerPage = 0;
  std::string searchTextId;
  std::string searchUrl;
  int method = GET;
  std::string name;
  std::vector<EngineParameter> parameters;
  std::vector<std::string> searchedFileTypes;
  std::vector<std::string> autoAddFileTypes;
  std::vector<std::string> skippedDomains;
  std::vector<std::string> skippedUrls;
  std::vector<std::string> cookieUrls;
  // Beyond the fields every definition file has: all "as before" by default.
  EngineExtensions web;
};

// OK when `engine` can page through its results, and always for plug-ins
// and the Auto techniques; kInvalidArgument, saying why for the user, for a
// numbered technique ("Result + 0/1", "0/1 Relative(Loop)") with a "Default
// No. of Results" of 0 or less. Loading and the search both refuse such an
// engine with its message.
Status CheckPaging(const EngineDefinition& engine);

}  // namespace trovelane
