#include "app/ad_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <set>
#include <thread>

#include "gif/qmimglib.h"
#include "net/http_url.h"
#include "tests/support/gif_encoder.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ScratchFolder;

AdImageCodec RealCodec() {
  return {[](const char* path) { return QMGIFInit(path); },
          [](tagQMGIFINITINFO* info) { QMGIFCleanup(info); }};
}

std::string Gif(int width, int height) {
  test::GifImageOptions image;
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width * height), 1);
  test::Bytes bytes = test::GifBuilder(width, height)
                          .GlobalTable(test::DistinctColors(4))
                          .Image(image)
                          .Finish();
  return std::string(bytes.begin(), bytes.end());
}

std::string RequestPath(const std::string& request) {
  size_t start = request.find(' ') + 1;
  return request.substr(start, request.find(' ', start) - start);
}

// Answers each path from `pages`; any other path gets 404. A path ending in
// "-cut" announces more bytes than it sends, then closes.
test::LoopbackServer::Handler Pages(std::map<std::string, std::string> pages) {
  return [pages = std::move(pages)](test::ServerConnection& c) {
    std::string path = RequestPath(c.ReadRequest());
    auto found = pages.find(path);
    if (found == pages.end()) {
      c.Send("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
      return;
    }
    bool cut = path.size() > 4 && path.compare(path.size() - 4, 4, "-cut") == 0;
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: " +
           std::to_string(found->second.size() + (cut ? 10 : 0)) + "\r\n\r\n" + found->second);
  };
}

TEST(AdListLineTest, FieldsRunToWhiteSpaceAndOneSeparatorIsTaken) {
  auto line = ParseAdListLine("http://a/x.gif http://b/ trailing words");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->imageUrl, "http://a/x.gif");
  EXPECT_EQ(line->clickUrl, "http://b/");

  // Two blanks: the second field starts at the second blank and is empty.
  line = ParseAdListLine("http://a/x.gif  http://b/");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->clickUrl, "");

  // A line read from a CR LF file keeps its CR; it ends the field.
  line = ParseAdListLine("http://a/x.gif\thttp://b/\r");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->clickUrl, "http://b/");

  EXPECT_EQ(ParseAdListLine("")->imageUrl, "");
}

TEST(AdListLineTest, FieldThatDoesNotFitItsSlotSkipsTheLine) {
  std::string fits(kAdFieldSize - 1, 'a');
  std::string tooLong(kAdFieldSize, 'a');
  EXPECT_TRUE(ParseAdListLine(fits + " " + fits));
  EXPECT_FALSE(ParseAdListLine(tooLong + " x"));
  EXPECT_FALSE(ParseAdListLine("x " + tooLong));
  // Past the 4095th character nothing is read: a long tail does not matter,
  // and a click address cut by the limit is refused only if it no longer fits.
  EXPECT_TRUE(ParseAdListLine("x y " + std::string(10000, 'z')));
}

TEST(AdListTest, RotationWalksThePublishedEntriesAndReturnsToTheFirst) {
  AdList list({});
  EXPECT_FALSE(list.Rotate(0));
  list.Append({"i1", "A", nullptr});
  list.Append({"i2", "B", nullptr});
  std::vector<std::string> shown;
  int32_t index = 0;
  for (int tick = 0; tick < 5; ++tick) {
    auto step = list.Rotate(index);
    ASSERT_TRUE(step);
    shown.push_back(step->clickUrl);
    index = step->nextIndex;
  }
  EXPECT_THAT(shown, ::testing::ElementsAre("A", "B", "A", "B", "A"));
  // An index past the end (the list cannot shrink, but a caller may hold a
  // stale one) shows the last entry and starts over.
  auto last = list.Rotate(7);
  EXPECT_EQ(last->clickUrl, "B");
  EXPECT_EQ(last->nextIndex, 0);
}

