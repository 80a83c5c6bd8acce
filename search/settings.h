// The program-wide option records: proxy and connection (net/connection_settings.h),
// search options and result-list look, stored together in "qmknet.dat"
// (app/settings_file.h), and the program's own options. A search run takes a
// copy of NetworkSettings at each start; what each field does is decided by
// the code that reads it.
//
// Fields keep the raw 32-bit values of the file, so that a file from another
// layout loads as it stands; the named constants below give their meaning.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "net/connection_settings.h"

namespace trovelane {

// Values of SearchOptions::validationMode.
enum ValidationMode : int32_t {
  kValidationNone = 0,    // "No validation and relevancy check (Fast)"
  kValidationVal = 1,     // "Validation only."
  kValidationValRel = 2,  // "Validation with relevancy checking."
  kValidationAuto = 3,    // "Auto (Recommended)"
};

// Values of SearchOptions::duplicateMode.
enum DuplicateMode : int32_t {
  kDuplicateUrl = 0,    // "Remove duplicate URL's"
  kDuplicateTitle = 1,  // "Remove duplicate Title's"
  kDuplicateNone = 2,   // "None"
};

// Indexes into SearchOptions::weights.
enum RelevanceWeight : int {
  kWeightTitle = 0,
  kWeightHeading1,
  kWeightHeading2,
  kWeightHeading3,
  kWeightHeading4,
  kWeightFontSize6,
  kWeightFontSize3,
  kWeightNone,
  kWeightCount
};

struct SearchOptions {
  int32_t maxResults = 0;
  uint8_t perEngine = 0;  // 0 = "from all engines.", 1 = "per engine."
  int32_t validationMode = kValidationNone;
  int32_t defaultOperator = 0;  // greater than 0 means OR, else AND
  int32_t duplicateMode = kDuplicateUrl;
  int32_t minRelevancy = 0;  // percent
  std::array<int16_t, kWeightCount> weights{};
  int16_t maxRelevance = 0;  // weights[0] plus the largest of weights[1..7]
  // The three padding bytes after perEngine and the two after maxRelevance,
  // kept so that a loaded file is written back byte for byte.
  std::array<uint8_t, 3> padding1{};
  std::array<uint8_t, 2> padding2{};
};

// A saved result limit of 0 (what a new install has) would let no result
// through: a search then takes kDefaultMaxResults, in every front end.
inline constexpr int32_t kDefaultMaxResults = 100;
inline int32_t EffectiveMaxResults(int32_t saved) { return saved > 0 ? saved : kDefaultMaxResults; }

struct ViewOptions {
  int32_t fullRowSelect = 0;  // "Full Row Selection"
  int32_t gridLines = 0;      // "Show Grid Lines"
  int32_t toolTips = 0;       // "Tool Tips"
};

// Everything the program keeps for the whole run: the three stored records,
// readChunkSize, derived from the connection speed once at start-up, and the
// program's own options.
struct NetworkSettings {
  ProxySettings proxy;
  SearchOptions search;
  ViewOptions view;
  int32_t readChunkSize = 3600;
  ProgramOptions program;
};

}  // namespace trovelane
