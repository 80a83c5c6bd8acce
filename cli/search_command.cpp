// trovelane-cli search [options] EXPRESSION: one meta-search over the engines
// of the current (or a given) profile, results printed as they arrive.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/program_options_file.h"
#include "app/suspension_file.h"
#include "cli/commands.h"
#include "cli/interrupt_guard.h"
#include "cli/program.h"
#include "cli/text_output.h"
#include "engines/profile.h"
#include "platform/ascii.h"
#include "results/html_export.h"
#include "results/results_document.h"
#include "search/rank_order.h"
#include "search/search_run.h"
#include "search/search_status.h"

namespace trovelane::cli {
namespace {

// Exit codes of the command (also in its --help and the README).
constexpr int kExitDone = 0;           // the search ran to its end
constexpr int kExitFailed = 1;         // a profile or output file failed, or no engine is selected
constexpr int kExitBadUsage = 2;       // an invalid expression or option
constexpr int kExitTimedOut = 3;       // --timeout stopped the search; what was found is written
constexpr int kExitUnreachable = 4;    // no engine could be reached (none gave an HTTP answer)
constexpr int kExitInterrupted = 130;  // Ctrl-C stopped the search; what was found is written

constexpr const char* kExitCodesHelp =
    "Exit codes: 0 the search ran to its end; 1 the profile or an output file (standard output "
    "too) could not be used, "
    "or no engine is selected; 2 an invalid expression or option value; 3 stopped by --timeout; "
    "4 no engine could be reached (none gave an HTTP answer, or every one is suspended); "
    "130 stopped by Ctrl-C. After 3, 4 and 130 the results found so far are still written.";

struct SearchCommandOptions {
  std::vector<std::string> words;
  std::string profile;
  std::vector<std::string> engines;
  int max = -1;
  bool perEngine = false;
  std::string validate;
  int minRelevance = -1;
  std::string op;
  std::string dedupe;
  std::string format = "table";
  std::string output;
  double timeout = 0;
  bool progress = false;
  std::vector<std::string> resolve;
  std::string order = "arrival";
  bool ignoreSuspension = false;
  std::vector<std::string> hideDomains;
  std::vector<std::string> domainFactors;
};

int Pick(const std::string& value, std::initializer_list<const char*> names) {
  int index = 0;
  for (const char* name : names) {
    if (value == name) return index;
    ++index;
  }
  return -1;
}

// Prints each result as it arrives (table, TSV, JSON lines) and keeps them
// all in a results document for html and qmk.
class CliSearchEvents : public SearchEvents {
 public:
  // How engine status texts reach standard error.
  enum class Progress {
    kNone,
    kLine,  // a terminal: one line, rewritten in place
    kAll,   // --progress: every text on its own line
  };

  CliSearchEvents(const SearchCommandOptions& options, const EngineCatalogue& catalogue,
                  std::ostream& out, Progress progress)
      : options_(options), catalogue_(catalogue), out_(out), progress_(progress) {
    for (const EngineDefinition& e : catalogue.engines) {
      if (e.selected) engineWidth_ = std::max(engineWidth_, e.name.size());
    }
  }

  // Owner thread.
  bool OnNewDocument() override { return doc_.OnNewDocument(); }
  // Owner thread.
  void OnSearchHistory(const std::string& text) override { doc_.results().SetSearchText(text); }
  // Owner thread.
  void OnDocumentTitle(const std::string& title) override { doc_.SetTitle(title); }

  // Owner thread, while the worker waits.
  void OnResult(const ResultHandoff& r) override {
    doc_.results().AppendResult(r.url, r.title, r.engineName, 0,
                                r.validated ? kValidatedReachable : kNotValidated,
                                static_cast<int16_t>(std::clamp(r.relevance, -1, 100)));
    results_.push_back(r);
    // Table and TSV lines go out as the results arrive; JSON (which lists
    // every engine that found a result) and the rank order wait for the end.
    if (options_.order == "arrival" && (options_.format == "table" || options_.format == "tsv")) {
      ClearStatusLine();
      WriteLine(results_.size() - 1);
      out_.flush();
    }
  }

