// trovelane-cli fetch as a user runs it: the body on stdout, the head on
// stderr, the exit status, and the proxy options.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "net/base64.h"
#include "app/settings_file.h"
#include "net/connection_settings.h"
#include "platform/socket.h"
#include "tests/support/https_fixture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/resetting_server.h"

namespace trovelane {
namespace {

using test::Answer;
using test::HttpResponse;
using test::LoopbackServer;
using test::ResettingServer;
using test::ServerConnection;

struct CliRun {
  int status;
  std::string out, err;
};

// Runs trovelane-cli with `arguments` (shell words) and collects its output.
// Without a --home of its own it gets an empty install folder, so that the
// settings of whoever runs the tests stay out of them.
CliRun RunCli(const std::string& arguments) {
  char folder[] = "/tmp/trovelane-cli-test-XXXXXX";
  EXPECT_NE(mkdtemp(folder), nullptr);
  std::string out = std::string(folder) + "/out", err = std::string(folder) + "/err";
  std::string home =
      arguments.rfind("--home ", 0) == 0 ? "" : "--home " + std::string(folder) + " ";
  int rc = std::system(
      (std::string(TROVELANE_CLI_PATH) + " " + home + arguments + " >" + out + " 2>" + err)
          .c_str());
  auto slurp = [](const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  };
  CliRun run{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(out), slurp(err)};
  std::system(("rm -rf " + std::string(folder)).c_str());
  return run;
}

TEST(FetchCommand, BodyToStdoutHeadToStderr) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "X-Engine: test\r\n", "the body")));
  CliRun run = RunCli("fetch --head --cookie 'a=1' --referer http://from/ " + server.Url("/q"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "the body");
  EXPECT_NE(run.err.find("HTTP/1.0 200 OK\r\nX-Engine: test\r\n"), std::string::npos);
  std::string request = server.Received(0);
  EXPECT_NE(request.find("\r\nReferer: http://from/\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nCookie: a=1\r\n"), std::string::npos);

  // A body that cannot be written is no success.
  const int lost = std::system((std::string(TROVELANE_CLI_PATH) + " --home /nonexistent fetch " +
                                server.Url("/q") + " >/dev/full 2>/dev/null")
                                   .c_str());
  EXPECT_TRUE(WIFEXITED(lost) && WEXITSTATUS(lost) == 1) << lost;
}

TEST(FetchCommand, PostAndProxyOptionsReachTheWire) {
  LoopbackServer proxy(Answer(HttpResponse("HTTP/1.0 200 OK", "", "via proxy")));
  CliRun run = RunCli("fetch --post 'q=x' --proxy 127.0.0.1:" + std::to_string(proxy.port()) +
                      " --proxy-type cern --proxy-user u:p http://h.example/s");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "via proxy");
  std::string request = proxy.Received(0);
  EXPECT_EQ(request.substr(0, 37), "POST http://h.example/s HTTP/1.0\r\nAcc");
  EXPECT_NE(request.find("\r\nProxy-Authorization: Basic dTpw\r\n"), std::string::npos);
  EXPECT_EQ(request.substr(request.size() - 7), "\r\n\r\nq=x");
}

TEST(FetchCommand, UsesTheConfiguredProxyUnlessToldOtherwise) {
  LoopbackServer proxy(Answer(HttpResponse("HTTP/1.0 200 OK", "", "via configured proxy")));
  LoopbackServer direct(Answer(HttpResponse("HTTP/1.0 200 OK", "", "direct")));
  char home[] = "/tmp/trovelane-cli-home-XXXXXX";
  ASSERT_NE(mkdtemp(home), nullptr);
  NetworkSettings settings;
  settings.proxy.enabled = 1;
  settings.proxy.host = "127.0.0.1";
  settings.proxy.port = proxy.port();
  settings.proxy.type = kProxyCern;
  settings.proxy.requiresAuth = 1;
  settings.proxy.credentials = Base64Encode("u:p");
  ASSERT_TRUE(SaveNetworkSettings(std::string(home) + "/" + kSettingsFileName, settings).ok());

  CliRun viaProxy = RunCli(std::string("--home ") + home + " fetch http://h.example/x");
  EXPECT_EQ(viaProxy.out, "via configured proxy");
  EXPECT_NE(proxy.Received(0).find("GET http://h.example/x HTTP/1.0\r\n"), std::string::npos);
  EXPECT_NE(proxy.Received(0).find("\r\nProxy-Authorization: Basic dTpw\r\n"), std::string::npos);

  CliRun noProxy = RunCli(std::string("--home ") + home + " fetch --no-proxy " + direct.Url("/"));
  EXPECT_EQ(noProxy.out, "direct");
  EXPECT_EQ(proxy.ConnectionCount(), 1u);
  std::system((std::string("rm -rf ") + home).c_str());
}

