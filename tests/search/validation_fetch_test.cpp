// The validation fetch against pages served on loopback: what it accepts,
// where it stops reading, and the relevance it gives.
#include "search/validation_fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "search/accept_link.h"
#include "tests/support/loopback_server.h"

namespace trovelane {
namespace {

using namespace std::chrono_literals;
using test::Answer;
using test::HttpResponse;
using test::LoopbackServer;
using test::ServerConnection;

// Cancels a connection when a test would otherwise wait for ever.
class Watchdog {
 public:
  explicit Watchdog(CHttpURL& connection) : connection_(connection) {
    thread_ = std::thread([this] {
      for (int i = 0; i < 100 && !done_; ++i) std::this_thread::sleep_for(50ms);
      if (!done_) connection_.Cancel();
    });
  }
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  CHttpURL& connection_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class ValidationFetchTest : public ::testing::Test {
 protected:
  ValidationFetchTest() {
    settings.readChunkSize = 64;
    settings.search.weights = {5, 3, 9, 0, 0, 0, 0, 0};
    settings.search.maxRelevance = 14;
  }

  int Validate(const std::string& url, const std::string& expressionText, int* relevance) {
    auto expression = ParseExpression(expressionText);
    EXPECT_TRUE(expression.has_value());
    Watchdog watchdog(connection);
    return ValidationFetch(connection, url, *expression, settings, relevance,
                           [this](const std::string& text) { statuses.push_back(text); });
  }

  NetworkSettings settings;
  CHttpURL connection;
  std::vector<std::string> statuses;
};

const std::string kPage =
    "<html><head><title>river news</title></head><body><h2>lantern</h2>"
    "<p>a page about the river and its lantern</p></body></html>";

TEST_F(ValidationFetchTest, AcceptsAPageThatSatisfiesTheExpressionInBothModes) {
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "", kPage)));
  EXPECT_EQ(Validate(server.Url("/p/1.html"), "river & lantern", nullptr), 1);
  int relevance = -5;
  EXPECT_EQ(Validate(server.Url("/p/1.html"), "river & lantern", &relevance), 1);
  // river: title 5; lantern: heading 2, 9. (5 + 9) * 100 / (14 * 2).
  EXPECT_EQ(relevance, 50);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(),
            "Scanning /p/1.html..." + std::to_string(kPage.size() % 64) + " bytes");
  // No referer, the program's user agent.
  const std::string request = server.Received(1);
  EXPECT_EQ(request.find("Referer"), std::string::npos);
  EXPECT_NE(request.find(std::string("User-Agent: ") + kDefaultUserAgent),
            std::string::npos);
}

TEST_F(ValidationFetchTest, RejectsPagesThatAreGoneOrLackTheTerms) {
  LoopbackServer server([](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    if (request.find("/gone") != std::string::npos) {
      // An error page that happens to hold the terms is still no page.
      c.Send(HttpResponse("HTTP/1.0 404 Not Found", "", "<title>river lantern</title>"));
    } else if (request.find("/moved") != std::string::npos) {
      c.Send(HttpResponse("HTTP/1.0 302 Found", "Location: /other.html\r\n", ""));
    } else {
      c.Send(HttpResponse("HTTP/1.0 200 OK", "", kPage));
    }
    c.ShutdownWrite();
    c.ReadToEnd();
  });
  int relevance = 77;
  for (int* out : {static_cast<int*>(nullptr), &relevance}) {
    EXPECT_EQ(Validate(server.Url("/gone.html"), "river", out), 0);
    EXPECT_EQ(Validate(server.Url("/p.html"), "granite", out), 0);
    EXPECT_EQ(Validate(server.Url("/p.html"), "river & !lantern", out), 0);
    EXPECT_EQ(Validate(server.Url("/moved.html"), "river", out), 1);  // redirects are followed
  }
  EXPECT_EQ(relevance, 35);  // set only by the page that passed: 5 * 100 / 14
}

TEST_F(ValidationFetchTest, UnreachableMalformedAndCancelledGiveZeroAtOnce) {
  int port = 0;
  {
    LoopbackServer closed(Answer(""));
    port = closed.port();
  }
  EXPECT_EQ(Validate("http://127.0.0.1:" + std::to_string(port) + "/x.html", "river", nullptr), 0);
  EXPECT_EQ(Validate("http://127.0.0.1:0/x.html", "river", nullptr), 0);

  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "", kPage)));
  connection.Cancel();
  EXPECT_EQ(Validate(server.Url("/p.html"), "river", nullptr), 0);
  EXPECT_EQ(server.ConnectionCount(), 0u);
  connection.ResetCancel();
  EXPECT_EQ(Validate(server.Url("/p.html"), "river", nullptr), 1);
}

// Sends the body in two parts with a pause between, so that they arrive as
// two reads. With `closedEarly` it never sends the second part and records
// whether the client hung up without it.
LoopbackServer::Handler TwoParts(std::string first, std::string second,
                                 std::atomic<bool>* closedEarly) {
  return [=](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.0 200 OK\r\n\r\n" + first);
    std::this_thread::sleep_for(100ms);
    if (closedEarly) {
      // The client has what it needs: it must hang up without the rest.
      c.ReadToEnd();
      *closedEarly = true;
      return;
    }
    c.Send(second);
    c.ShutdownWrite();
    c.ReadToEnd();
  };
}

