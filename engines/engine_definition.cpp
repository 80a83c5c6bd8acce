#include "engines/engine_definition.h"

#include <tuple>

namespace trovelane {
namespace {

auto StoredFields(const EngineDefinition& e) {
  return std::tie(e.isPlugin, e.requiresCookies, e.referer, e.indirectLinkName, e.linkType,
                  e.useBoolean, e.exactOperator, e.notOperator, e.orOperator, e.andOperator,
                  e.selected, e.separator, e.iterationTechnique, e.resultId, e.resultsPerPage,
                  e.searchTextId, e.searchUrl, e.method, e.name, e.parameters, e.searchedFileTypes,
                  e.autoAddFileTypes, e.skippedDomains, e.skippedUrls, e.cookieUrls, e.web);
}

}  // namespace

Status CheckPaging(const EngineDefinition& engine) {
  if (engine.isPlugin || engine.resultsPerPage > 0) return Status::Ok();
  if (engine.iterationTechnique < RESULT_PLUS_0 || engine.iterationTechnique > RELATIVE_1) {
    return Status::Ok();
  }
  return Status::InvalidArgument("Engine \"" + engine.name + "\": \"Default No. of Results\" is " +
                                 std::to_string(engine.resultsPerPage) + "; the technique \"" +
                                 IterationTechniqueLabel(engine.iterationTechnique) +
                                 "\" needs a number above 0.");
}

const char* IterationTechniqueLabel(int technique) {
  switch (technique) {
    case RESULT_PLUS_0:
      return "Result + 0";
    case RESULT_PLUS_1:
      return "Result + 1";
    case RELATIVE_0:
      return "0 Relative(Loop)";
    case RELATIVE_1:
      return "1 Relative(Loop)";
    case AUTO_1:
      return "Auto 1";
    case AUTO_2:
      return "Auto 2";
    default:
      return "Unknown";
  }
}

bool EngineDefinition::operator==(const EngineDefinition& other) const {
  return StoredFields(*this) == StoredFields(other);
}

}  // namespace trovelane
