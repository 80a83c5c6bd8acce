#include "tests/support/web_engines_fixture.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "platform/ascii.h"

namespace trovelane::test {
namespace {

constexpr const char* kBrowserAgentStart = "Mozilla/5.0 (";
// DuckDuckGo sees one fixed browser, whatever the program's default is.
constexpr const char* kDuckDuckGoAgent =
    "Mozilla/5.0 (X11; Linux x86_64; rv:140.0) Gecko/20100101 Firefox/140.0";
// The tokens of the modelled "Next" forms of DuckDuckGo.
constexpr const char* kDuckDuckGoVqd = "4-2718281828459045";

size_t Index(WebEngine engine) { return static_cast<size_t>(engine); }

std::string ReadPage(const std::string& name) {
  const std::string path = std::string(TROVELANE_WEB_ENGINE_PAGES) + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("missing fixture page " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// "a=1&b=&c" as a map; a name given twice keeps both values joined by ",".
std::map<std::string, std::string> Fields(std::string_view text) {
  std::map<std::string, std::string> fields;
  for (size_t from = 0; from <= text.size();) {
    size_t end = text.find('&', from);
    if (end == std::string_view::npos) end = text.size();
    std::string_view pair = text.substr(from, end - from);
    from = end + 1;
    if (pair.empty()) continue;
    const size_t equals = pair.find('=');
    std::string name(pair.substr(0, equals));
    std::string value(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
    auto [at, added] = fields.emplace(name, value);
    if (!added) at->second += "," + value;
  }
  return fields;
}

std::string Query(const FixtureRequest& request) {
  const size_t mark = request.target.find('?');
  return mark == std::string::npos ? "" : request.target.substr(mark + 1);
}

// The names of `fields` that are not in `allowed`, for the refusal text.
std::string Unexpected(const std::map<std::string, std::string>& fields,
                       std::initializer_list<std::string_view> allowed) {
  std::string extra;
  for (const auto& [name, value] : fields) {
    bool known = false;
    for (std::string_view a : allowed) known = known || name == a;
    if (!known) extra += (extra.empty() ? "" : ", ") + name;
  }
  return extra;
}

std::string Value(const std::map<std::string, std::string>& fields, const std::string& name,
                  const std::string& absent = "<absent>") {
  auto at = fields.find(name);
  return at == fields.end() ? absent : at->second;
}

// The cookie pairs of a Cookie header, trimmed.
std::vector<std::string> CookiePairs(const std::string& header) {
  std::vector<std::string> pairs;
  for (size_t from = 0; from <= header.size();) {
    size_t end = header.find(';', from);
    if (end == std::string::npos) end = header.size();
    std::string pair(TrimBlanks(std::string_view(header).substr(from, end - from)));
    if (!pair.empty()) pairs.push_back(pair);
    from = end + 1;
  }
  return pairs;
}

}  // namespace

WebEnginesFixture::WebEnginesFixture() {
  modes_.fill(WebEngineMode::kServe);
  std::vector<std::string> hosts;
  for (WebEngine engine : kWebEngines) hosts.push_back(Host(engine));
  server_ = std::make_unique<HttpsFixtureServer>(
      hosts, [this](const FixtureRequest& request) { return Answer(request); });
}

WebEnginesFixture::~WebEnginesFixture() { server_.reset(); }

const char* WebEnginesFixture::Name(WebEngine engine) {
  switch (engine) {
    case WebEngine::kDuckDuckGo:
      return "DuckDuckGo";
    case WebEngine::kMojeek:
      return "Mojeek";
    case WebEngine::kBrave:
      return "Brave Search";
    case WebEngine::kWiby:
      return "Wiby";
    case WebEngine::kWikipedia:
      return "Wikipedia";
  }
  return "";
}

const char* WebEnginesFixture::Host(WebEngine engine) {
  switch (engine) {
    case WebEngine::kDuckDuckGo:
      return "html.duckduckgo.com";
    case WebEngine::kMojeek:
      return "www.mojeek.com";
    case WebEngine::kBrave:
      return "search.brave.com";
    case WebEngine::kWiby:
      return "wiby.me";
    case WebEngine::kWikipedia:
      return "en.wikipedia.org";
  }
  return "";
}

void WebEnginesFixture::SetMode(WebEngine engine, WebEngineMode mode) {
  std::lock_guard lock(mutex_);
  modes_[Index(engine)] = mode;
}

std::vector<std::string> WebEnginesFixture::ResolveArguments() const {
  return server_->ResolveArguments();
}

std::string WebEnginesFixture::CaFile() { return HttpsFixtureServer::CaFile(); }

std::vector<std::string> WebEnginesFixture::Refusals() const {
  std::lock_guard lock(mutex_);
  return refusals_;
}

std::vector<FixtureRequest> WebEnginesFixture::Requests(WebEngine engine) const {
  std::vector<FixtureRequest> mine;
  for (const FixtureRequest& request : server_->Requests()) {
    if (request.serverName == Host(engine)) mine.push_back(request);
  }
  return mine;
}

std::vector<int> WebEnginesFixture::PagesServed(WebEngine engine) const {
  std::lock_guard lock(mutex_);
  return served_[Index(engine)];
}

FixtureResponse WebEnginesFixture::Refuse(WebEngine engine, const std::string& why) {
  std::lock_guard lock(mutex_);
  refusals_.push_back(std::string(Name(engine)) + ": " + why);
  FixtureResponse response;
  response.status = 400;
  response.reason = "Bad Request";
  response.headers = {{"Content-Type", "text/plain"}};
  response.body = why + "\n";
  return response;
}

FixtureResponse WebEnginesFixture::Page(WebEngine engine, int page) {
  static const char* const kPrefix[] = {"duckduckgo", "mojeek", "brave", "wiby", "wikipedia"};
  FixtureResponse response;
  response.headers = {{"Content-Type", "text/html; charset=utf-8"}};
  response.body = ReadPage(std::string(kPrefix[Index(engine)]) + "_" + std::to_string(page) + ".html");
  // The engines frame and code their pages in different ways, as servers
  // of today do; the client asked for compression (checked before).
  switch (engine) {
    case WebEngine::kDuckDuckGo:
      response.coding = FixtureResponse::Coding::kGzip;
      break;
    case WebEngine::kMojeek:
      response.coding = FixtureResponse::Coding::kDeflate;
      response.framing = FixtureResponse::Framing::kChunked;
      break;
    case WebEngine::kBrave:
      response.coding = FixtureResponse::Coding::kGzip;
      response.framing = FixtureResponse::Framing::kChunked;
      response.chunkSize = 700;
      break;
    case WebEngine::kWiby:
      response.framing = FixtureResponse::Framing::kClose;
      break;
    case WebEngine::kWikipedia:
      response.framing = FixtureResponse::Framing::kChunked;
      break;
  }
  std::lock_guard lock(mutex_);
  served_[Index(engine)].push_back(page);
  return response;
}

FixtureResponse WebEnginesFixture::Answer(const FixtureRequest& request) {
  WebEngine engine = WebEngine::kDuckDuckGo;
  bool known = false;
  for (WebEngine e : kWebEngines) {
    if (request.serverName == Host(e)) {
      engine = e;
      known = true;
    }
  }
  if (!known) {
    std::lock_guard lock(mutex_);
    refusals_.push_back("a request for the unknown host \"" + request.serverName + "\"");
    return FixtureResponse{400, "Bad Request", {}, "unknown host\n"};
  }
  WebEngineMode mode;
  {
    std::lock_guard lock(mutex_);
    mode = modes_[Index(engine)];
  }
  if (mode == WebEngineMode::kSilent) {
    FixtureResponse silent;
    silent.silent = true;
    return silent;
  }

  // What every engine of today wants of a client.
  if (request.Host() != Host(engine)) return Refuse(engine, "Host is " + request.Header("Host"));
  if (request.version != "HTTP/1.1") return Refuse(engine, "sent " + request.version);
  // Kept alive, or closed after the answer; nothing else.
  if (request.HeaderCount("Connection") != 0 && !EqualsNoCase(request.Header("Connection"), "close")) {
    return Refuse(engine, "Connection: " + request.Header("Connection"));
  }
  if (request.Header("Accept-Encoding").find("gzip") == std::string::npos) {
    return Refuse(engine, "does not accept gzip");
  }
  const std::string agent = request.Header("User-Agent");
  if (request.HeaderCount("User-Agent") != 1) return Refuse(engine, "not one User-Agent");

  std::map<std::string, std::string> fields;
  int page = 0;
  const std::string query = "river+lantern";
  switch (engine) {
    case WebEngine::kDuckDuckGo: {
      if (request.method != "POST" || request.target != "/html/") {
        return Refuse(engine, request.method + " " + request.target);
      }
      if (request.Header("Content-Type") != "application/x-www-form-urlencoded") {
        return Refuse(engine, "Content-Type " + request.Header("Content-Type"));
      }
      if (agent != kDuckDuckGoAgent) return Refuse(engine, "User-Agent " + agent);
      if (request.Header("Referer") != "https://html.duckduckgo.com/") {
        return Refuse(engine, "Referer " + request.Header("Referer"));
      }
      // It throttles a client that does not ask as a browser's page load does.
      for (const auto& [name, value] :
           {std::pair{"Sec-Fetch-Dest", "document"}, std::pair{"Sec-Fetch-Mode", "navigate"},
            std::pair{"Sec-Fetch-Site", "same-origin"}, std::pair{"Sec-Fetch-User", "?1"}}) {
        if (request.Header(name) != value) {
          return Refuse(engine, std::string(name) + ": " + request.Header(name));
        }
      }
      if (request.Header("Accept-Language").empty()) return Refuse(engine, "no Accept-Language");
      fields = Fields(request.body);
      if (Value(fields, "q") != query) return Refuse(engine, "q=" + Value(fields, "q"));
      if (Value(fields, "kl") != "wt-wt" || Value(fields, "b") != "") {
        return Refuse(engine, "no region kl=wt-wt and b= in " + request.body);
      }
      const std::string s = Value(fields, "s");
      if (s == "<absent>") {
        if (fields.size() != 3) return Refuse(engine, "a first page with " + request.body);
        page = 1;
      } else {
        // A later page sends back every field of the "Next" form before it.
        page = s == "10" ? 2 : s == "20" ? 3 : 0;
        if (page == 0) return Refuse(engine, "s=" + s);
        const std::string dc = std::to_string((page - 1) * 10 + 1);
        if (Value(fields, "dc") != dc || Value(fields, "vqd") != kDuckDuckGoVqd ||
            Value(fields, "nextParams") != "" || Value(fields, "v") != "l" ||
            Value(fields, "o") != "json" || Value(fields, "api") != "d.js") {
          return Refuse(engine, "the fields of the Next form are not sent back: " + request.body);
        }
      }
      if (std::string extra =
              Unexpected(fields, {"q", "s", "nextParams", "v", "o", "dc", "api", "vqd", "b", "kl"});
          !extra.empty()) {
        return Refuse(engine, "unexpected fields " + extra);
      }
      if (mode == WebEngineMode::kBlock) {
        return FixtureResponse{200, "OK", {{"Content-Type", "text/html"}},
                               ReadPage("duckduckgo_challenge.html")};
      }
      return Page(engine, page);
    }
    case WebEngine::kMojeek: {
      if (request.method != "GET" || request.Path() != "/search") {
        return Refuse(engine, request.method + " " + request.target);
      }
      if (agent.rfind(kBrowserAgentStart, 0) != 0) return Refuse(engine, "User-Agent " + agent);
      // Language and region travel in cookies, not in the query.
      const std::vector<std::string> cookies = CookiePairs(request.Header("Cookie"));
      for (const char* wanted : {"lb=en", "arc=us"}) {
        if (std::find(cookies.begin(), cookies.end(), wanted) == cookies.end()) {
          return Refuse(engine, std::string("no cookie ") + wanted + " in \"" +
                                    request.Header("Cookie") + "\"");
        }
      }
      fields = Fields(Query(request));
      if (Value(fields, "q") != query) return Refuse(engine, "q=" + Value(fields, "q"));
      if (std::string extra = Unexpected(fields, {"q", "s"}); !extra.empty()) {
        return Refuse(engine, "unexpected parameters " + extra);
      }
      // A position on the first page is what its rate limit takes for a robot.
      const std::string s = Value(fields, "s");
      page = s == "<absent>" ? 1 : s == "11" ? 2 : s == "21" ? 3 : 0;
      if (page == 0) return Refuse(engine, "s=" + s);
      if (mode == WebEngineMode::kBlock) {
        return FixtureResponse{403, "Forbidden", {{"Content-Type", "text/html"}},
                               ReadPage("mojeek_403.html")};
      }
      return Page(engine, page);
    }
    case WebEngine::kBrave: {
      if (request.method != "GET" || request.Path() != "/search") {
        return Refuse(engine, request.method + " " + request.target);
      }
      if (agent.rfind(kBrowserAgentStart, 0) != 0) return Refuse(engine, "User-Agent " + agent);
      fields = Fields(Query(request));
      if (Value(fields, "q") != query || Value(fields, "source") != "web") {
        return Refuse(engine, "query " + Query(request));
      }
      if (std::string extra = Unexpected(fields, {"q", "source", "offset"}); !extra.empty()) {
        return Refuse(engine, "unexpected parameters " + extra);
      }
      // Its preferences travel in cookies; without them it answers as to a robot.
      const std::vector<std::string> cookies = CookiePairs(request.Header("Cookie"));
      for (const char* wanted : {"useLocation=0", "summarizer=0", "safesearch=moderate",
                                 "country=all", "ui_lang=en-us"}) {
        if (std::find(cookies.begin(), cookies.end(), wanted) == cookies.end()) {
          return Refuse(engine, std::string("no cookie ") + wanted + " in \"" +
                                    request.Header("Cookie") + "\"");
        }
      }
      const std::string offset = Value(fields, "offset");
      page = offset == "<absent>" ? 1 : offset == "1" ? 2 : offset == "2" ? 3 : 0;
      if (page == 0) return Refuse(engine, "offset=" + offset);
      if (mode == WebEngineMode::kBlock) {
        return FixtureResponse{429, "Too Many Requests",
                               {{"Content-Type", "text/html"}, {"Retry-After", "60"}},
                               ReadPage("brave_429.html")};
      }
      return Page(engine, page);
    }
    case WebEngine::kWiby: {
      if (request.method != "GET" || request.Path() != "/") {
        return Refuse(engine, request.method + " " + request.target);
      }
      if (agent.rfind(kBrowserAgentStart, 0) != 0) return Refuse(engine, "User-Agent " + agent);
      fields = Fields(Query(request));
      if (Value(fields, "q") != query) return Refuse(engine, "q=" + Value(fields, "q"));
      if (std::string extra = Unexpected(fields, {"q", "p"}); !extra.empty()) {
        return Refuse(engine, "unexpected parameters " + extra);
      }
      const std::string p = Value(fields, "p");
      page = p == "<absent>" || p == "1" ? 1 : p == "2" ? 2 : p == "3" ? 3 : 0;
      if (page == 0) return Refuse(engine, "p=" + p);
      break;
    }
    case WebEngine::kWikipedia: {
      if (request.method != "GET" || request.Path() != "/w/index.php") {
        return Refuse(engine, request.method + " " + request.target);
      }
      fields = Fields(Query(request));
      if (Value(fields, "search") != query || Value(fields, "fulltext") != "1" ||
          Value(fields, "limit") != "20") {
        return Refuse(engine, "query " + Query(request));
      }
      if (std::string extra = Unexpected(fields, {"search", "fulltext", "limit", "offset"});
          !extra.empty()) {
        return Refuse(engine, "unexpected parameters " + extra);
      }
      const std::string offset = Value(fields, "offset");
      page = offset == "0" ? 1 : offset == "20" ? 2 : offset == "40" ? 3 : 0;
      if (page == 0) return Refuse(engine, "offset=" + offset);
      // Wikimedia refuses clients that pass for a browser, or that say
      // neither who they are nor how to reach whoever runs them.
      if (agent.rfind("Mozilla/", 0) == 0 || agent.find("trovelane") == std::string::npos ||
          agent.find(kDefaultContact) == std::string::npos) {
        std::lock_guard lock(mutex_);
        refusals_.push_back("Wikipedia: answered 403 to the User-Agent " + agent);
        return FixtureResponse{403, "Forbidden", {{"Content-Type", "text/plain"}},
                               "Please set a user-agent and respect our robot policy.\n"};
      }
      break;
    }
  }
  if (mode == WebEngineMode::kBlock) {
    return FixtureResponse{403, "Forbidden", {{"Content-Type", "text/plain"}}, "Forbidden\n"};
  }
  return Page(engine, page);
}

}  // namespace trovelane::test