  // Owner thread, after the search: the listing that waited for the end,
  // in arrival or rank order.
  void WriteListing(const SearchRun& run, const ProgramOptions& program) {
    const auto& finders = run.resultFinders();
    std::vector<size_t> order;
    const RankRules rules = RankRulesFor(catalogue_.engines, program);
    std::vector<std::string> urls;
    for (const ResultHandoff& r : results_) urls.push_back(r.url);
    if (options_.order == "rank" && finders.size() == results_.size()) {
      order = RankOrder(finders, rules, urls);
    } else {
      for (size_t i = 0; i < results_.size(); ++i) order.push_back(i);
    }
    const bool streamed =
        options_.order == "arrival" && (options_.format == "table" || options_.format == "tsv");
    if (options_.format == "json") {
      for (size_t i : order) {
        const ResultHandoff& r = results_[i];
        nlohmann::ordered_json engines = nlohmann::ordered_json::array();
        if (i < finders.size()) {
          for (const ResultFinder& f : finders[i]) {
            engines.push_back({{"name", EngineName(f.engineIndex, r)}, {"position", f.position}});
          }
        }
        nlohmann::ordered_json line = {{"index", i + 1},
                                       {"url", JsonUrl(r.url)},
                                       {"text", r.title},
                                       {"engineName", r.engineName},
                                       {"validated", r.validated},
                                       {"relevance", r.relevance},
                                       {"engines", std::move(engines)}};
        if (options_.order == "rank" && i < finders.size()) {
          line["score"] = RankScore(finders[i], rules, r.url);
        }
        out_ << Dump(line) << "\n";
      }
      for (const EngineReport& report : run.engineReports()) {
        if (report.ending == EngineEnding::kNotRun) continue;
        nlohmann::ordered_json line = {{"engine", report.engineName},
                                       {"results", report.results},
                                       {"pages", report.pages},
                                       {"ending", EndingKey(report.ending)},
                                       {"endingText", EndingText(report)},
                                       {"httpStatus", report.httpStatus},
                                       {"reached", report.reached}};
        if (report.block != BlockKind::kNone) {
          line["block"] = BlockLabel(report.block, report.blockStatus);
        }
        if (report.suspendedUntil) {
          line["suspendedUntil"] = std::chrono::duration_cast<std::chrono::seconds>(
                                       report.suspendedUntil->time_since_epoch())
                                       .count();
        }
        out_ << Dump(line) << "\n";
      }
    } else if (!streamed && (options_.format == "table" || options_.format == "tsv")) {
      for (size_t i : order) WriteLine(i, ++written_);
    }
    out_.flush();
  }

  // Owner thread.
  void OnSuspensionsChanged() override {
    if (onSuspensionsChanged) onSuspensionsChanged();
  }
  std::function<void()> onSuspensionsChanged;

  // Owner thread.
  void OnEngineRow(int engineIndex, const std::string& text) override {
    if (progress_ == Progress::kNone || engineIndex < 0 ||
        static_cast<size_t>(engineIndex) >= catalogue_.engines.size()) {
      return;
    }
    std::string line = OneLine("[" + catalogue_.engines[engineIndex].name + "] " + text);
    if (progress_ == Progress::kAll) {
      std::cerr << line << "\n";
    } else {
      if (line.size() > 78) line.resize(78);
      std::cerr << "\r\033[K" << line << std::flush;
      statusShown_ = true;
    }
  }

  // Owner thread: the terminal's status line goes before anything else is
  // printed.
  void ClearStatusLine() {
    if (!statusShown_) return;
    std::cerr << "\r\033[K" << std::flush;
    statusShown_ = false;
  }

  CQuivmarkDoc& document() { return doc_; }

 private:
  static std::string Pad(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
  }

  static std::string Dump(const nlohmann::ordered_json& json) {
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }

  std::string EngineName(int engineIndex, const ResultHandoff& r) const {
    // A plug-in names its results' engine itself; the one that handed the
    // result over is named as it did.
    if (engineIndex == r.engineIndex) return r.engineName;
    if (engineIndex >= 0 && static_cast<size_t>(engineIndex) < catalogue_.engines.size()) {
      return catalogue_.engines[engineIndex].name;
    }
    return {};
  }

