// "Save as HTML": the results as a web page - a fixed banner, a three-column
// table with one row per record in store order, and a fixed footer. Lines end
// in CR LF. Every value put into the page is HTML-escaped, so a hostile
// result title cannot run script in it, and only http, https and ftp URLs
// are written as links: any other URL (javascript:, data:, file:) is kept as
// the title of a plain span.
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"
#include "results/results_store.h"

namespace trovelane {

// The web address in the page footer.
inline constexpr const char* kProductWebAddress = "http://www.trovelane.example";

// Replaces & < > and " by their character references.
std::string EscapeHtml(std::string_view text);

// The relevance column: "7%" for a score above 0, "n/a" otherwise.
std::string RelevanceText(int16_t relevance);

// The whole page.
std::string RenderResultsHtml(const ResultsStore& store);

// Writes the page to `path`, replacing any old file atomically; the store is
// not changed. On failure kIoError, with the message "Error while opening
// file <path>" and the reason the save gave as detail.
Status ExportResultsHtml(const ResultsStore& store, const std::string& path);

}  // namespace trovelane
