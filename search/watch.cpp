#include "search/watch.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "platform/ascii.h"

namespace trovelane {
namespace {

// Two results are the same page when their URLs, as the store keeps them,
// match with blanks around them removed and ASCII letters folded, as the
// duplicate filter compares URLs.
std::string UrlKey(std::string_view url) {
  std::string key(TrimBlanks(CutToField(url, kResultUrlSize)));
  for (char& c : key) c = ToLowerAscii(c);
  return key;
}

bool RanToItsEnd(EngineEnding ending) {
  return ending == EngineEnding::kDone || ending == EngineEnding::kLimit;
}

// Whether the records of engine `name` can be compared with this run.
class ComparedEngines {
 public:
  explicit ComparedEngines(const std::vector<EngineReport>& reports) {
    bool anyRan = false;
    allRan_ = true;
    for (const EngineReport& report : reports) {
      // An engine of the profile that was not searched this time is known
      // by name all the same: its records are not compared.
      const bool ran = RanToItsEnd(report.ending);
      if (report.ending != EngineEnding::kNotRun) {
        anyRan = true;
        allRan_ = allRan_ && ran;
      }
      // Two engines of one name: the records of either are compared only
      // when both ran to their end.
      auto [at, inserted] = byName_.emplace(report.engineName, ran);
      if (!inserted) at->second = at->second && ran;
    }
    allRan_ = allRan_ && anyRan;
  }

  bool Compared(const std::string& engineName) const {
    auto at = byName_.find(engineName);
    return at != byName_.end() ? at->second : allRan_;
  }

 private:
  std::unordered_map<std::string, bool> byName_;
  bool allRan_ = false;
};

std::string FinderName(const WatchRun& run, const ResultFinder& finder, const ResultHandoff& r) {
  // A plug-in names its results' engine itself.
  if (finder.engineIndex == r.engineIndex) return r.engineName;
  const auto& engines = run.catalogue->engines;
  if (finder.engineIndex >= 0 && static_cast<size_t>(finder.engineIndex) < engines.size()) {
    return engines[finder.engineIndex].name;
  }
  return {};
}

}  // namespace

void ApplyWatchedSearch(const ResultsStore& store, EngineCatalogue& catalogue,
                        SearchOptions& options, std::vector<std::string>* missing) {
  const auto& watched = store.watchedSearch();
  if (!watched) return;
  for (EngineDefinition& engine : catalogue.engines) engine.selected = 0;
  for (const std::string& name : watched->engines) {
    bool found = false;
    for (EngineDefinition& engine : catalogue.engines) {
      if (engine.name != name) continue;
      engine.selected = 1;
      found = true;
    }
    if (!found && missing) missing->push_back(name);
  }
  options.maxResults = EffectiveMaxResults(watched->maxResults);
  options.perEngine = watched->perEngine != 0 ? 1 : 0;
  options.validationMode = watched->validationMode;
  options.defaultOperator = watched->defaultOperator;
  options.duplicateMode = watched->duplicateMode;
  options.minRelevancy = watched->minRelevance;
}

WatchedSearch DescribeWatchedSearch(const EngineCatalogue& catalogue,
                                    const SearchOptions& options) {
  WatchedSearch search;
  for (const EngineDefinition& engine : catalogue.engines) {
    if (engine.selected) search.engines.push_back(engine.name);
  }
  search.maxResults = options.maxResults;
  search.perEngine = options.perEngine;
  search.validationMode = options.validationMode;
  search.defaultOperator = options.defaultOperator;
  search.duplicateMode = options.duplicateMode;
  search.minRelevance = options.minRelevancy;
  return search;
}

WatchSummary ApplyWatch(ResultsStore& store, const WatchRun& run) {
  static const std::vector<ResultHandoff> kNoResults;
  static const std::vector<std::vector<ResultFinder>> kNoFinders;
  static const std::vector<EngineReport> kNoReports;
  static const EngineCatalogue kNoCatalogue;
  WatchRun in = run;
  if (!in.found) in.found = &kNoResults;
  if (!in.finders) in.finders = &kNoFinders;
  if (!in.reports) in.reports = &kNoReports;
  if (!in.catalogue) in.catalogue = &kNoCatalogue;

  WatchSummary summary;
  const ComparedEngines compared(*in.reports);

  // The results found now, by page; the first of a page counts.
  std::unordered_map<std::string, size_t> foundByKey;
  for (size_t i = 0; i < in.found->size(); ++i) foundByKey.emplace(UrlKey((*in.found)[i].url), i);

  std::vector<bool> foundInStore(in.found->size(), false);
  std::vector<int32_t> candidates;
  const int32_t oldCount = store.count();
  for (int32_t i = 0; i < oldCount; ++i) {
    ResultRecord& record = store.record(i);
    RecordWatch& watch = record.EnsureWatch();
    if (watch.firstSeen == 0) watch.firstSeen = in.documentTime;
    if (watch.lastSeen == 0) watch.lastSeen = in.documentTime;
    auto at = foundByKey.find(UrlKey(record.url()));
    if (at != foundByKey.end()) {
      foundInStore[at->second] = true;
      watch.lastSeen = in.now;
      watch.state = WatchState::kKept;
      ++summary.kept;
    } else if (compared.Compared(std::string(record.engineName()))) {
      candidates.push_back(i);
    }
  }

  // Checked longest ago (never first), then seen longest ago, then in
  // store order.
  std::stable_sort(candidates.begin(), candidates.end(), [&](int32_t a, int32_t b) {
    const RecordWatch& x = *store.record(a).watch();
    const RecordWatch& y = *store.record(b).watch();
    if (x.lastChecked != y.lastChecked) return x.lastChecked < y.lastChecked;
    return x.lastSeen < y.lastSeen;
  });
  std::vector<WatchState> verdicts(candidates.size(), WatchState::kNone);
  for (size_t k = 0; k < candidates.size(); ++k) {
    RecordWatch& watch = store.record(candidates[k]).EnsureWatch();
    auto stopped = [&] { return in.stopRequested && in.stopRequested(); };
    PageCheck page = PageCheck::kUnknown;
    bool checked = false;
    if (summary.checked < in.maxChecks && in.checkPage && !stopped()) {
      page = in.checkPage(std::string(store.record(candidates[k]).url()));
      // A check cut short by the stop proves nothing and does not count.
      checked = page != PageCheck::kUnknown || !stopped();
    }
    if (checked) {
      ++summary.checked;
      watch.lastChecked = in.now;
      verdicts[k] = page == PageCheck::kGone ? WatchState::kDead : WatchState::kDropped;
    } else {
      // Not checked in this run: a dead page stays dead until a check finds
      // it again.
      verdicts[k] = watch.state == WatchState::kDead ? WatchState::kDead : WatchState::kDropped;
    }
  }

  // New results, added in arrival order.
  std::vector<WatchChange> added;
  for (size_t i = 0; i < in.found->size(); ++i) {
    const ResultHandoff& r = (*in.found)[i];
    if (foundInStore[i] || foundByKey.at(UrlKey(r.url)) != i) continue;
    store.AppendResult(r.url, r.title, r.engineName, 0,
                       r.validated ? kValidatedReachable : kNotValidated,
                       static_cast<int16_t>(std::clamp(r.relevance, -1, 100)));
    const int32_t index = store.count() - 1;
    store.record(index).EnsureWatch() = {in.now, in.now, 0, WatchState::kNew};
    WatchChange change{WatchState::kNew, index, r.url, r.title, {}};
    if (i < in.finders->size()) {
      for (const ResultFinder& f : (*in.finders)[i]) {
        std::string name = FinderName(in, f, r);
        if (std::find(change.engines.begin(), change.engines.end(), name) == change.engines.end()) {
          change.engines.push_back(std::move(name));
        }
      }
    }
    if (change.engines.empty()) change.engines.push_back(r.engineName);
    added.push_back(std::move(change));
  }
  summary.added = static_cast<int>(added.size());
  summary.changes = std::move(added);

  // Dead, then dropped, each in store order; only records whose state changed.
  std::vector<size_t> order(candidates.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return candidates[a] < candidates[b]; });
  for (WatchState kind : {WatchState::kDead, WatchState::kDropped}) {
    for (size_t k : order) {
      if (verdicts[k] != kind) continue;
      ResultRecord& record = store.record(candidates[k]);
      RecordWatch& watch = record.EnsureWatch();
      if (watch.state == kind) continue;
      watch.state = kind;
      ++(kind == WatchState::kDead ? summary.dead : summary.dropped);
      summary.changes.push_back({kind,
                                 candidates[k],
                                 std::string(record.url()),
                                 std::string(record.text()),
                                 {std::string(record.engineName())}});
    }
  }