TEST_F(ValidationFetchTest, ASilentServerTimesOutAndACutPageProvesNothing) {
  settings.program.readTimeoutSeconds = 1;
  LoopbackServer silent([](ServerConnection& c) { c.WaitForStop(); });
  int relevance = -5;
  EXPECT_EQ(Validate(silent.Url("/p"), "river", &relevance), 0);
  EXPECT_TRUE(connection.TimedOut()) << "ended by the read time-out, not the watchdog";

  // The rest of the page, which never came, might hold the negated term.
  const std::string head =
      HttpResponse("HTTP/1.0 200 OK", "Content-Length: 500\r\n", "", false);
  LoopbackServer cut(Answer(head + "<p>the river</p>"));
  EXPECT_EQ(Validate(cut.Url("/p"), "river & !lantern", &relevance), 0);
  LoopbackServer whole(Answer(HttpResponse("HTTP/1.0 200 OK", "", "<p>the river</p>")));
  EXPECT_EQ(Validate(whole.Url("/p"), "river & !lantern", &relevance), 1);
}

TEST_F(ValidationFetchTest, ATermSplitBetweenTwoReadsIsFound) {
  LoopbackServer server(TwoParts("<p>about the gra", "nite quarry</p>", nullptr));
  EXPECT_EQ(Validate(server.Url("/split.html"), "granite", nullptr), 1);
  EXPECT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], "Scanning /split.html...16 bytes");
}

TEST_F(ValidationFetchTest, ValidationStopsReadingOnceTheTermsAreFound) {
  std::atomic<bool> closedEarly{false};
  LoopbackServer server(TwoParts("<title>river lantern</title>", "", &closedEarly));
  EXPECT_EQ(Validate(server.Url("/early.html"), "river & lantern", nullptr), 1);
  EXPECT_EQ(statuses.size(), 1u);
  server.Received(0);  // waits for the handler to end
  EXPECT_TRUE(closedEarly);
  // A negated term is waited for: the page might hold it further on.
  LoopbackServer waits(TwoParts("<title>river</title>", " lantern", nullptr));
  EXPECT_EQ(Validate(waits.Url("/late.html"), "river & !lantern", nullptr), 0);
}

TEST_F(ValidationFetchTest, TheWindowHoldsOnlyTwoReads) {
  settings.readChunkSize = 4;
  LoopbackServer server(Answer(HttpResponse("HTTP/1.0 200 OK", "", "xx granite xx")));
  // "granite" needs three reads of 4 bytes: it is not found.
  EXPECT_EQ(Validate(server.Url("/small.html"), "granite", nullptr), 0);
  int relevance = 0;
  EXPECT_EQ(Validate(server.Url("/small.html"), "granite", &relevance), 1);
  EXPECT_EQ(relevance, 0);  // present, but nowhere scored
}

TEST_F(ValidationFetchTest, StopDuringTheFetchEndsItWithZero) {
  LoopbackServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.0 200 OK\r\n\r\n<title>river</title>");
    c.WaitForStop();
  });
  auto expression = ParseExpression("river & !granite");
  ASSERT_TRUE(expression);
  std::thread stopper([this] {
    std::this_thread::sleep_for(100ms);
    connection.Cancel();
  });
  int relevance = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ValidationFetch(connection, server.Url("/hang.html"), *expression, settings, &relevance,
                            nullptr),
            0);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(ValidationFetchTest, TheAcceptFilterValidatesThroughTheWorkersConnection) {
  LoopbackServer server([](ServerConnection& c) {
    const std::string request = c.ReadRequest();
    const bool gone = request.find("/gone") != std::string::npos;
    c.Send(gone ? HttpResponse("HTTP/1.0 404 Not Found", "", "river")
                : HttpResponse("HTTP/1.0 200 OK", "", kPage));
    c.ShutdownWrite();
    c.ReadToEnd();
  });
  EngineDefinition engine;
  engine.searchUrl = server.Url("/search");
  engine.searchedFileTypes = {"html"};
  auto expression = ParseExpression("river");
  ASSERT_TRUE(expression);
  LinkCheck check;
  check.expression = &*expression;
  check.settings = &settings;
  check.validationConnection = &connection;
  check.status = [this](const std::string& text) { statuses.push_back(text); };

  check.validationMode = kValidationValRel;
  EXPECT_NE(AcceptResultLink(engine, check, server.Url("/a.html"), "A"), 0);
  EXPECT_EQ(check.validated, 1);
  EXPECT_EQ(check.relevance, 35);
  EXPECT_EQ(AcceptResultLink(engine, check, server.Url("/gone.html"), "G"), 0);
  EXPECT_EQ(check.validated, 1);
  EXPECT_EQ(check.relevance, 0);

  check.validationMode = kValidationVal;
  EXPECT_NE(AcceptResultLink(engine, check, server.Url("/b.html"), "B"), 0);
  EXPECT_EQ(check.relevance, 0);
  EXPECT_FALSE(statuses.empty());

  connection.Cancel();  // Stop: nothing more is fetched or accepted
  const size_t fetched = server.ConnectionCount();
  EXPECT_EQ(AcceptResultLink(engine, check, server.Url("/c.html"), "C"), 0);
  EXPECT_EQ(server.ConnectionCount(), fetched);
}

}  // namespace
}  // namespace trovelane