TEST(FetchCommand, ExitStatusSaysWhatFailed) {
  EXPECT_EQ(RunCli("fetch http://:0/").status, 2);
  EXPECT_EQ(RunCli("fetch --proxy nocolon http://h/").status, 2);
  // A login in the value is refused without being repeated.
  CliRun login = RunCli("fetch --proxy alice:s3cret@127.0.0.1:9 http://h/");
  EXPECT_EQ(login.status, 2);
  EXPECT_EQ(login.err.find("s3cret"), std::string::npos) << login.err;
  EXPECT_NE(login.err.find("--proxy-user"), std::string::npos) << login.err;
  CliRun unreachable = RunCli("fetch http://no-such-host.invalid/");
  EXPECT_EQ(unreachable.status, 1);
  EXPECT_NE(unreachable.err.find("cannot resolve the name of no-such-host.invalid:80"),
            std::string::npos);
}

TEST(FetchCommand, ARedirectToNoUrlIsAFailureThatQuotesItWithoutControls) {
  LoopbackServer server(
      Answer(HttpResponse("HTTP/1.0 302 Found", "Location: http://:0/\x1b[2J\r\n", "")));
  CliRun run = RunCli("fetch " + server.Url("/"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the redirect target is not a URL: http://:0/"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.out, "");
}

TEST(FetchCommand, AnAnswerWithoutAStatusLineIsAFailureThatSaysWhy) {
  LoopbackServer closes(Answer(""));
  LoopbackServer garbage(Answer("SSH-2.0-banner\r\n"));
  LoopbackServer needsLogin(Answer(HttpResponse("HTTP/1.0 407 Proxy Authentication Required",
                                                "Proxy-Authenticate: Basic realm=\"p\"\r\n",
                                                "login first")));
  ResettingServer resets;
  auto viaCern = [](const LoopbackServer& proxy) {
    return "fetch --proxy 127.0.0.1:" + std::to_string(proxy.port()) + " http://h.example/";
  };
  struct Case {
    std::string arguments;
    std::string reason;
  };
  const Case cases[] = {
      {"fetch " + closes.Url(), "closed the connection without answering"},
      {"fetch " + garbage.Url(), "did not answer in HTTP (no status line; it sent \"SSH-2.0-banner"},
      {"fetch " + resets.Url(), "reset the connection without answering"},
      {viaCern(closes), "the proxy 127.0.0.1:" + std::to_string(closes.port()) + " closed"},
      {viaCern(garbage), "the proxy 127.0.0.1:" + std::to_string(garbage.port()) + " did not"},
      {viaCern(needsLogin), "asks for credentials (407 Proxy Authentication Required)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    CliRun run = RunCli(c.arguments);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
  }
  // A 407 from a server reached directly is a page like any other.
  EXPECT_EQ(RunCli("fetch " + needsLogin.Url()).status, 0);
}

TEST(FetchCommand, TimeOutsFromTheSettingsEndASilentServerAndACutBodyFails) {
  LoopbackServer silent([](ServerConnection& c) { c.WaitForStop(); });
  LoopbackServer cut(Answer(HttpResponse("HTTP/1.0 200 OK", "Content-Length: 9\r\n", "", false) +
                            "part"));
  char home[] = "/tmp/trovelane-cli-home-XXXXXX";
  ASSERT_NE(mkdtemp(home), nullptr);
  const std::string withHome = std::string("--home ") + home + " ";
  ASSERT_EQ(RunCli(withHome + "settings set timeout.read 1").status, 0);

  const auto start = std::chrono::steady_clock::now();
  CliRun timedOut = RunCli(withHome + "fetch " + silent.Url());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << "hang guard";
  EXPECT_EQ(timedOut.status, 1);
  EXPECT_NE(timedOut.err.find("timed out"), std::string::npos) << timedOut.err;

  CliRun short_ = RunCli(withHome + "fetch " + cut.Url());
  EXPECT_EQ(short_.status, 1);
  EXPECT_EQ(short_.out, "part");
  EXPECT_NE(short_.err.find("the body ended before its Content-Length"), std::string::npos);
  std::system((std::string("rm -rf ") + home).c_str());
}

TEST(FetchCommand, ResolveSendsTheConnectionElsewhereAndKeepsTheHost) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "", "fixture page")));
  const std::string port = std::to_string(server.port());
  CliRun run = RunCli("fetch --resolve engine.test:" + port + ":127.0.0.1 http://engine.test:" +
                      port + "/q");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "fixture page");
  const std::string request = server.Received(0);
  EXPECT_NE(request.find("\r\nHost: engine.test:" + port + "\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find(std::string("\r\nUser-Agent: ") + kDefaultUserAgent + "\r\n"),
            std::string::npos)
      << "the program's default: a current browser";

  for (const char* bad : {"engine.test:80", "engine.test:0:127.0.0.1", "engine.test:80:localhost",
                          ":80:127.0.0.1"}) {
    CliRun refused = RunCli(std::string("fetch --resolve ") + bad + " http://engine.test/");
    EXPECT_EQ(refused.status, 2) << bad;
    EXPECT_NE(refused.err.find("--resolve: "), std::string::npos) << refused.err;
  }
}

