#include "engines/form_values.h"

#include <string>

#include "engines/html_scan.h"

namespace trovelane {

void HarvestFormValues(EngineDefinition& engine, std::string_view page) {
  for (EngineParameter& parameter : engine.parameters) parameter.found = 0;

  // A page of "<INPUT" tags that never end asks for the same far stop from
  // each of them; the memo answers those in one pass.
  PageScanMemo memo(page);
  std::size_t pos = 0;
  while (pos < page.size()) {
    const std::size_t tag = page[pos] == '<' ? IsInputTag(page.substr(pos)) : 0;
    if (tag == 0) {
      ++pos;
      continue;
    }
    std::string_view fieldName;
    std::string_view fieldValue;
    std::size_t end = pos + tag;
    AnyTagAttribute(
        page, end,
        [&](std::string_view name, std::string_view value) {
          if (EqualsNoCase(name, "NAME")) fieldName = value;
          if (EqualsNoCase(name, "VALUE")) fieldValue = value;
          return false;
        },
        &end, &memo);
    pos = end;
    if (fieldName.empty() || fieldName.size() > kMaxFormFieldLength ||
        fieldValue.size() > kMaxFormFieldLength) {
      continue;
    }
    for (EngineParameter& parameter : engine.parameters) {
      if (EqualsNoCase(parameter.name, fieldName)) {
        parameter.currentValue.assign(fieldValue);
        parameter.found = 1;
      }
    }
  }
}

}  // namespace trovelane
