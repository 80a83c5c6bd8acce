// trovelane-cli watch FILE.qmk: the document's search again, with the
// engines and options it was made with; what is new, what dropped out of the
// results and which saved pages are gone, one line per change. New results
// are added to the document, which is saved (as version 26) in place.
//
// trovelane-cli watch --schedule daily|weekly|off FILE.qmk: a systemd user
// timer that runs the watch.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/suspension_file.h"
#include "app/watch_schedule.h"
#include "cli/commands.h"
#include "cli/interrupt_guard.h"
#include "cli/program.h"
#include "cli/text_output.h"
#include "net/http_url.h"
#include "platform/browser_launch.h"
#include "platform/command_output.h"
#include "results/atom_feed.h"
#include "results/results_document.h"
#include "search/search_run.h"
#include "search/search_status.h"
#include "search/watch.h"

namespace trovelane::cli {
namespace {

// Exit codes of the command, as search has them.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;  // a file could not be read or written, no engine, no systemd
constexpr int kExitBadUsage = 2;
constexpr int kExitTimedOut = 3;
constexpr int kExitUnreachable = 4;
constexpr int kExitInterrupted = 130;

constexpr const char* kExitCodesHelp =
    "Exit codes: 0 the search ran and the document was saved; 1 the document, the profile or "
    "the feed could not be used, no engine is selected, or there is no systemd to schedule "
    "with; 2 an invalid option or document; 3 stopped by --timeout; 4 no engine could be "
    "reached (the document is left as it was); 130 stopped by Ctrl-C. After 3 and 130 what "
    "was found is still compared and saved; results of engines that did not finish keep "
    "their state.";

struct WatchOptions {
  std::string document;
  std::string format = "table";
  std::string feed;
  std::vector<std::string> engines;
  std::string profile;
  double timeout = 0;
  std::vector<std::string> resolve;
  std::string schedule;
  bool notify = false;
};

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void PrintChanges(const WatchSummary& summary, const std::string& format) {
  if (format == "tsv") std::cout << "change\turl\ttitle\tengines\n";
  for (const WatchChange& c : summary.changes) {
    const std::string change = WatchStateName(c.change);
    if (format == "json") {
      nlohmann::ordered_json line = {
          {"change", change}, {"url", JsonUrl(c.url)}, {"title", c.title}, {"engines", c.engines}};
      std::cout << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                << "\n";
    } else if (format == "tsv") {
      std::cout << change << "\t" << TsvField(c.url) << "\t" << TsvField(c.title) << "\t"
                << TsvField(JoinNames(c.engines)) << "\n";
    } else {
      std::cout << change << std::string(8 - change.size(), ' ') << OneLine(JoinNames(c.engines))
                << "  " << OneLine(c.title) << " | " << OneLine(c.url) << "\n";
    }
  }
}

// `text` as a GVariant string literal, for gdbus.
std::string GVariantString(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out + "'";
}

// Whether `name` is a program of a folder of $PATH.
bool OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view folders = path;
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    if (!folder.empty() && ::access((std::string(folder) + "/" + name).c_str(), X_OK) == 0) {
      return true;
    }
    folders = colon == std::string_view::npos ? std::string_view{} : folders.substr(colon + 1);
  }
  return false;
}

// Shows the notification ($1 title, $2 body) with an "Open" action and waits
// for it; a click opens the document ($3) with the desktop's handler for
// results documents. A notify-send without actions shows it plainly. The
// texts reach the programs as arguments, never as shell text.
constexpr const char* kNotifyAndOpen =
    "if notify-send --help 2>/dev/null | grep -q -- --action; then\n"
    "  action=$(notify-send --app-name=trovelane --icon=trovelane --action=open=Open --wait "
    "-- \"$1\" \"$2\")\n"
    "  [ \"$action\" = open ] && exec xdg-open \"$3\"\n"
    "else\n"
    "  exec notify-send --app-name=trovelane --icon=trovelane -- \"$1\" \"$2\"\n"
    "fi\n";

// A desktop notification through the freedesktop notification service, when
// a session bus is there: notify-send, else gdbus; quietly nothing when
// neither can send it. notify-send waits for a click apart from the watch,
// which ends at once (the timer's service lets it outlive the watch).
void Notify(const std::string& document, const WatchSummary& summary) {
  if (summary.changes.empty() || !std::getenv("DBUS_SESSION_BUS_ADDRESS")) return;
  const std::string title = "trovelane: " + std::filesystem::path(document).filename().string();
  const std::string body = std::to_string(summary.added) + " new, " + std::to_string(summary.dead) +
                           " dead, " + std::to_string(summary.dropped) + " dropped";
  if (OnPath("notify-send") &&
      SpawnDetached({"/bin/sh", "-c", kNotifyAndOpen, "sh", title, body, document})) {
    return;
  }
  constexpr int kWaitMs = 10000;
  CommandOutput({"gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications",
                 "--object-path", "/org/freedesktop/Notifications", "--method",
                 "org.freedesktop.Notifications.Notify", "'trovelane'", "0", "'trovelane'",
                 GVariantString(title), GVariantString(body), "[]", "{}", "int32 -1"},
                kWaitMs)
      .has_value();
}

