// trovelane-cli fetch: one page through CHttpURL, the way a search fetches
// it, so that a user can check a proxy setting or look at what an engine
// really returns. The body goes to stdout, the answer's head (with --head) to
// stderr. The proxy and the read size come from the install folder's
// "qmknet.dat", the time-outs, User-Agent and address overrides from its
// "trovelane.json", unless options say otherwise.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/program_options_file.h"
#include "app/settings_file.h"
#include "cli/commands.h"
#include "cli/interrupt_guard.h"
#include "cli/program.h"
#include "cli/text_output.h"
#include "net/base64.h"
#include "net/http_url.h"
#include "platform/ascii.h"
#include "platform/install_folder.h"
#include "search/settings.h"

namespace trovelane::cli {
namespace {

struct FetchOptions {
  std::string url;
  bool head = false;
  std::string post;
  bool isPost = false;
  std::string cookie;
  std::string referer;
  std::string proxy;  // HOST:PORT, instead of the configured proxy
  std::string proxyType = "cern";
  std::string proxyUser;  // USER:PASSWORD
  bool noProxy = false;   // connect directly whatever is configured
  int readSize = 0;       // 0: the configured read chunk size
  std::vector<std::string> resolve;
  // What an engine of today's web asks for (RequestOptions).
  std::string userAgent;
  std::vector<std::string> headers;  // "Name: value"
  bool http11 = false;
  bool compressed = false;
};

// Exit codes of the command.
constexpr int kExitUnreachable = 1;  // resolving, connecting, the proxy or TLS failed, a
                                     // time-out, no answer, or a body cut short
constexpr int kExitUsage = 2;        // malformed URL or option
constexpr int kExitInterrupted = 130;

// The settings of the install folder's "qmknet.dat" (all zero when there is
// none) and "trovelane.json" (the time-outs), with readChunkSize derived as at
// program start. Nothing is written.
NetworkSettings ConfiguredSettings(const GlobalOptions& global) {
  NetworkSettings settings;
  std::filesystem::path root =
      global.home.empty() ? DefaultInstallFolder() : std::filesystem::path(global.home);
  std::string file = InstallFolder(root).Resolve(kSettingsFileName);
  std::error_code error;
  if (!root.empty() && std::filesystem::exists(file, error)) {
    SettingsLoad load = LoadNetworkSettings(file, settings, [] { return std::string(); });
    if (!load.read.ok()) std::cerr << "fetch: " << load.read.message() << "\n";
  }
  if (!root.empty()) {
    ProgramOptionsLoad own =
        LoadProgramOptions(InstallFolder(root).Resolve(kProgramOptionsFileName), settings.program);
    if (!own.read.ok()) std::cerr << "fetch: " << own.read.message() << "\n";
  }
  DeriveReadChunkSize(settings);
  return settings;
}

// --proxy replaces the configured proxy, --no-proxy drops it.
ProxySettings ProxyFromOptions(const FetchOptions& o, const ProxySettings& configured) {
  ProxySettings proxy;
  if (o.noProxy) return proxy;
  if (o.proxy.empty()) return configured;
  // A login written into the value ("user:password@host:port") is refused
  // without repeating it: the password must not reach the terminal or a log.
  if (o.proxy.find('@') != std::string::npos) {
    std::cerr << "fetch: --proxy wants HOST:PORT, without a login (give it with --proxy-user "
                 "USER:PASSWORD)\n";
    throw CLI::RuntimeError(kExitUsage);
  }
  size_t colon = o.proxy.rfind(':');
  std::string port = colon == std::string::npos ? "" : o.proxy.substr(colon + 1);
  if (colon == 0 || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) == 0 ||
      std::stoi(port) > 65535) {
    std::cerr << "fetch: --proxy wants HOST:PORT, not " << o.proxy << "\n";
    throw CLI::RuntimeError(kExitUsage);
  }
  proxy.enabled = 1;
  proxy.host = o.proxy.substr(0, colon);
  proxy.port = std::stoi(port);
  proxy.type = o.proxyType == "socks5" ? kProxySocks5 : kProxyCern;
  if (!o.proxyUser.empty()) {
    proxy.requiresAuth = 1;
    proxy.credentials = Base64Encode(o.proxyUser);
  }
  return proxy;
}

void ReportFailure(const CHttpURL& page, const ProxySettings& proxy,
                   const ProgramOptions& timeouts) {
  std::string server = page.GetHost() + ":" + std::to_string(page.GetPort());
  std::string proxyName = proxy.host + ":" + std::to_string(proxy.port);
  std::string where = proxy.enabled ? "the proxy " + proxyName : server;
  switch (page.GetFailure()) {
    case OpenFailure::kResolve:
      std::cerr << "fetch: cannot resolve the name of " << where << "\n";
      break;
    case OpenFailure::kConnect:
      std::cerr << "fetch: cannot connect to " << where << "\n";
      break;
    case OpenFailure::kProxy:
      std::cerr << "fetch: the proxy " << proxyName << " failed for " << server << ": "
                << (page.GetFailureText().empty() ? "it refused the tunnel"
                                                  : page.GetFailureText())
                << " (check the proxy type and login)\n";
      break;
    case OpenFailure::kTls:
      std::cerr << "fetch: TLS with " << server
                << " failed (handshake, or a certificate that does not verify)\n";
      break;
    case OpenFailure::kTimedOut:
      std::cerr << "fetch: timed out: " << where << " did not answer in time (connect "
                << timeouts.connectTimeoutSeconds << " s, read " << timeouts.readTimeoutSeconds
                << " s; settings timeout.connect and timeout.read)\n";
      break;
    case OpenFailure::kHeadTooLarge:
    case OpenFailure::kInsecureRedirect:
    case OpenFailure::kNotHttp:
    case OpenFailure::kMalformedRedirect:
      // The text may quote the server's redirect target.
      std::cerr << "fetch: " << OneLine(server) << ": " << OneLine(page.GetFailureText()) << "\n";
      break;
    case OpenFailure::kCancelled:
    case OpenFailure::kNone:
      break;
  }
}

// The reason why an opened page has no answer to show, or empty when it has
// one: a server (or proxy) that closed or reset the connection, or that
// answered something other than HTTP.
std::string NoAnswerReason(const CHttpURL& page, const ProxySettings& proxy) {
  if (page.HasStatusLine()) return {};
  std::string who = proxy.enabled && proxy.type == kProxyCern
                        ? "the proxy " + proxy.host + ":" + std::to_string(proxy.port)
                        : page.GetHost() + ":" + std::to_string(page.GetPort());
  if (page.HeadFailed()) return who + " reset the connection without answering";
  if (page.GetHead().empty()) return who + " closed the connection without answering";
  std::string first = page.GetHead().substr(0, page.GetHead().find('\n'));
  std::string shown;
  for (char c : first.substr(0, 80)) {
    unsigned char u = static_cast<unsigned char>(c);
    shown += u < 0x20 || u >= 0x7F ? '?' : c;
  }
  return who + " did not answer in HTTP (no status line; it sent \"" + shown + "\")";
}

// Why the body read ended early, or empty when it was read whole.
std::string ReadFailureReason(const CHttpURL& page, const ProgramOptions& timeouts) {
  switch (page.GetReadFailure()) {
    case ReadFailure::kTruncated:
      return "the body ended before its Content-Length";
    case ReadFailure::kReset:
      return "the connection was reset while reading the body";
    case ReadFailure::kTimedOut:
      return "timed out: no data for " + std::to_string(timeouts.readTimeoutSeconds) +
             " s while reading the body";
    case ReadFailure::kMalformed:
    case ReadFailure::kTooLarge:
      return page.GetReadFailureText();
    case ReadFailure::kCancelled:
    case ReadFailure::kNone:
      break;
  }
  return {};
}

// --user-agent, --header, --http11 and --compressed, as an engine's
// definition would ask for them.
RequestOptions RequestOptionsFrom(const FetchOptions& o) {
  RequestOptions options;
  options.userAgent = o.userAgent;
  options.http11 = o.http11;
  options.acceptCompression = o.compressed;
  for (const std::string& header : o.headers) {
    size_t colon = header.find(':');
    if (colon == std::string::npos || colon == 0) {
      std::cerr << "fetch: --header wants \"Name: value\", not " << header << "\n";
      throw CLI::RuntimeError(kExitUsage);
    }
    std::string_view value = std::string_view(header).substr(colon + 1);
    options.extraHeaders.emplace_back(header.substr(0, colon), std::string(TrimBlanks(value)));
  }
  return options;
}

void RunFetch(const FetchOptions& o, const GlobalOptions& global) {
  NetworkSettings settings = ConfiguredSettings(global);
  ApplyResolveOptions(o.resolve, settings.program);
  ProxySettings proxy = ProxyFromOptions(o, settings.proxy);
  const int readSize = o.readSize > 0 ? o.readSize : settings.readChunkSize;
  CHttpURL page;
  page.SetTimeouts(settings.program);
  page.SetRequestOptions(RequestOptionsFrom(o));
  if (!page.SetURL(o.url, o.isPost).ok()) {
    std::cerr << "fetch: malformed URL: " << OneLine(o.url) << "\n";
    throw CLI::RuntimeError(kExitUsage);
  }
  if (!o.cookie.empty()) page.cookieToSend = o.cookie.c_str();

  // Ctrl-C cancels the fetch; the guard goes before the page does.
  InterruptGuard interrupt(&page);

  const bool opened =
      page.Open(settings.program.userAgent.c_str(), o.referer.empty() ? nullptr : o.referer.c_str(),
                o.isPost ? o.post.c_str() : nullptr, &proxy);
  if (!opened) {
    ReportFailure(page, proxy, settings.program);
    throw CLI::RuntimeError(page.GetFailure() == OpenFailure::kCancelled ? kExitInterrupted
                                                                         : kExitUnreachable);
  }
  if (o.head) std::cerr << page.GetHead() << "\n";
  if (std::string reason = NoAnswerReason(page, proxy); !reason.empty()) {
    page.Close();
    if (page.IsCancelled()) throw CLI::RuntimeError(kExitInterrupted);
    std::cerr << "fetch: " << reason << "\n";
    throw CLI::RuntimeError(kExitUnreachable);
  }

  std::vector<char> buffer(static_cast<size_t>(readSize));
  while (int n = page.Read(buffer.data(), readSize)) {
    fwrite(buffer.data(), 1, static_cast<size_t>(n), stdout);
  }
  fflush(stdout);
  page.Close();
  if (page.IsCancelled()) throw CLI::RuntimeError(kExitInterrupted);
  if (std::string reason = ReadFailureReason(page, settings.program); !reason.empty()) {
    std::cerr << "fetch: " << reason << "\n";
    throw CLI::RuntimeError(kExitUnreachable);
  }
}

}  // namespace