  WatchedSearch search = in.search;
  search.lastWatch = in.now;
  store.SetWatchedSearch(std::move(search));
  return summary;
}

int MergeWatchedCopy(ResultsStore& store, const ResultsStore& watched, int32_t arrivalsBefore) {
  std::unordered_map<int32_t, int32_t> rowOfArrival;
  for (int32_t i = 0; i < store.count(); ++i) rowOfArrival[store.record(i).arrival] = i;
  int appended = 0;
  for (const ResultRecord& r : watched.records()) {
    if (r.arrival < arrivalsBefore) {
      auto at = rowOfArrival.find(r.arrival);
      if (at == rowOfArrival.end() || r.watch() == nullptr) continue;
      store.record(at->second).EnsureWatch() = *r.watch();
      continue;
    }
    store.AppendResult(r.url(), r.text(), r.engineName(), r.opened, r.validationState, r.relevance);
    if (r.watch() != nullptr) store.record(store.count() - 1).EnsureWatch() = *r.watch();
    ++appended;
  }
  store.SetWatchedSearch(watched.watchedSearch());
  return appended;
}

std::string WatchCountsText(const WatchSummary& summary) {
  return std::to_string(summary.added) + " new, " + std::to_string(summary.dead) + " dead, " +
         std::to_string(summary.dropped) + " dropped, " + std::to_string(summary.kept) + " kept";
}

const char* WatchStateName(WatchState state) {
  switch (state) {
    case WatchState::kNew:
      return "new";
    case WatchState::kKept:
      return "kept";
    case WatchState::kDropped:
      return "dropped";
    case WatchState::kDead:
      return "dead";
    default:
      return "";
  }
}

}  // namespace trovelane