int RunSchedule(const GlobalOptions& global, const WatchOptions& o) {
  const std::string document = AbsolutePath(o.document);
  const std::string systemctl = FindSystemctl();
  if (systemctl.empty()) {
    Fail("systemd does not run this session: no timer can be scheduled, nothing was changed.",
         kExitFailed);
  }
  const std::string folder = UserUnitFolder();
  const SystemctlRunner runner = MakeSystemctlRunner(systemctl);
  if (o.schedule == "off") {
    Status removed = RemoveWatchSchedule(document, folder, runner);
    if (!removed.ok()) Fail(removed.message(), kExitFailed);
    std::cout << "No timer watches " << document << " now.\n";
    return kExitDone;
  }
  // The document must be one: a timer over a file that cannot be watched
  // would fail every day.
  CQuivmarkDoc doc;
  DocumentOpen open = doc.OnOpenDocument(document);
  if (!open.status.ok()) {
    Fail(open.UserMessage(), open.opened() ? kExitBadUsage : kExitFailed);
  }
  WatchSchedule schedule;
  schedule.document = document;
  std::error_code error;
  schedule.program = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (error) Fail("Cannot find this program's own file: " + error.message(), kExitFailed);
  schedule.home = global.home.empty() ? "" : AbsolutePath(global.home);
  schedule.profile = o.profile.empty() ? "" : AbsolutePath(o.profile);
  schedule.period = o.schedule;
  Status installed = InstallWatchSchedule(schedule, folder, runner);
  if (!installed.ok()) Fail(installed.message(), kExitFailed);
  std::cout << "The timer " << WatchUnitName(document) << ".timer watches " << document << " "
            << o.schedule << " (" << folder << ").\n";
  return kExitDone;
}