void AddFetchCommands(CLI::App& app, GlobalOptions& global) {
  auto options = std::make_shared<FetchOptions>();
  CLI::App* fetch = app.add_subcommand(
      "fetch",
      "Fetch one page as a search would; the body to stdout, the head with --head to stderr");
  fetch->add_option("url", options->url, "http://, https:// or ftp:// URL")->required();
  fetch->add_flag("--head", options->head, "Print the answer's head to stderr");
  fetch->add_option("--post", options->post, "Send a POST with this form body")
      ->each([options](const std::string&) { options->isPost = true; });
  fetch->add_option("--cookie", options->cookie, "Cookie header text, e.g. \"a=1;b=2\"");
  fetch->add_option("--referer", options->referer, "Referer header text");
  fetch->add_option("--proxy", options->proxy, "Proxy HOST:PORT instead of the configured one");
  fetch->add_option("--proxy-type", options->proxyType, "cern (HTTP proxy) or socks5")
      ->check(CLI::IsMember({"cern", "socks5"}));
  fetch->add_option("--proxy-user", options->proxyUser, "Proxy credentials USER:PASSWORD");
  fetch->add_flag("--no-proxy", options->noProxy, "Connect directly, whatever is configured");
  fetch
      ->add_option("--read-size", options->readSize,
                   "Bytes asked per read (default: from the connection speed setting)")
      ->check(CLI::Range(1, 1 << 24));
  AddResolveOption(fetch, options->resolve);
  fetch->add_option("--user-agent", options->userAgent,
                    "User-Agent instead of the configured one (settings user-agent)");
  fetch->add_option("-H,--header", options->headers, "Another header line \"Name: value\"")
      ->allow_extra_args(false);
  fetch->add_flag("--http11", options->http11,
                  "HTTP/1.1 with Connection: close (chunked answers decoded)");
  fetch->add_flag("--compressed", options->compressed,
                  "Ask for gzip or deflate and inflate the answer");
  // `global` lives as long as the application; it is filled before callbacks run.
  fetch->callback([options, &global] { RunFetch(*options, global); });
}

}  // namespace trovelane::cli
