#include "tools/sample_engines/sample_server.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/atomic_file.h"
#include "results/html_export.h"

namespace trovelane::sample {

namespace {

uint32_t Fnv1a(std::string_view text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// The value's leading decimal digits, or -1 when it starts with none.
long LeadingNumber(const std::string* value) {
  if (!value || value->empty() || (*value)[0] < '0' || (*value)[0] > '9') return -1;
  long n = 0;
  for (char c : *value) {
    if (c < '0' || c > '9' || n > 100000000) break;
    n = n * 10 + (c - '0');
  }
  return n;
}

HttpResponse Page(int status, const std::string& title, const std::string& text) {
  HttpResponse response;
  response.status = status;
  response.body = "<HTML><HEAD><TITLE>" + title + "</TITLE></HEAD><BODY>\n<P>" + text +
                  "</P>\n</BODY></HTML>\n";
  return response;
}

std::string CookieValue(const std::string& cookieHeader, std::string_view name) {
  for (const auto& [n, v] : ParseQuery(cookieHeader, ";")) {
    std::string_view trimmed = n;
    while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
    if (trimmed == name) return v;
  }
  return {};
}

// The token an Auto engine puts into its form for the page at `start`;
// it is bound to the engine and the query, so only a harvested value works.
std::string PagingToken(const SampleEngine& engine, const std::string& query, long start) {
  const std::string number = std::to_string(start);
  return "p" + number + "-" + Hex(Fnv1a(engine.name + "|" + query + "|" + number));
}

long StartFromToken(const SampleEngine& engine, const std::string& query,
                    const std::string& token) {
  size_t dash = token.find('-');
  if (token.size() < 2 || token[0] != 'p' || dash == std::string::npos) return -1;
  std::string digits = token.substr(1, dash - 1);
  long start = LeadingNumber(&digits);
  if (start < 0 || std::to_string(start) != digits) return -1;
  return PagingToken(engine, query, start) == token ? start : -1;
}

}  // namespace

SampleServer::SampleServer(SampleServerOptions options)
    : options_(options),
      engines_(SampleEngineList(std::max(0, options.slowEngines))),
      corpus_(std::max(1, options.pageCount)),
      http_([this](const HttpRequest& request) { return Handle(request); },
            options.maxConnections) {
  ResetStats();
}

SampleServer::~SampleServer() { Stop(); }

Status SampleServer::Start() { return http_.Start(options_.port); }

void SampleServer::Stop() { http_.Stop(); }

std::string SampleServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(Port()); }

EngineCatalogue SampleServer::Catalogue() const {
  EngineCatalogue catalogue;
  for (const auto& engine : engines_) catalogue.engines.push_back(DefinitionFor(engine, BaseUrl()));
  return catalogue;
}

EngineDefinition PluginEngineDefinition(const std::string& plugin) {
  EngineDefinition engine;
  engine.isPlugin = true;
  engine.searchUrl = "plugin";
  engine.name = plugin + ".so";
  engine.selected = 1;
  return engine;
}

EngineCatalogue SampleServer::PluginCatalogue() const {
  EngineCatalogue catalogue;
  for (const PluginSite& site : PluginSites()) {
    catalogue.engines.push_back(PluginEngineDefinition(site.plugin));
  }
  return catalogue;
}

Status SampleServer::WritePluginSiteFiles(const std::string& pluginsFolder) const {
  std::error_code ec;
  std::filesystem::create_directories(pluginsFolder, ec);
  if (ec) return Status::IoError(pluginsFolder + ": " + ec.message());
  for (const PluginSite& site : PluginSites()) {
    const std::string file = pluginsFolder + "/" + site.plugin + ".site";
    Status saved = WriteFileAtomically(file, PluginSiteRoot(BaseUrl(), site.plugin) + "\n");
    if (!saved.ok()) return Status::IoError(file + ": " + saved.message());
  }
  return Status::Ok();
}

std::string SampleServer::ProfileText() const {
  std::string text;
  if (Status formatted = FormatProfile(Catalogue(), text); !formatted.ok()) {
    throw std::runtime_error(formatted.message());
  }
  return text;
}

void SampleServer::ResetStats() {
  std::lock_guard lock(statsMutex_);
  for (const auto& engine : engines_) counters_[engine.name];
  counters_["pages"];
  counters_["other"];
  for (auto& [name, c] : counters_) {
    c.requests.clear();
    c.dropped = 0;
    c.maxInFlight = c.inFlight;
  }
  requestCount_ = 0;
  maxInFlight_ = inFlight_;
}

nlohmann::json SampleServer::Stats() const {
  std::lock_guard lock(statsMutex_);
  nlohmann::json engines = nlohmann::json::object();
  for (const auto& [name, c] : counters_) {
    nlohmann::json requests = nlohmann::json::array();
    for (const auto& r : c.requests) {
      nlohmann::json params = nlohmann::json::array();
      for (const auto& [n, v] : r.params) params.push_back({n, v});
      requests.push_back({{"seq", r.seq},
                          {"method", r.method},
                          {"target", r.target},
                          {"path", r.path},
                          {"params", params},
                          {"cookie", r.cookie},
                          {"referer", r.referer},
                          {"host", r.host},
                          {"body", r.body},
                          {"status", r.status},
                          {"complete", r.complete}});
    }
    engines[name] = {{"requests", requests},
                     {"count", c.requests.size() + c.dropped},
                     {"dropped", c.dropped},
                     {"inFlight", c.inFlight},
                     {"maxInFlight", c.maxInFlight}};
  }
  return {{"requests", requestCount_},
          {"inFlight", inFlight_},
          {"maxInFlight", maxInFlight_},
          {"engines", engines}};
}

nlohmann::json SampleServer::CorpusJson() const {
  nlohmann::json pages = nlohmann::json::array();
  for (const auto& page : corpus_.Pages()) {
    nlohmann::json words = nlohmann::json::array();
    for (const auto& w : page.words) {
      words.push_back({{"word", w.word}, {"where", w.where}, {"fontSize", w.fontSize}});
    }
    pages.push_back({{"id", page.id},
                     {"path", page.path},
                     {"state", PageStateName(page.state)},
                     {"title", page.title},
                     {"words", words}});
  }
  return {{"pages", pages}, {"vocabulary", Corpus::Vocabulary()}};
}

HttpResponse SampleServer::Handle(const HttpRequest& request) {
  if (request.path.starts_with("/_")) {
    HttpResponse response;
    response.contentType = "application/json";
    // Requests may hold any bytes; invalid UTF-8 is replaced, not refused.
    constexpr auto replace = nlohmann::json::error_handler_t::replace;
    if (request.path == "/_stats") {
      response.body = Stats().dump(1, ' ', false, replace) + "\n";
    } else if (request.path == "/_corpus") {
      response.body = CorpusJson().dump(1, ' ', false, replace) + "\n";
    } else if (request.path == "/_reset") {
      ResetStats();
      response.body = "{\"reset\": true}\n";
    } else if (request.path == "/_profile") {
      response.contentType = "text/plain";
      response.body = ProfileText();
    } else {
      response = Page(404, "Not found", "No such control path.");
    }
    return response;
  }

  // Which record the request belongs to: an engine, the corpus, or other.
  std::string key = "other";
  if (request.path.starts_with("/pages/")) key = "pages";
  if (std::string plugin = PluginSiteOf(request.path); !plugin.empty()) key = plugin;
  for (const auto& engine : engines_) {
    if (request.path.starts_with("/" + engine.name + "/")) key = engine.name;
  }
  {
    std::lock_guard lock(statsMutex_);
    Counters& c = counters_[key];
    c.maxInFlight = std::max(c.maxInFlight, ++c.inFlight);
    maxInFlight_ = std::max(maxInFlight_, ++inFlight_);
  }

  QueryPairs params = ParseQuery(request.query, "&");
  HttpResponse response = Route(request, key, params);
  response.delayMs = options_.answerDelayMs;

  std::lock_guard lock(statsMutex_);
  Counters& c = counters_[key];
  // Texts are kept up to 8 KiB each, so that the record stays bounded.
  auto cut = [](const std::string& text) { return text.substr(0, 8192); };
  ++requestCount_;
  Record record{++seq_,
                cut(request.method),
                cut(request.target),
                cut(request.path),
                cut(request.Header("Cookie")),
                cut(request.Header("Referer")),
                cut(request.Header("Host")),
                cut(request.body),
                std::move(params),
                response.status};
  c.requests.push_back(std::move(record));
  if (c.requests.size() > options_.maxRecordsPerEngine) {
    c.requests.pop_front();
    ++c.dropped;
  }
  response.onSent = [this, key, seq = seq_](bool complete) {
    std::lock_guard done(statsMutex_);
    Counters& counters = counters_[key];
    --counters.inFlight;
    --inFlight_;
    for (auto it = counters.requests.rbegin(); it != counters.requests.rend(); ++it) {
      if (it->seq == seq) {
        it->complete = complete;
        break;
      }
    }
  };
  return response;
}

HttpResponse SampleServer::Route(const HttpRequest& request, const std::string& key,
                                 QueryPairs& params) {
  if (key == "pages") {
    const CorpusPage* page = corpus_.FindByPath(request.path);
    if (!page || page->state == PageState::kGone) {
      return Page(404, "Not found", "This page is gone.");
    }
    HttpResponse response;
    response.body = page->html;
    response.pauseMs = options_.pageLatencyMs;
    return response;
  }
  for (const auto& engine : engines_) {
    if (engine.name == key) {
      return ServeEngine(engine, request, request.path.substr(engine.name.size() + 2), params);
    }
  }
  if (key == PluginSiteOf(request.path) && !key.empty()) {
    HttpResponse response =
        ServePluginSite(key, request, params, corpus_, BaseUrl(), options_.maxResultPages);
    if (response.status == 200) response.pauseMs = options_.pluginLatencyMs;
    return response;
  }
  if (request.path == "/") return IndexPage();
  return Page(404, "Not found", "Nothing here.");
}

HttpResponse SampleServer::ServeEngine(const SampleEngine& engine, const HttpRequest& request,
                                       const std::string& page, QueryPairs& params) {
  if (page == "search") return Search(engine, request, params);
  if (engine.needsCookies && page == "welcome.html") {
    std::lock_guard lock(cookieMutex_);
    ++pendingWelcomes_;
    HttpResponse response = Page(200, "Welcome", "Welcome. Please accept our cookies next.");
    response.headers.push_back(
        {"Set-Cookie", "visitor=v" + std::to_string(pendingWelcomes_) + "; path=/"});
    return response;
  }
  if (engine.needsCookies && page == "consent.html") {
    HttpResponse response = Page(200, "Consent", "Thank you.");
    bool welcomed = false;
    {
      std::lock_guard lock(cookieMutex_);
      if (pendingWelcomes_ > 0) {
        --pendingWelcomes_;
        welcomed = true;
      }
    }
    // A session only for a visitor who came through the welcome page first.
    if (welcomed)
      response.headers.push_back({"Set-Cookie", "session=" + NewSession() + "; path=/"});
    response.headers.push_back({"Set-Cookie", "consent=yes; path=/"});
    return response;
  }
  if (engine.needsReferer && page == "form.html") {
    return Page(200, "Search form",
                "<FORM METHOD=GET ACTION=\"/" + engine.name +
                    "/search\">"
                    "<INPUT TYPE=\"text\" NAME=\"q\"></FORM>");
  }
  if (engine.indirect && page == "jump.cgi") {
    for (const auto& [name, value] : params) {
      if (name.starts_with("amp;")) return Page(400, "Bad request", "Undecoded link.");
    }
    long id = LeadingNumber(FindValue(params, "id"));
    if (id < 0 || id >= static_cast<long>(corpus_.Pages().size())) {
      return Page(404, "Not found", "No such result.");
    }
    HttpResponse response = Page(302, "Moved", "Moved.");
    response.headers.push_back({"Location", BaseUrl() + corpus_.Pages()[id].path});
    return response;
  }
  if (page == "about.html" || page == "help.html") {
    return Page(200, "About " + engine.name, "A sample engine: " + EscapeHtml(engine.purpose));
  }
  return Page(404, "Not found", "Nothing here.");
}

HttpResponse SampleServer::Search(const SampleEngine& engine, const HttpRequest& request,
                                  QueryPairs& params) {
  const bool post = engine.method == 1;
  if (request.method != (post ? "POST" : "GET")) {
    return Page(405, "Wrong method", post ? "This engine takes POST." : "This engine takes GET.");
  }
  const std::string separators = engine.separator == "&" ? "&" : "&" + engine.separator;
  params = ParseQuery(post ? request.body : request.query, separators);

  std::string newSession;
  if (engine.needsCookies) {
    const std::string cookie = request.Header("Cookie");
    if (!ValidSession(CookieValue(cookie, "session")) || CookieValue(cookie, "consent") != "yes") {
      return Page(403, "Cookies required",
                  "This engine needs the cookies of its welcome and consent pages.");
    }
    newSession = NewSession();
  }
  if (engine.needsReferer &&
      request.Header("Referer") != BaseUrl() + "/" + engine.name + "/form.html") {
    return Page(403, "Referer required", "Please search from our form page.");
  }

  const std::string* found = FindValue(params, "q");
  const std::string query = found ? *found : std::string();
  const int perPage = engine.resultsPerPage;
  long start = 0;
  const std::string* value = FindValue(params, engine.resultId);
  switch (engine.technique) {
    case 0:
      start = value ? LeadingNumber(value) : 0;
      break;
    case 1:
      start = value ? LeadingNumber(value) - 1 : 0;
      break;
    case 2:
      start = value ? LeadingNumber(value) * perPage : 0;
      break;
    case 3:
      start = value ? (LeadingNumber(value) - 1) * perPage : 0;
      break;
    case 4:
      start = value ? StartFromToken(engine, query, *value) : 0;
      break;
    case 5: {
      const std::string* state = FindValue(params, "state");
      start = state ? StartFromToken(engine, query, *state) : 0;
      break;
    }
  }
  if (start < 0) return Page(400, "Bad request", "Bad result position.");

  // Each engine ranks the matches in its own order, so that the engines
  // overlap without listing the same pages.
  std::vector<int> ids = corpus_.Search(ParseTerms(query));
  const uint64_t seed = Fnv1a(engine.name);
  auto rank = [&](int id) {
    uint64_t z = seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(id);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    return z ^ (z >> 27);
  };
  std::sort(ids.begin(), ids.end(), [&](int a, int b) { return rank(a) < rank(b); });
  const long listed = std::min<long>(static_cast<long>(ids.size()),
                                     static_cast<long>(options_.maxResultPages) * perPage);
  const long end = std::min<long>(listed, start + perPage);
  const bool hasNext = start + perPage < listed;

  std::string html = "<HTML><HEAD><TITLE>" + engine.name + ": " + EscapeHtml(query) +
                     "</TITLE></HEAD>\n<BODY>\n<A NAME=\"top\"></A>\n<H2>" + engine.name +
                     " results</H2>\n";
  html += "<P>Results " + std::to_string(std::min(start + 1, end)) + " - " + std::to_string(end) +
          " of " + std::to_string(listed) + " for <B>" + EscapeHtml(query) + "</B></P>\n<OL>\n";
  for (long i = start; i < end; ++i) {
    const CorpusPage& page = corpus_.Pages()[ids[i]];
    std::string href;
    if (engine.indirect) {
      // Written as HTML: a client that keeps "&amp;" as it stands asks for
      // another address, which jump.cgi refuses.
      href = "\"/" + engine.name + "/jump.cgi?id=" + std::to_string(page.id) + "&amp;from=list\"";
    } else if (engine.linkForm == ResultLinkForm::kAbsolute) {
      href = "\"" + BaseUrl() + page.path + "\"";
    } else if (engine.linkForm == ResultLinkForm::kRootRelative) {
      href = "'" + page.path + "'";
    } else {
      href = page.path.substr(1);
    }
    html += "<LI><A HREF=" + href + ">" + page.title + "</A><BR><FONT SIZE=\"2\">" + page.path +
            "</FONT>\n";
  }
  html += "</OL>\n";

  if (engine.indirect) {
    // Links that an indirect engine's filter must drop: no jump.cgi in them.
    html += "<P><A HREF=\"/" + engine.name + "/help.html\">Help</A> <A HREF=\"" +
            corpus_.Pages()[0].path + "\">Featured page</A></P>\n";
  }
  if (engine.name == "offset1") {
    html += "<P><A HREF='/" + engine.name + "/about.html'>About this engine</A></P>\n";
  }

  if (hasNext && (engine.technique == 4 || engine.technique == 5)) {
    const std::string token = PagingToken(engine, query, start + perPage);
    html += "<FORM METHOD=GET ACTION=\"/" + engine.name + "/search\">";
    if (engine.technique == 4) {
      html += "<INPUT TYPE=\"hidden\" NAME=\"cursor\" VALUE=\"" + token +
              "\"><INPUT TYPE=\"submit\" VALUE=\"More results\">";
    } else {
      html += "<INPUT TYPE=\"hidden\" NAME=\"state\" VALUE=\"" + token +
              "\"><INPUT TYPE=\"submit\" NAME=\"more\" VALUE=\"More results\">";
    }
    html += "</FORM>\n";
  } else if (hasNext) {
    long next = start + perPage;
    switch (engine.technique) {
      case 1:
        next += 1;
        break;
      case 2:
        next /= perPage;
        break;
      case 3:
        next = next / perPage + 1;
        break;
    }
    const std::string join =
        engine.nextLink == NextLinkStyle::kEntityAmpersand ? "&amp;" : engine.separator;
    std::string target = "/" + engine.name + "/search?q=" + PercentEncode(query) + join +
                         engine.resultId + "=" + std::to_string(next);
    if (engine.nextLink == NextLinkStyle::kTrailingLetters) target += "n";
    std::vector<std::string> links;
    if (engine.nextLink == NextLinkStyle::kOffHost) {
      const uint16_t otherPort = Port() == 65535 ? Port() - 1 : Port() + 1;
      links.push_back("\"http://localhost:" + std::to_string(Port()) + target + "\"");
      links.push_back("\"http://127.0.0.1:" + std::to_string(otherPort) + target + "\"");
    } else if (engine.linkForm == ResultLinkForm::kAbsolute) {
      links.push_back("\"" + BaseUrl() + target + "\"");
    } else if (engine.linkForm == ResultLinkForm::kHostRelative) {
      links.push_back(target.substr(1));
    } else {
      links.push_back("\"" + target + "\"");
    }
    html += "<P>";
    for (const auto& link : links) html += "<A HREF=" + link + ">Next page &gt;</A> ";
    html += "</P>\n";
  }
  html += "</BODY></HTML>\n";

  HttpResponse response;
  response.body = std::move(html);
  if (engine.slow) response.pauseMs = options_.latencyMs;
  if (engine.needsCookies) {
    // Every page sets the session again: the client keeps the cookies of
    // the latest answer only.
    response.headers.push_back({"Set-Cookie", "session=" + newSession + "; path=/"});
    response.headers.push_back({"Set-Cookie", "consent=yes; path=/"});
  }
  return response;
}

HttpResponse SampleServer::IndexPage() const {
  std::string rows;
  for (const auto& engine : engines_) {
    rows += "<LI><B>" + engine.name + "</B> /" + engine.name +
            "/search: " + EscapeHtml(engine.purpose) + "\n";
  }
  return Page(200, "Sample engines",
              "Engines on this server:</P>\n<UL>\n" + rows +
                  "</UL>\n<P>Control: /_stats, /_reset, /_profile, /_corpus.");
}

std::string SampleServer::NewSession() {
  std::lock_guard lock(cookieMutex_);
  std::string token = "s" + std::to_string(++sessionCount_);
  sessions_.push_back(token);
  if (sessions_.size() > 4096) sessions_.pop_front();
  return token;
}

bool SampleServer::ValidSession(const std::string& token) {
  std::lock_guard lock(cookieMutex_);
  return !token.empty() && std::find(sessions_.begin(), sessions_.end(), token) != sessions_.end();
}

}  // namespace trovelane::sample
