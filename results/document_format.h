// The bytes of a results document (".qmk"). The writer writes version 25, or
// version 26 for a document that has been watched; the reader also takes
// versions 22 and 20. docs/results_document.md draws the layout.
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"
#include "results/results_store.h"

namespace trovelane {

inline constexpr std::string_view kSignatureVersion26 = "Trovelan026";
inline constexpr std::string_view kSignatureVersion25 = "Trovelan025";
inline constexpr std::string_view kSignatureVersion22 = "Quivmark022";
inline constexpr std::string_view kSignatureVersion20 = "Quivmark020";

// Shown when a file cannot be read as a results document; %s is the file name.
inline constexpr const char* kInvalidDocumentMessage =
    "%s does not appear to be a valid t r o v e l a n e 3.0 search results file !";

// The whole store: signature, search text, sort mode, (version 26: the
// watched search,) count, then the records in store (display) order. Version
// 26 when the store has a watched search, else 25, whatever watch data the
// records hold.
std::string WriteResultsDocument(const ResultsStore& store);

// Reads a document into `store` (which the caller has reset), record by record
// through AppendResult. Whatever was read before an error stays in the store.
// kCorruption, saying what broke, for an unknown signature or data that ended
// or broke inside a field. `version` (if given) is set to 26, 25, 22 or 20, or 0
// for an unknown signature.
Status ReadResultsDocument(std::string_view bytes, ResultsStore& store, int* version = nullptr);

}  // namespace trovelane