TEST(AdListTest, ReleasesEveryImageOnce) {
  int released = 0;
  int dummies[2];
  {
    AdList list({nullptr, [&](tagQMGIFINITINFO*) { ++released; }});
    list.Append({"", "", reinterpret_cast<tagQMGIFINITINFO*>(&dummies[0])});
    list.Append({"", "", nullptr});
    list.Append({"", "", reinterpret_cast<tagQMGIFINITINFO*>(&dummies[1])});
  }
  EXPECT_EQ(released, 2);
}

TEST(AdListDownloadTest, FetchesTheListAndEachImageThenRemovesItsFiles) {
  ScratchFolder folder;
  std::map<std::string, std::string> pages;
  test::LoopbackServer server([&](test::ServerConnection& c) { Pages(pages)(c); });
  pages["/a.gif"] = Gif(40, 20);
  pages["/not-a-gif"] = "plain text";
  pages["/b.gif-cut"] = Gif(40, 20);
  pages["/ads.txt"] = server.Url("/a.gif") + " http://click/a\r\n" +
                      server.Url("/missing.gif") + " http://click/b\n" +
                      server.Url("/not-a-gif") + "  http://click/c\n" +
                      "no-scheme-at-all http://click/d\n" +
                      server.Url("/b.gif-cut") + " http://click/e\n";

  auto list = std::make_shared<AdList>(RealCodec());
  {
    AdListDownload download(list, server.Url("/ads.txt"), NetworkSettings{}, folder.path());
    ASSERT_TRUE(download.started());
    download.Wait();
    EXPECT_TRUE(download.finished());
  }
  EXPECT_FALSE(std::filesystem::exists(folder.path() / kAdListFileName));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / kAdImageFileName));

  ASSERT_EQ(list->count(), 5u);
  std::vector<std::string> clicks;
  std::vector<bool> hasImage;
  int32_t index = 0;
  for (int i = 0; i < 5; ++i) {
    auto step = list->Rotate(index);
    clicks.push_back(step->clickUrl);
    hasImage.push_back(step->image != nullptr);
    if (step->image) {
      EXPECT_EQ(step->image->bitmapInfo->width, 40);
      EXPECT_EQ(step->image->bitmapInfo->height, -20);
    }
    index = step->nextIndex;
  }
  EXPECT_THAT(clicks, ::testing::ElementsAre("http://click/a", "http://click/b", "",
                                             "http://click/d", "http://click/e"));
  // Missing, not a picture, no URL, cut short: no picture.
  EXPECT_THAT(hasImage, ::testing::ElementsAre(true, false, false, false, false));

  // Every request carries the program's user agent.
  std::string first = server.Received(0);
  EXPECT_NE(first.find("GET /ads.txt HTTP/1.0"), std::string::npos);
  EXPECT_NE(first.find(std::string("User-Agent: ") + kDefaultUserAgent), std::string::npos);
}