TEST(FetchCommand, RequestsAsAnEngineOfTodayAsksForThem) {
  const std::string page = "<html>" + std::string(20000, 'x') + "</html>";
  LoopbackServer server(Answer(
      "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
      test::ChunkedBytes(test::GzipBytes(page), 500)));
  CliRun run = RunCli("fetch --http11 --compressed --user-agent 'Engine Agent/2' "
                      "-H 'Referer: https://html.engine/' -H 'X-Engine: yes' " +
                      server.Url("/html/"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out == page) << run.out.size();
  const std::string request = server.Received(0);
  EXPECT_EQ(request.rfind("GET /html/ HTTP/1.1\r\n", 0), 0u) << request;
  for (const char* line : {"\r\nUser-Agent: Engine Agent/2\r\n", "\r\nConnection: close\r\n",
                           "\r\nAccept-Encoding: gzip, deflate\r\n",
                           "\r\nReferer: https://html.engine/\r\n", "\r\nX-Engine: yes\r\n"}) {
    EXPECT_NE(request.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(RunCli("fetch -H 'no colon' " + server.Url("/")).status, 2);
}

TEST(FetchCommand, TheUserAgentAndResolveSettingsOfTrovelaneJsonApply) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "", "ok")));
  const std::string port = std::to_string(server.port());
  char home[] = "/tmp/trovelane-cli-home-XXXXXX";
  ASSERT_NE(mkdtemp(home), nullptr);
  std::ofstream(std::string(home) + "/trovelane.json")
      << R"({"userAgent": "Json Agent/1.0", "resolve": ["json.test:)" << port
      << R"(:127.0.0.1"]})";
  CliRun run = RunCli(std::string("--home ") + home + " fetch http://json.test:" + port + "/");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(server.Received(0).find("\r\nUser-Agent: Json Agent/1.0\r\n"), std::string::npos);
  std::system((std::string("rm -rf ") + home).c_str());
}

TEST(FetchCommand, AnHttpsFixtureUnderAPublicNameThroughResolveAndSslCertFile) {
  if (!test::HttpsFixtureServer::CanListenOnPort443()) {
    GTEST_SKIP() << "port 443 needs root or net.ipv4.ip_unprivileged_port_start <= 443";
  }
  test::HttpsFixtureServer fixture({"html.duckduckgo.com", "www.mojeek.com"},
                                   [](const test::FixtureRequest& request) {
                                     test::FixtureResponse response;
                                     response.body = "modelled page for " + request.Host();
                                     return response;
                                   });
  std::string resolve;
  for (const std::string& argument : fixture.ResolveArguments()) resolve += argument + " ";
  setenv("SSL_CERT_FILE", fixture.CaFile().c_str(), 1);
  CliRun run = RunCli("fetch " + resolve + "https://www.mojeek.com/search?q=river");
  unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "modelled page for www.mojeek.com");
  ASSERT_EQ(fixture.Requests().size(), 1u);
  EXPECT_EQ(fixture.Requests()[0].serverName, "www.mojeek.com");
}

TEST(FetchCommand, TheLoopbackGuardStopsTheProgramLoudly) {
  setenv(kLoopbackOnlyVariable, "1", 1);
  CliRun outside = RunCli("fetch http://192.0.2.1/");
  EXPECT_NE(outside.status, 0);
  EXPECT_NE(outside.err.find("refused to connect to 192.0.2.1 port 80"), std::string::npos)
      << outside.err;
  CliRun publicName = RunCli("fetch https://html.duckduckgo.com/html/");
  EXPECT_NE(publicName.status, 0);
  EXPECT_NE(publicName.err.find("refused to look up the name html.duckduckgo.com"),
            std::string::npos)
      << publicName.err;
}

}  // namespace
}  // namespace trovelane
