// A search through a SOCKS 5 proxy (with a login) and through an HTTP proxy
// lists exactly what the direct search lists.
#include <gtest/gtest.h>

#include <set>

#include "net/base64.h"
#include "tests/search/search_fixture.h"
#include "tests/support/proxy_process.h"

namespace trovelane::testing {
namespace {

class ProxySearchTest : public SampleSearchTest {
 protected:
  std::set<std::string> Found(const std::string& text) {
    events_.results.clear();
    EXPECT_TRUE(Search(text));
    Strings urls = ResultUrls();
    return {urls.begin(), urls.end()};
  }
  using Strings = std::vector<std::string>;
};

TEST_F(ProxySearchTest, ThroughSocks5AndCernTheResultsAreTheSame) {
  Use({"offset0", "page0", "cookie", "post", "indirect"});
  const std::set<std::string> direct = Found("river");
  ASSERT_GT(direct.size(), 50u);

  test::ProxyProcess socks = test::ProxyProcess::Microsocks("alice", "s3cret");
  settings_.proxy.enabled = 1;
  settings_.proxy.host = "127.0.0.1";
  settings_.proxy.port = socks.port();
  settings_.proxy.type = kProxySocks5;
  settings_.proxy.requiresAuth = 1;
  settings_.proxy.credentials = Base64Encode("alice:s3cret");
  EXPECT_EQ(Found("river"), direct);

  // tinyproxy passes on only the first of several Set-Cookie lines of an
  // answer, and the cookie engine's consent page sends two: leave it out.
  Use({"offset0", "page0", "post", "indirect"});
  settings_.proxy.enabled = 0;
  const std::set<std::string> directWithoutCookies = Found("river");
  settings_.proxy.enabled = 1;
  test::ProxyProcess cern = test::ProxyProcess::Tinyproxy();
  settings_.proxy.port = cern.port();
  settings_.proxy.type = kProxyCern;
  settings_.proxy.requiresAuth = 0;
  settings_.proxy.credentials.clear();
  EXPECT_EQ(Found("river"), directWithoutCookies);
}

}  // namespace
}  // namespace trovelane::testing
