// Sub-commands over saved results documents: open (list), export, convert.
#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/text_output.h"
#include "results/html_export.h"
#include "results/results_document.h"
#include "search/watch.h"

namespace trovelane::cli {
namespace {

constexpr int kExitFailed = 1;   // a file could not be read or written
constexpr int kExitInvalid = 2;  // the input is not a valid results document

constexpr const char* kColumnNames[] = {"Result Text", "Search Engine", "Relevance", "Result URL"};

// The message, then the reason in brackets when there is one.
void Report(const std::string& message, const std::string& detail) {
  std::cerr << "trovelane-cli: " << message;
  if (!detail.empty()) std::cerr << " (" << detail << ")";
  std::cerr << "\n";
}

// Opens `path`; a file that cannot be read ends the command.
DocumentOpen OpenOrFail(CQuivmarkDoc& doc, const std::string& path) {
  DocumentOpen open = doc.OnOpenDocument(path);
  if (!open.status.ok()) Report(open.UserMessage(), open.status.detail());
  if (!open.opened()) throw CLI::RuntimeError(kExitFailed);
  return open;
}

// Converting or exporting half a document would pass a damaged file off as
// whole, so those commands stop at an invalid input.
void OpenValidOrFail(CQuivmarkDoc& doc, const std::string& path) {
  if (!OpenOrFail(doc, path).status.ok()) throw CLI::RuntimeError(kExitInvalid);
}

std::string SortText(const ResultsStore& store) {
  SortState s = store.GetSortState();
  if (s.column < 0) return "not sorted";
  if (s.column >= kColumnCount) return "mode " + std::to_string(store.sortMode());
  return std::string(kColumnNames[s.column]) + (s.direction == 0 ? ", ascending" : ", descending");
}

std::string ValidationText(uint16_t state) {
  switch (state) {
    case kNotValidated:
      return "not validated";
    case kValidatedReachable:
      return "reachable";
    case kValidatedUnreachable:
      return "not reachable";
    default:
      return std::to_string(state);
  }
}

void PrintTable(const ResultsStore& store) {
  std::cout << "Search text: " << OneLine(store.searchText()) << "\n"
            << "Sort: " << SortText(store) << "\n"
            << "Results: " << store.count() << "\n";
  if (store.count() == 0) return;

  std::vector<std::vector<std::string>> rows = {
      {"#", "Rel", "Opened", "Validation", "Search Engine", "Result Text", "Result URL"}};
  int index = 0;
  for (const ResultRecord& r : store.records()) {
    rows.push_back({std::to_string(++index), RelevanceText(r.relevance),
                    r.opened ? (r.opened == 1 ? "yes" : std::to_string(r.opened)) : "no",
                    ValidationText(r.validationState), OneLine(r.engineName()), OneLine(r.text()),
                    OneLine(r.url())});
  }
  std::cout << "\n";
  PrintTextTable(rows, std::cout);
}

void PrintTsv(const ResultsStore& store) {
  std::cout << "# searchText\t" << TsvField(store.searchText()) << "\n"
            << "# sortMode\t" << store.sortMode() << "\n"
            << "index\turl\ttext\tengineName\topened\tvalidationState\trelevance\n";
  int index = 0;
  for (const ResultRecord& r : store.records()) {
    std::cout << ++index << "\t" << TsvField(r.url()) << "\t" << TsvField(r.text()) << "\t"
              << TsvField(r.engineName()) << "\t" << r.opened << "\t" << r.validationState << "\t"
              << r.relevance << "\n";
  }
}

void PrintJson(const ResultsStore& store, const DocumentOpen& open) {
  nlohmann::ordered_json doc;
  doc["searchText"] = store.searchText();
  doc["sortMode"] = store.sortMode();
  SortState s = store.GetSortState();
  doc["sortColumn"] = s.column;
  doc["sortDirection"] = s.direction;
  if (!open.status.ok()) doc["warning"] = open.UserMessage();
  if (const auto& watched = store.watchedSearch()) {
    doc["watch"] = {{"engines", watched->engines}, {"lastWatch", watched->lastWatch}};
  }
  nlohmann::ordered_json results = nlohmann::ordered_json::array();
  for (const ResultRecord& r : store.records()) {
    nlohmann::ordered_json result = {{"url", JsonUrl(r.url())},
                                     {"text", r.text()},
                                     {"engineName", r.engineName()},
                                     {"opened", r.opened},
                                     {"validationState", r.validationState},
                                     {"relevance", r.relevance}};
    // What the last watch found of it, in a watched document.
    if (store.watchedSearch() && r.watch()) {
      result["watch"] = {{"state", WatchStateName(r.watch()->state)},
                         {"firstSeen", r.watch()->firstSeen},
                         {"lastSeen", r.watch()->lastSeen},
                         {"lastChecked", r.watch()->lastChecked}};
    }
    results.push_back(std::move(result));
  }
  doc["results"] = std::move(results);
  // Stored text is 8-bit and need not be UTF-8: in texts, bytes that are not
  // become U+FFFD; URLs have them percent-encoded (JsonUrl).
  std::cout << doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

}  // namespace

void AddDocumentCommands(CLI::App& app, GlobalOptions& /*global*/) {
  struct Options {
    std::string input;
    std::string output;
    std::string format = "table";
    int version = 0;
  };
  auto options = std::make_shared<Options>();

  CLI::App* open = app.add_subcommand("open", "List a saved results document (.qmk)");
  open->add_option("file", options->input, "Results document")->required();
  open->add_option("--format", options->format, "Output format")
      ->check(CLI::IsMember({"table", "tsv", "json"}))
      ->capture_default_str();
  open->callback([options] {
    CQuivmarkDoc doc;
    DocumentOpen opened = OpenOrFail(doc, options->input);
    if (options->format == "json") {
      PrintJson(doc.results(), opened);
    } else if (options->format == "tsv") {
      PrintTsv(doc.results());
    } else {
      PrintTable(doc.results());
    }
    if (!opened.status.ok()) throw CLI::RuntimeError(kExitInvalid);
  });

  CLI::App* exportCmd = app.add_subcommand("export", "Write a results document as a web page");
  exportCmd->add_option("file", options->input, "Results document")->required();
  exportCmd->add_option("--html", options->output, "The web page to write")->required();
  exportCmd->callback([options] {
    CQuivmarkDoc doc;
    OpenValidOrFail(doc, options->input);
    Status status = ExportResultsHtml(doc.results(), options->output);
    if (!status.ok()) {
      Report(status.message(), status.detail());
      throw CLI::RuntimeError(kExitFailed);
    }
  });

  CLI::App* convert =
      app.add_subcommand("convert", "Rewrite a results document of any version as the current one");
  convert->add_option("input", options->input, "Results document to read")->required();
  convert->add_option("output", options->output, "Results document to write")->required();
  convert
      ->add_option("--version", options->version,
                   "25 writes a watched document for older readers, without its watch data "
                   "(by default a watched document stays version 26)")
      ->check(CLI::IsMember({25, 26}));
  convert->callback([options] {
    CQuivmarkDoc doc;
    OpenValidOrFail(doc, options->input);
    if (options->version == 25) doc.results().SetWatchedSearch(std::nullopt);
    Status status = doc.OnSaveDocument(options->output);
    if (!status.ok()) {
      Report(status.message(), status.detail());
      throw CLI::RuntimeError(kExitFailed);
    }
  });
}

}  // namespace trovelane::cli
