#include "search/duplicate_filter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace trovelane {
namespace {

class DuplicateFilterTest : public ::testing::Test {
 protected:
  SearchOptions options_;
  DuplicateFilter filter_{options_};
};

TEST_F(DuplicateFilterTest, UrlModeFoldsCaseAndBlanksAndIgnoresText) {
  options_.duplicateMode = kDuplicateUrl;
  EXPECT_FALSE(filter_.IsDuplicate("http://Example.COM/Page", "one"));
  EXPECT_TRUE(filter_.IsDuplicate("  \thttp://example.com/page\r\n", "another title"));
  EXPECT_TRUE(filter_.IsDuplicate("HTTP://EXAMPLE.COM/PAGE", ""));
  EXPECT_FALSE(filter_.IsDuplicate("http://example.com/page/", "one"));
  // Only ASCII letters fold: 0xC9 and 0xE9 are different bytes.
  EXPECT_FALSE(filter_.IsDuplicate("http://x/\xC9", ""));
  EXPECT_FALSE(filter_.IsDuplicate("http://x/\xE9", ""));
  EXPECT_EQ(filter_.size(), 4u);
}

TEST_F(DuplicateFilterTest, TitleModeComparesTextsExactlyAfterTrimming) {
  options_.duplicateMode = kDuplicateTitle;
  EXPECT_FALSE(filter_.IsDuplicate("http://a/", "Cats and dogs"));
  EXPECT_TRUE(filter_.IsDuplicate("http://b/", " Cats and dogs "));
  EXPECT_FALSE(filter_.IsDuplicate("http://a/", "cats and dogs"));
  EXPECT_FALSE(filter_.IsDuplicate("http://a/", ""));
  EXPECT_TRUE(filter_.IsDuplicate("http://c/", "   "));
}

TEST_F(DuplicateFilterTest, NoneModeNeverDropsAResult) {
  for (int32_t mode : {int32_t{kDuplicateNone}, int32_t{7}, int32_t{-1}}) {
    options_.duplicateMode = mode;
    filter_.ResetDuplicates();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(filter_.IsDuplicate("http://a/", "a")) << mode;
    EXPECT_EQ(filter_.size(), 3u);
  }
}

// A worker hands over URLs of up to 1023 bytes and the store keeps them
// whole, so URLs that first differ after byte 511 are different results.
TEST_F(DuplicateFilterTest, KeysAreCutTo1023And255Characters) {
  options_.duplicateMode = kDuplicateUrl;
  const std::string shared = "http://example.com/" + std::string(492, 'p');
  ASSERT_EQ(shared.size(), 511u);
  EXPECT_FALSE(filter_.IsDuplicate(shared + "first", ""));
  EXPECT_FALSE(filter_.IsDuplicate(shared + "second", ""));
  EXPECT_TRUE(filter_.IsDuplicate(shared + "FIRST", ""));

  const std::string base = "http://example.com/" + std::string(1004, 'p');
  ASSERT_EQ(base.size(), 1023u);
  EXPECT_FALSE(filter_.IsDuplicate(base + "first", ""));
  EXPECT_TRUE(filter_.IsDuplicate(base + "second", ""));
  EXPECT_FALSE(filter_.IsDuplicate(base.substr(0, 1022) + "q", ""));

  options_.duplicateMode = kDuplicateTitle;
  filter_.ResetDuplicates();
  const std::string title(255, 't');
  EXPECT_FALSE(filter_.IsDuplicate("http://a/", title + "1"));
  EXPECT_TRUE(filter_.IsDuplicate("http://b/", title + "2"));
}

TEST_F(DuplicateFilterTest, ResetForgetsEveryKey) {
  EXPECT_FALSE(filter_.IsDuplicate("http://a/", ""));
  filter_.ResetDuplicates();
  EXPECT_EQ(filter_.size(), 0u);
  EXPECT_FALSE(filter_.IsDuplicate("http://a/", ""));
}

TEST_F(DuplicateFilterTest, AModeChangeAppliesToKeysRecordedBefore) {
  options_.duplicateMode = kDuplicateNone;
  EXPECT_FALSE(filter_.IsDuplicate("http://a/", "same"));
  EXPECT_FALSE(filter_.IsDuplicate("http://b/", "same"));
  options_.duplicateMode = kDuplicateUrl;
  EXPECT_TRUE(filter_.IsDuplicate("http://A/", "other"));
  options_.duplicateMode = kDuplicateTitle;
  EXPECT_TRUE(filter_.IsDuplicate("http://c/", "same"));
  EXPECT_FALSE(filter_.IsDuplicate("http://c/", "new"));
  options_.duplicateMode = kDuplicateUrl;
  EXPECT_TRUE(filter_.IsDuplicate("http://C/", ""));
}

TEST_F(DuplicateFilterTest, EightThreadsAtOnceSeeEachKeyAsNewExactlyOnce) {
  options_.duplicateMode = kDuplicateUrl;
  constexpr int kKeys = 3000;
  constexpr int kThreads = 8;
  std::vector<std::atomic<int>> fresh(kKeys);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      // Each thread walks the keys from a different place, in its own case.
      for (int n = 0; n < kKeys; ++n) {
        int k = (n + t * kKeys / kThreads) % kKeys;
        std::string url = (t % 2 ? "HTTP://HOST/" : "http://host/") + std::to_string(k);
        if (!filter_.IsDuplicate(url, "")) fresh[k].fetch_add(1);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int k = 0; k < kKeys; ++k) ASSERT_EQ(fresh[k].load(), 1) << "key " << k;
  EXPECT_EQ(filter_.size(), static_cast<size_t>(kKeys));
}

}  // namespace
}  // namespace trovelane
