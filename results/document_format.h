// The bytes of a results document (".qmk"). The writer always writes version
// 25; the reader also takes versions 22 and 20. docs/results_document.md
// draws the layout.
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"
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

// Reads a document into `store` (which the caller has reset), record by record
// through AppendResult. Whatever was read before an error stays in the store.
// kCorruption, saying what broke, for an unknown signature or data that ended
// or broke inside a field. `version` (if given) is set to 25, 22 or 20, or 0
// for an unknown signature.
Status ReadResultsDocument(std::string_view bytes, ResultsStore& store, int* version = nullptr);

}  // namespace trovelane