int RunWatch(const GlobalOptions& global, const WatchOptions& o) {
  if (o.timeout < 0) Fail("--timeout takes a number of seconds of 0 or more.", kExitBadUsage);
  if (!o.schedule.empty()) return RunSchedule(global, o);

  CQuivmarkDoc doc;
  DocumentOpen open = doc.OnOpenDocument(o.document);
  if (!open.status.ok()) {
    // A damaged document is never watched: saving it would drop what could
    // not be read.
    Fail(open.UserMessage(), open.opened() ? kExitBadUsage : kExitFailed);
  }
  ResultsStore& store = doc.results();
  if (store.searchText().empty()) {
    Fail(o.document + " holds no search text to search again.", kExitFailed);
  }
  struct stat info {};
  const int64_t documentTime = ::stat(o.document.c_str(), &info) == 0 ? info.st_mtime : 0;

  ProgramState state = OpenProgram(global);
  if (!o.profile.empty()) {
    state.catalogue = EngineCatalogue{};
    if (!LoadProfile(o.profile, state.catalogue).ok()) {
      Fail("Cannot read the profile " + o.profile + ".", kExitFailed);
    }
  }
  std::vector<std::string> missing;
  ApplyWatchedSearch(store, state.catalogue, state.settings.search, &missing);
  for (const std::string& name : missing) {
    std::cerr << "The engine \"" << OneLine(name)
              << "\" of the document is not in the profile; it is not searched.\n";
  }
  state.settings.search.maxResults = EffectiveMaxResults(state.settings.search.maxResults);
  // The document keeps the search it was watched with; its first watch
  // records the engines and options it ran with.
  const bool firstWatch = !store.watchedSearch().has_value();
  if (!o.engines.empty()) {
    std::vector<bool> chosen(state.catalogue.engines.size(), false);
    for (const std::string& name : o.engines) {
      chosen[FindEngine(state.catalogue, name, state.home.PluginFolders())] = true;
    }
    for (size_t i = 0; i < chosen.size(); ++i) state.catalogue.engines[i].selected = chosen[i];
  }
  if (std::none_of(state.catalogue.engines.begin(), state.catalogue.engines.end(),
                   [](const EngineDefinition& e) { return e.selected; })) {
    Fail("No engine of the profile is selected.", kExitFailed);
  }
  const WatchedSearch search = firstWatch
                                   ? DescribeWatchedSearch(state.catalogue, state.settings.search)
                                   : *store.watchedSearch();
  ApplyResolveOptions(o.resolve, state.settings.program);

  WatchEvents events;
  // An engine that blocks the watch stays suspended for later runs, as after a search.
  events.onSuspensionsChanged = [&state] {
    Status saved = SaveSuspensions(state.SuspensionFile(), state.suspensions, WallClock::now());
    if (!saved.ok()) std::cerr << saved.message() << "\n";
  };
  SearchRun run(state.settings, state.catalogue, state.home.root(), events);
  run.SetSuspensions(&state.suspensions);
  switch (run.StartSearch(store.searchText())) {
    case StartOutcome::kStarted:
      break;
    case StartOutcome::kInvalidExpression:
      Fail(std::string(kInvalidExpression), kExitBadUsage);
    case StartOutcome::kNothingToSearch:
      Fail(std::string(kNothingToSearch), kExitBadUsage);
    case StartOutcome::kStartFailed:
      Fail(run.startError(), kExitFailed);
    default:
      Fail("The search did not start.", kExitFailed);
  }

  // Ctrl-C stops the search, and then the page checks; what was found is
  // still compared and saved.
  CHttpURL page;  // the page checks' connection, which Ctrl-C cancels
  InterruptGuard interrupt(&page);
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration<double>(o.timeout);
  bool timedOut = false;
  run.ServeUntilDone(std::chrono::hours(24 * 365), [&] {
    if (InterruptGuard::Interrupted()) return true;
    if (o.timeout > 0 && std::chrono::steady_clock::now() - start >= limit) timedOut = true;
    return timedOut;
  });

  bool anyReached = false;
  for (const EngineReport& report : run.engineReports()) {
    if (report.ending == EngineEnding::kNotRun) continue;
    anyReached = anyReached || report.reached || report.results > 0;
  }
  auto printEngines = [&] {
    for (const EngineReport& report : run.engineReports()) {
      if (report.ending == EngineEnding::kNotRun) continue;
      std::cerr << "[" << OneLine(report.engineName) << "] " << OneLine(EngineSummary(report))
                << "\n";
    }
  };
  if (!anyReached) {
    // Nobody answered: that proves nothing about the saved results.
    printEngines();
    std::cerr << "No engine could be reached; " << o.document << " is left as it was.\n";
    return InterruptGuard::Interrupted() ? kExitInterrupted : kExitUnreachable;
  }

  WatchRun in;
  in.found = &events.found();
  in.finders = &run.resultFinders();
  in.reports = &run.engineReports();
  in.catalogue = &state.catalogue;
  in.search = search;
  in.now = NowSeconds();
  in.documentTime = documentTime;
  in.maxChecks = state.settings.program.maxWatchChecks;
  in.checkPage = [&](const std::string& url) { return CheckPage(page, url, state.settings); };
  in.stopRequested = [] { return InterruptGuard::Interrupted(); };
  const WatchSummary summary = ApplyWatch(store, in);

  Status saved = doc.OnSaveDocument(o.document);
  if (!saved.ok()) {
    Fail(saved.message() + (saved.detail().empty() ? "" : " (" + saved.detail() + ")"));
  }

  PrintChanges(summary, o.format);
  printEngines();
  std::cerr << "Watch: " << WatchCountsText(summary) << "; " << summary.checked
            << (summary.checked == 1 ? " page" : " pages") << " checked.\n";

  if (!o.feed.empty()) {
    std::vector<FeedEntry> added;
    for (const WatchChange& c : summary.changes) {
      if (c.change != WatchState::kNew) continue;
      added.push_back(
          MakeFeedEntry(c.url, c.title, in.now,
                        "Found by " + JoinNames(c.engines) + " for " + store.searchText()));
    }
    const std::string absolute = AbsolutePath(o.document);
    Status written = UpdateAtomFeed(o.feed, "trovelane: " + store.searchText(),
                                    MakeFeedId(absolute), in.now, added);
    if (!written.ok()) Fail(written.message(), kExitFailed);
  }
  if (o.notify) Notify(AbsolutePath(o.document), summary);

  if (InterruptGuard::Interrupted()) return kExitInterrupted;
  if (timedOut) return kExitTimedOut;
  return kExitDone;
}

}  // namespace

void AddWatchCommands(CLI::App& app, GlobalOptions& global) {
  auto o = std::make_shared<WatchOptions>();
  CLI::App* watch = app.add_subcommand(
      "watch",
      "Search a results document's search again: list what is new, what dropped out and which "
      "saved pages are gone, and add the new results to the document");
  watch->footer(kExitCodesHelp);
  watch->add_option("file", o->document, "Results document (.qmk)")->required();
  watch->add_option("--format", o->format, "Output format: table, tsv or json")
      ->check(CLI::IsMember({"table", "tsv", "json"}))
      ->capture_default_str();
  watch->add_option("--feed", o->feed,
                    "Also put the new results in front of this Atom feed (kept to " +
                        std::to_string(kMaxFeedEntries) + " entries)");
  watch
      ->add_option("--engine", o->engines,
                   "Search only this engine this time (name or index; repeatable)")
      ->allow_extra_args(false);
  watch->add_option("--profile", o->profile, "Take the engines from this profile file");
  watch->add_option("--timeout", o->timeout, "Stop the search after SECONDS");
  AddResolveOption(watch, o->resolve);
  watch
      ->add_option("--schedule", o->schedule,
                   "Install (daily, weekly) or remove (off) a systemd user timer that watches "
                   "the document")
      ->check(CLI::IsMember({"daily", "weekly", "off"}));
  watch->add_flag("--notify", o->notify,
                  "Show a desktop notification when the watch finds something");
  watch->callback([&global, o] {
    int code = RunWatch(global, *o);
    if (code != kExitDone) throw CLI::RuntimeError(code);
  });
}

}  // namespace trovelane::cli
