// The five public engines of the shipped web profile (data/web.prf), played on
// loopback under their real host names, so that the shipped definitions can
// be searched end to end without anything leaving the machine.
//
// The pages are hand-made models of each engine's result pages
// (tests/support/web_engines/*.html): three result pages each, plus the
// pages the engines answer when they block a client. They are served over
// HTTPS by an HttpsFixtureServer (port 443 of a loopback address of its own;
// the program reaches it through ResolveArguments and trusts it through
// SSL_CERT_FILE=CaFile()).
//
// Every request is checked against what its engine needs (method, path,
// query or form fields and the page they ask for, User-Agent, Referer,
// cookies, HTTP/1.1 kept alive or closed, compression). A request that
// misses anything is answered 400 and the reason is kept (Refusals), so a
// definition that sends the wrong request fails its test and says why.
// Wikipedia answers 403, as the real one does, to a User-Agent that does not
// describe the program.
//
// Threads: the server calls its handler on a thread per connection; every
// public method may be called from any thread.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/https_fixture.h"

namespace trovelane::test {

enum class WebEngine { kDuckDuckGo, kMojeek, kBrave, kWiby, kWikipedia };
inline constexpr std::array<WebEngine, 5> kWebEngines = {
    WebEngine::kDuckDuckGo, WebEngine::kMojeek, WebEngine::kBrave, WebEngine::kWiby,
    WebEngine::kWikipedia};

// How an engine answers.
enum class WebEngineMode {
  kServe,   // its result pages
  kBlock,   // DuckDuckGo: its CAPTCHA page (200); Mojeek: 403; Brave: 429;
            // Wiby and Wikipedia: 403
  kSilent,  // accepts the connection and never answers
};

class WebEnginesFixture {
 public:
  // The query every modelled page answers, as a user types it.
  static constexpr const char* kQuery = "river lantern";
  // Results on each modelled result page, and result pages per engine.
  static constexpr int kResultsPerPage = 3;
  static constexpr int kPages = 3;

  // Starts the server; throws std::system_error when port 443 is not free to
  // this process (see HttpsFixtureServer::CanListenOnPort443).
  WebEnginesFixture();
  ~WebEnginesFixture();

  // The name of the engine in data/web.prf, and its host.
  static const char* Name(WebEngine engine);
  static const char* Host(WebEngine engine);

  void SetMode(WebEngine engine, WebEngineMode mode);

  // "--resolve HOST:443:ADDR" for every engine host.
  std::vector<std::string> ResolveArguments() const;
  static std::string CaFile();

  // Why requests were answered 400, one line each ("Mojeek: no cookie lb=en").
  std::vector<std::string> Refusals() const;
  // The requests that reached `engine`'s host, in order.
  std::vector<FixtureRequest> Requests(WebEngine engine) const;
  // The result pages (1..kPages) served to `engine`'s requests, in order.
  std::vector<int> PagesServed(WebEngine engine) const;

 private:
  FixtureResponse Answer(const FixtureRequest& request);
  FixtureResponse Page(WebEngine engine, int page);
  FixtureResponse Refuse(WebEngine engine, const std::string& why);

  mutable std::mutex mutex_;
  std::array<WebEngineMode, 5> modes_{};      // guarded by mutex_
  std::vector<std::string> refusals_;         // guarded by mutex_
  std::array<std::vector<int>, 5> served_{};  // guarded by mutex_
  std::unique_ptr<HttpsFixtureServer> server_;
};

}  // namespace trovelane::test
