// The sample engines server: a generated corpus and the engines of
// engine_catalog.h on one loopback port, with a record of every request
// for tests to assert on.
//
// Control paths: GET /_stats (JSON: per engine the requests it got and the
// most requests in flight at once), /_reset (clears the record), /_profile
// (the search profile of these engines), /_corpus (JSON: every page, its
// state and where its words stand).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engines/profile.h"
#include "tools/sample_engines/corpus.h"
#include "tools/sample_engines/engine_catalog.h"
#include "tools/sample_engines/http_server.h"
#include "tools/sample_engines/plugin_sites.h"

namespace trovelane::sample {

struct SampleServerOptions {
  uint16_t port = 0;  // 0: a free port
  int pageCount = 300;
  int maxResultPages = 5;  // result pages an engine lists for one query at most
  int slowEngines = 1;
  int latencyMs = 200;    // pause of the slow engines, per result page
  int pageLatencyMs = 0;  // pause before every corpus page
  // Every answer but those of the control paths waits this long before its
  // first byte: as a server two round trips away (connect, then request).
  int answerDelayMs = 0;
  int maxConnections = 128;
  size_t maxRecordsPerEngine = 1000;  // older requests beyond this are only counted
  int pluginLatencyMs = 0;  // pause in the middle of every plug-in site's result page
};

// A plug-in engine as a profile holds it: the library's file name.
EngineDefinition PluginEngineDefinition(const std::string& plugin);

class SampleServer {
 public:
  explicit SampleServer(SampleServerOptions options);
  ~SampleServer();

  Status Start();
  void Stop();
  uint16_t Port() const { return http_.Port(); }
  std::string BaseUrl() const;  // "http://127.0.0.1:port"

  const std::vector<SampleEngine>& Engines() const { return engines_; }
  const Corpus& Pages() const { return corpus_; }
  // The search profile of all engines, and its text.
  EngineCatalogue Catalogue() const;
  // The seven plug-in engines, searching this server's plug-in sites once
  // WritePluginSiteFiles has pointed them here.
  EngineCatalogue PluginCatalogue() const;
  // Writes "<plug-in>.site" for every plug-in site into `pluginsFolder`
  // (an install folder's "plugins"), creating the folder.
  Status WritePluginSiteFiles(const std::string& pluginsFolder) const;
  std::string ProfileText() const;
  nlohmann::json Stats() const;
  nlohmann::json CorpusJson() const;
  void ResetStats();

 private:
  struct Record {
    uint64_t seq = 0;
    std::string method, target, path, cookie, referer, host, body;
    QueryPairs params;
    int status = 0;
    bool complete = false;  // the whole answer went out
  };
  struct Counters {
    std::deque<Record> requests;
    uint64_t dropped = 0;
    int inFlight = 0;
    int maxInFlight = 0;
  };

  HttpResponse Handle(const HttpRequest& request);
  HttpResponse Route(const HttpRequest& request, const std::string& key, QueryPairs& params);
  HttpResponse ServeEngine(const SampleEngine& engine, const HttpRequest& request,
                           const std::string& page, QueryPairs& params);
  HttpResponse Search(const SampleEngine& engine, const HttpRequest& request, QueryPairs& params);
  HttpResponse IndexPage() const;
  std::string NewSession();
  bool ValidSession(const std::string& token);

  SampleServerOptions options_;
  std::vector<SampleEngine> engines_;
  Corpus corpus_;
  HttpServer http_;

  mutable std::mutex statsMutex_;
  std::map<std::string, Counters> counters_;  // by engine name, "pages" and "other"
  uint64_t seq_ = 0;           // numbers every request; never reset
  uint64_t requestCount_ = 0;  // requests since the last reset
  int inFlight_ = 0;
  int maxInFlight_ = 0;

  std::mutex cookieMutex_;
  uint64_t sessionCount_ = 0;
  int pendingWelcomes_ = 0;
  std::deque<std::string> sessions_;  // the latest issued, bounded
};

}  // namespace trovelane::sample
