// Reading the values of a result page's form fields into an engine's
// parameters, for the engines that page by what the previous page offers.
#pragma once

#include <cstddef>
#include <string_view>

#include "engines/engine_definition.h"

namespace trovelane {

// Longest NAME and VALUE of a form field taken, in bytes. A field with a
// longer one is skipped: a cut value would send the engine a token it never
// gave out.
inline constexpr std::size_t kMaxFormFieldLength = 1023;

// Clears `found` of every parameter, then, for every INPUT tag of the page
// (whatever form it belongs to), gives each parameter whose name equals the
// field's NAME (any case) the field's VALUE (possibly empty) as currentValue
// and sets found. A later field of the same name wins. The attributes of a
// tag are read up to the first one without "=" or the end of the tag.
void HarvestFormValues(EngineDefinition& engine, std::string_view page);

}  // namespace trovelane