  // One table or TSV line of result `i`, numbered `number` (its arrival
  // number when 0), with the heading before the first.
  void WriteLine(size_t i, int number = 0) {
    const ResultHandoff& r = results_[i];
    const int index = number > 0 ? number : static_cast<int>(i) + 1;
    const bool first = headed_ == false;
    headed_ = true;
    if (options_.format == "table") {
      if (first) {
        out_ << Pad("#", 4) << "  " << Pad("Rel", 4) << "  " << Pad("Search Engine", engineWidth_)
             << "  "
             << "Result Text | Result URL\n";
      }
      out_ << Pad(std::to_string(index), 4) << "  "
           << Pad(r.relevance >= 0 ? std::to_string(r.relevance) + "%" : "n/a", 4) << "  "
           << Pad(OneLine(r.engineName), engineWidth_) << "  " << OneLine(r.title) << " | "
           << OneLine(r.url) << "\n";
    } else if (options_.format == "tsv") {
      if (first) out_ << "index\turl\ttext\tengineName\tvalidated\trelevance\n";
      out_ << index << "\t" << TsvField(r.url) << "\t" << TsvField(r.title) << "\t"
           << TsvField(r.engineName) << "\t" << r.validated << "\t" << r.relevance << "\n";
    }
  }

  const SearchCommandOptions& options_;
  const EngineCatalogue& catalogue_;
  std::ostream& out_;
  const Progress progress_;
  bool statusShown_ = false;
  size_t engineWidth_ = 13;  // "Search Engine"
  CQuivmarkDoc doc_;
  std::vector<ResultHandoff> results_;  // in arrival order
  bool headed_ = false;
  int written_ = 0;
};

[[noreturn]] void UsageError(const std::string& message) { Fail(message, kExitBadUsage); }

// Applies the options that override the saved settings for this run only.
void ApplyOverrides(const SearchCommandOptions& o, NetworkSettings& settings) {
  SearchOptions& s = settings.search;
  s.maxResults = o.max >= 0 ? o.max : EffectiveMaxResults(s.maxResults);
  if (o.perEngine) s.perEngine = 1;
  if (!o.validate.empty()) s.validationMode = Pick(o.validate, {"none", "val", "rel", "auto"});
  if (o.minRelevance >= 0) s.minRelevancy = o.minRelevance;
  if (!o.op.empty()) s.defaultOperator = Pick(o.op, {"and", "or"});
  if (!o.dedupe.empty()) s.duplicateMode = Pick(o.dedupe, {"url", "title", "none"});
  // The domain rules of the options come on top of the saved ones; a
  // factor given here wins over a saved one for the same domain.
  ProgramOptions& program = settings.program;
  for (const std::string& text : o.hideDomains) {
    std::vector<std::string> domains;
    if (Status parsed = ParseDomainList(text, &domains); !parsed.ok()) {
      UsageError("--hide-domain: " + parsed.message() + ".");
    }
    program.hiddenDomains.insert(program.hiddenDomains.end(), domains.begin(), domains.end());
  }
  for (const std::string& text : o.domainFactors) {
    std::vector<DomainFactor> factors;
    if (Status parsed = ParseDomainFactors(text, &factors); !parsed.ok()) {
      UsageError("--domain-factor: " + parsed.message() + ".");
    }
    for (const DomainFactor& f : factors) {
      std::erase_if(program.domainFactors,
                    [&](const DomainFactor& old) { return EqualsNoCase(old.domain, f.domain); });
      program.domainFactors.push_back(f);
    }
  }
}

void SelectEngines(const std::vector<std::string>& names, EngineCatalogue& catalogue,
                   const std::vector<std::filesystem::path>& pluginFolders) {
  if (names.empty()) return;
  std::vector<bool> chosen(catalogue.engines.size(), false);
  for (const std::string& name : names) chosen[FindEngine(catalogue, name, pluginFolders)] = true;
  for (size_t i = 0; i < chosen.size(); ++i) catalogue.engines[i].selected = chosen[i] ? 1 : 0;
}

// Option values are checked here, so that every wrong one ends with the
// command's own usage code.
void CheckOptions(const SearchCommandOptions& o) {
  auto check = [](const std::string& option, const std::string& value,
                  std::initializer_list<const char*> names) {
    if (!value.empty() && Pick(value, names) < 0) {
      std::string list;
      for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
      UsageError(option + " takes one of " + list + ", not \"" + value + "\".");
    }
  };
  check("--validate", o.validate, {"none", "val", "rel", "auto"});
  check("--operator", o.op, {"and", "or"});
  check("--dedupe", o.dedupe, {"url", "title", "none"});
  check("--format", o.format, {"table", "tsv", "json", "html", "qmk"});
  check("--order", o.order, {"arrival", "rank"});
  if (o.max < -1) UsageError("--max takes a number of 0 or more.");
  if (o.minRelevance < -1 || o.minRelevance > 100) {
    UsageError("--min-relevance takes a percentage from 0 to 100.");
  }
  if (o.timeout < 0) UsageError("--timeout takes a number of seconds of 0 or more.");
  if (o.format == "qmk" && o.output.empty()) UsageError("--format qmk needs -o FILE.");
}

int RunSearch(const GlobalOptions& global, const SearchCommandOptions& o) {
  CheckOptions(o);
  ProgramState state = OpenProgram(global);
  if (!o.profile.empty()) {
    state.catalogue = EngineCatalogue{};
    if (!LoadProfile(o.profile, state.catalogue).ok()) {
      Fail("Cannot read the profile " + o.profile + ".", kExitFailed);
    }
  }
  SelectEngines(o.engines, state.catalogue, state.home.PluginFolders());
  if (std::none_of(state.catalogue.engines.begin(), state.catalogue.engines.end(),
                   [](const EngineDefinition& e) { return e.selected; })) {
    Fail("No engine of the profile is selected.", kExitFailed);
  }
  ApplyOverrides(o, state.settings);
  ApplyResolveOptions(o.resolve, state.settings.program);

  std::string text;
  for (const std::string& word : o.words) text += (text.empty() ? "" : " ") + word;

  // Streamed formats go to standard output as they arrive; with -o they are
  // collected and the file is written whole at the end.
  std::ostringstream collected;
  const bool streamToFile = !o.output.empty();
  std::ostream& out = streamToFile ? static_cast<std::ostream&>(collected) : std::cout;
  using Progress = CliSearchEvents::Progress;
  const Progress progress = o.progress              ? Progress::kAll
                            : isatty(STDERR_FILENO) ? Progress::kLine
                                                    : Progress::kNone;
  CliSearchEvents events(o, state.catalogue, out, progress);
  const std::string suspensionFile = state.SuspensionFile();
  events.onSuspensionsChanged = [&] {
    Status saved = SaveSuspensions(suspensionFile, state.suspensions, WallClock::now());
    if (!saved.ok()) std::cerr << saved.message() << "\n";
  };
  SearchRun run(state.settings, state.catalogue, state.home.root(), events);
  run.SetSuspensions(&state.suspensions, o.ignoreSuspension);

  switch (run.StartSearch(text)) {
    case StartOutcome::kStarted:
      break;
    case StartOutcome::kInvalidExpression:
      UsageError(kInvalidExpression);
    case StartOutcome::kNothingToSearch:
      UsageError(kNothingToSearch);
    case StartOutcome::kStartFailed:
      Fail(run.startError(), kExitFailed);
    default:
      Fail("The search did not start.", kExitFailed);
  }

  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration<double>(o.timeout);
  bool timedOut = false;
  bool interrupted = false;
  {
    // Ctrl-C stops the search; the results found so far are still written.
    InterruptGuard interrupt;
    run.ServeUntilDone(std::chrono::hours(24 * 365), [&] {
      if (InterruptGuard::Interrupted()) return true;
      if (o.timeout > 0 && std::chrono::steady_clock::now() - start >= limit) timedOut = true;
      return timedOut;
    });
    interrupted = InterruptGuard::Interrupted();
  }

  const ResultsStore& store = events.document().results();
  events.ClearStatusLine();
  events.WriteListing(run, state.settings.program);
  // The table ends with the count, as the status bar shows it; the other
  // formats leave it to standard error.
  if (o.format == "table") {
    out << (store.count() > 0 ? "\n" : "") << FormatResultsFound(store.count()) << "\n";
  } else if (progress != Progress::kNone) {
    std::cerr << FormatResultsFound(store.count()) << "\n";
  }
  if (o.format == "html") {
    if (streamToFile) {
      Status written = ExportResultsHtml(store, o.output);
      if (!written.ok()) Fail(written.message(), kExitFailed);
    } else {
      std::cout << RenderResultsHtml(store);
    }
  } else if (o.format == "qmk") {
    Status saved = events.document().OnSaveDocument(o.output);
    if (!saved.ok()) Fail(saved.message(), kExitFailed);
  } else if (streamToFile) {
    Status saved = WriteOutputFile(o.output, collected.str());
    if (!saved.ok()) Fail(saved.message(), kExitFailed);
  }
  // What became of each engine, on standard error, whatever the format.
  bool anyReached = false;
  for (const EngineReport& report : run.engineReports()) {
    if (report.ending == EngineEnding::kNotRun) continue;
    std::cerr << "[" << OneLine(report.engineName) << "] " << OneLine(EngineSummary(report))
              << "\n";
    anyReached = anyReached || report.reached || report.results > 0;
  }
  // A reader that went away (or a full disk) must not look like a search
  // that printed all it found.
  if (!streamToFile && !std::cout.flush()) {
    Fail("Cannot write the results to standard output.", kExitFailed);
  }
  if (interrupted) return kExitInterrupted;
  if (timedOut) return kExitTimedOut;
  if (!anyReached) return kExitUnreachable;
  return kExitDone;
}

}  // namespace

void AddSearchCommands(CLI::App& app, GlobalOptions& global) {
  auto o = std::make_shared<SearchCommandOptions>();
  CLI::App* search = app.add_subcommand(
      "search", "Search every selected engine of the profile at once and print the merged results");
  search->footer(kExitCodesHelp);
  search->add_option("expression", o->words, "The search expression (words may be separate)")
      ->required();
  search->add_option("--profile", o->profile,
                     "Search this profile file instead of the current one");
  // One value per --engine, so that the expression after it stays the expression.
  search->add_option("--engine", o->engines, "Search only this engine (name or index; repeatable)")
      ->allow_extra_args(false);
  search->add_option("--max", o->max, "Result limit (saved setting; 100 when that is 0)");
  search->add_flag("--per-engine", o->perEngine,
                   "Count the limit per engine, not from all engines");
  search->add_option("--validate", o->validate,
                     "Validation of each result page: none, val, rel (with relevance) or auto");
  search->add_option("--min-relevance", o->minRelevance, "Minimum relevance in percent (rel)");
  search->add_option("--operator", o->op, "Operator put between blank-separated terms: and, or");
  search->add_option("--dedupe", o->dedupe, "Which duplicates are removed: url, title or none");
  search->add_option("--format", o->format, "Output format: table, tsv, json, html or qmk")
      ->capture_default_str();
  search->add_option("-o,--output", o->output, "Write the results to FILE");
  search->add_option("--timeout", o->timeout, "Stop the search after SECONDS");
  search->add_flag("--progress", o->progress,
                   "Engine status lines on standard error (the default on a terminal)");
  AddResolveOption(search, o->resolve);
  search
      ->add_option("--order", o->order,
                   "Order of the listing: arrival, or rank (found by more engines, earlier "
                   "and by heavier engines first; see --domain-factor); a results document "
                   "keeps arrival order")
      ->capture_default_str();
  search
      ->add_option("--hide-domain", o->hideDomains,
                   "Never list results on DOMAIN or below it (repeatable; on top of the "
                   "rank.hide setting)")
      ->allow_extra_args(false);
  search
      ->add_option("--domain-factor", o->domainFactors,
                   "DOMAIN=FACTOR: multiply the rank score of results on DOMAIN (repeatable; "
                   "over the rank.domains setting)")
      ->allow_extra_args(false);
  search->add_flag("--ignore-suspension", o->ignoreSuspension,
                   "Search engines suspended after a block too");
  search->callback([&global, o] {
    int code = RunSearch(global, *o);
    if (code != kExitDone) throw CLI::RuntimeError(code);
  });
}

}  // namespace trovelane::cli
