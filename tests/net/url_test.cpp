#include "net/url.h"

#include <gtest/gtest.h>

#include "net/http_url.h"

namespace trovelane {
namespace {

// The URL of a text the parser must accept.
Url Parsed(std::string_view text) {
  Url url;
  EXPECT_TRUE(ParseUrl(text, &url).ok()) << text;
  return url;
}

struct Expected {
  const char* text;
  const char* host;
  int32_t port;
  const char* path;
  bool isFtp;
  bool isHttps;
};

TEST(ParseUrl, AcceptedForms) {
  const Expected cases[] = {
      {"http://h", "h", 80, "/", false, false},
      {"HTTP://h:8080/a/b?x=1#f", "h", 8080, "/a/b?x=1#f", false, false},
      {"https://h", "h", 443, "/", false, true},
      {"HttpS://h:8443/x", "h", 8443, "/x", false, true},
      {"ftp://u:p@h/pub", "u:p@h", 21, "/pub", true, false},
      {"ftp://h:2121/pub", "h", 2121, "/pub", true, false},
      {"ftp://h", "h", 21, "/", true, false},
      {"h/x", "", 80, "h/x", false, false},
      {"/relative", "", 80, "/relative", false, false},
      {"", "", 80, "/", false, false},
      // The host runs to '/' or ':' only.
      {"http://h?q=1", "h?q=1", 80, "/", false, false},
      {"http://h:65535/", "h", 65535, "/", false, false},
      {"https://h:0000443/", "h", 443, "/", false, true},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(e.text);
    Url url = Parsed(e.text);
    EXPECT_EQ(url.host, e.host);
    EXPECT_EQ(url.port, e.port);
    EXPECT_EQ(url.path, e.path);
    EXPECT_EQ(url.isFtp, e.isFtp);
    EXPECT_EQ(url.isHttps, e.isHttps);
  }
}

TEST(ParseUrl, Rejections) {
  const std::string longHost(kMaxHostLength + 1, 'h');
  const std::string longPath = "/" + std::string(kMaxPathLength, 'p');
  const std::string longUser(kMaxCredentialLength + 1, 'u');
  const std::string rejected[] = {
      "http://h:/x",
      "http://h:0/x",
      "http://h:8a/x",
      "http://:80/x",
      "http://",
      "https://:1/",
      "http://u:p@h/x",
      "ftp://",
      "ftp://:21/x",
      "http://h:12345678",
      // No port above 65535: its low 16 bits would name another one.
      "http://127.0.0.1:103719/",
      "http://h:65536/",
      "ftp://u:p@h:9999999/",
      "http://" + longHost,
      "http://h" + longPath,
      "ftp://" + longUser + ":p@h/",
      "ftp://u:p@" + longHost.substr(3),
      std::string(kMaxPathLength + 1, 'x'),
      // Line breaks or a NUL would let a URL write header lines of its own.
      "http://h/a\r\nX-Injected: 1",
      "http://h/a\nb",
      std::string("http://h/a\0b", 12),
  };
  for (const std::string& text : rejected) {
    SCOPED_TRACE(text.substr(0, 60));
    // Refused with no text of its own, and the URL is left alone.
    Url kept;
    kept.host = "kept";
    const Status status = ParseUrl(text, &kept);
    EXPECT_EQ(status.code(), Status::Code::kInvalidArgument);
    EXPECT_TRUE(status.message().empty());
    EXPECT_EQ(kept.host, "kept");
  }
}

TEST(RequestTarget, EncodesOnlyWhatCannotStandInARequestLine) {
  // A phrase's blank, a tab, DEL and bytes above 127 are escaped; escapes
  // already written, '+' and the query's own punctuation pass unchanged.
  EXPECT_EQ(RequestTarget("/s?q=%22new york%22&x=a+b"), "/s?q=%22new%20york%22&x=a+b");
  EXPECT_EQ(RequestTarget(std::string("/a\tb\x7f\xe9\x01", 7)), "/a%09b%7F%E9%01");
  EXPECT_EQ(RequestTarget("/"), "/");
  EXPECT_EQ(RequestTarget(""), "");
}

TEST(ParseUrl, FieldsAtTheirWidthAreAccepted) {
  const std::string host(kMaxHostLength, 'h');
  const std::string path = "/" + std::string(kMaxPathLength - 1, 'p');
  Url url = Parsed("http://" + host + path);
  EXPECT_EQ(url.host, host);
  EXPECT_EQ(url.path, path);
  EXPECT_EQ(Parsed("http://h:0065535/").port, 65535);
}

// SetURL resets the object whether or not it takes the URL; a refused URL
// leaves no host to connect to.
TEST(SetURL, ResetsTheObjectAndReportsARefusedUrl) {
  CHttpURL page;
  std::string sink;
  ASSERT_TRUE(page.SetURL("http://first.test:8080/a", true).ok());
  EXPECT_EQ(page.GetHost(), "first.test");
  EXPECT_EQ(page.GetPort(), 8080);
  page.cookieSink = &sink;
  page.cookieToSend = "a=1";

  const Status refused = page.SetURL("http://:1/", false);
  EXPECT_EQ(refused.code(), Status::Code::kInvalidArgument);
  EXPECT_TRUE(refused.message().empty());
  EXPECT_EQ(page.GetHost(), "");
  EXPECT_EQ(page.cookieSink, nullptr);
  EXPECT_EQ(page.cookieToSend, nullptr);
  EXPECT_FALSE(page.IsConnected());
}

}  // namespace
}  // namespace trovelane
