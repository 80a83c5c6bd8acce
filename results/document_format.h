// The bytes of a results document (".qmk"). The writer always writes version
// 25; the reader also takes versions 22 and 20. docs/results_document.md
// draws the layout.
#pragma once

#include <string>
#include <string_view>

#include "results/results_store.h"

namespace trovelane {

inline constexpr std::string_view kSignatureVersion25 = "Trovelan025";
inline constexpr std::string_view kSignatureVersion22 = "Quivmark022";
inline constexpr std::string_view kSignatureVersion20 = "Quivmark020";

// Shown when a file cannot be read as a results document; %s is the file name.
inline constexpr const char* kInvalidDocumentMessage =
    "%s does not appear to be a valid t r o v e l a n e 3.0 search results file !";

// The whole store in version 25: signature, search text, sort mode, count,
// then the records in store (display) order.
std::string WriteResultsDocument(const ResultsStore& store);

struct ReadReport {
  bool valid = false;  // false: unknown signature, or the data ended or broke inside a field
  int version = 0;     // 25, 22 or 20; 0 for an unknown signature
  std::string error;   // what broke, when not valid
};

// Reads a document into `store` (which the caller has reset), record by record
// through AppendResult. Whatever was read before an error stays in the store.
ReadReport ReadResultsDocument(std::string_view bytes, ResultsStore& store);

}  // namespace trovelane