TEST(AdListDownloadTest, AnErrorPageIsNotReadAsAList) {
  ScratchFolder folder;
  test::LoopbackServer server([](test::ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.0 500 Oops\r\nContent-Length: 31\r\n\r\nhttp://x/y.gif http://click/z\n");
  });
  auto list = std::make_shared<AdList>(RealCodec());
  AdListDownload download(list, server.Url("/ads.txt"), NetworkSettings{}, folder.path());
  download.Wait();
  EXPECT_EQ(list->count(), 0u);
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST(AdListDownloadTest, NoListUrlMeansNoThreadAndNoFiles) {
  ScratchFolder folder;
  auto list = std::make_shared<AdList>(RealCodec());
  AdListDownload download(list, "", NetworkSettings{}, folder.path());
  EXPECT_FALSE(download.started());
  EXPECT_TRUE(download.finished());
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(AdListDownloadTest, UnreachableServerAndUnwritableFolderLeaveTheListEmpty) {
  ScratchFolder folder;
  auto list = std::make_shared<AdList>(RealCodec());
  {
    // Port 1 on loopback: nobody listens.
    AdListDownload download(list, "http://127.0.0.1:1/ads.txt", NetworkSettings{}, folder.path());
    download.Wait();
  }
  {
    test::LoopbackServer server(Pages({{"/ads.txt", "http://x/a.gif y\n"}}));
    AdListDownload download(list, server.Url("/ads.txt"), NetworkSettings{},
                            folder.path() / "no" / "such" / "folder");
    download.Wait();
  }
  EXPECT_EQ(list->count(), 0u);
}

TEST(AdListDownloadTest, DestroyingTheDownloadEndsAStalledFetch) {
  ScratchFolder folder;
  test::LoopbackServer server([](test::ServerConnection& c) {
    c.ReadRequest();
    c.WaitForStop();  // never answers
  });
  auto list = std::make_shared<AdList>(RealCodec());
  auto before = std::chrono::steady_clock::now();
  {
    AdListDownload download(list, server.Url("/ads.txt"), NetworkSettings{}, folder.path());
    while (server.ConnectionCount() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // Generous guard against a hang; the cancel ends the wait at once.
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
  EXPECT_EQ(list->count(), 0u);
}

// A thread held where no cancel reaches (here: in the decoder) does not hold
// up the owner; it keeps the list alive and adds nothing once it goes on.
TEST(AdListDownloadTest, AThreadThatCannotBeCancelledIsLeftToEndOnItsOwn) {
  ScratchFolder folder;
  std::string gif = Gif(8, 8);
  std::map<std::string, std::string> pages;
  test::LoopbackServer server([&](test::ServerConnection& c) { Pages(pages)(c); });
  pages["/a.gif"] = gif;
  pages["/ads.txt"] = server.Url("/a.gif") + " http://click/a\n";

  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> decoded{0};
  AdImageCodec codec{[&, released](const char* path) {
                       entered.set_value();
                       released.wait();
                       ++decoded;
                       return QMGIFInit(path);
                     },
                     [](tagQMGIFINITINFO* info) { QMGIFCleanup(info); }};
  auto list = std::make_shared<AdList>(codec);
  std::weak_ptr<AdList> watch = list;
  {
    AdListDownload download(list, server.Url("/ads.txt"), NetworkSettings{}, folder.path());
    entered.get_future().wait();
    list.reset();  // the owner lets go of the list, as a closing window does
  }  // returns although the thread is still held
  EXPECT_FALSE(watch.expired());  // the thread still shares it
  release.set_value();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!watch.expired() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(watch.expired());  // freed by the thread at its end
  EXPECT_EQ(decoded.load(), 1);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / kAdImageFileName));
}

// The download thread appends while another thread rotates: every entry a
// reader sees is whole (its click address matches its image address).
TEST(AdListDownloadTest, ReaderSeesOnlyCompleteEntriesWhileTheListGrows) {
  ScratchFolder folder;
  std::string listText;
  std::map<std::string, std::string> pages;
  test::LoopbackServer server([&](test::ServerConnection& c) { Pages(pages)(c); });
  std::string gif = Gif(8, 8);
  for (int i = 0; i < 60; ++i) {
    pages["/" + std::to_string(i) + ".gif"] = gif;
    listText += server.Url("/" + std::to_string(i) + ".gif") + " http://click/" +
                std::to_string(i) + "\n";
  }
  pages["/ads.txt"] = listText;

  auto list = std::make_shared<AdList>(RealCodec());
  AdListDownload download(list, server.Url("/ads.txt"), NetworkSettings{}, folder.path());
  std::set<std::string> seen;
  int32_t index = 0;
  while (!download.finished() || index != 0) {
    auto step = list->Rotate(index);
    std::this_thread::yield();
    if (!step) continue;
    ASSERT_NE(step->image, nullptr);
    ASSERT_EQ(step->clickUrl.rfind("http://click/", 0), 0u);
    seen.insert(step->clickUrl);
    index = step->nextIndex;
  }
  download.Wait();
  EXPECT_EQ(list->count(), 60u);
  EXPECT_FALSE(seen.empty());
}

}  // namespace
}  // namespace trovelane
