// Version 26 documents (a watched search and per-record sightings) and the
// Atom feed of a watch.
#include <gtest/gtest.h>

#include <string>

#include "results/archive.h"
#include "results/atom_feed.h"
#include "results/document_format.h"
#include "tests/results/test_files.h"

namespace trovelane {
namespace {

using testfiles::ReadFile;
using testfiles::ScratchDir;
using testfiles::WriteFile;

ResultsStore TwoResults() {
  ResultsStore store;
  store.SetSearchText("river & harbor");
  store.AppendResult("http://a.test/", "Alpha", "offset0", 1, kValidatedReachable, 40);
  store.AppendResult("http://b.test/", "Beta", "page0");
  return store;
}

TEST(WatchedDocumentTest, Version26CarriesTheWatchAndVersion25StaysByteForByte) {
  const std::string plain = WriteResultsDocument(TwoResults());

  ResultsStore watched = TwoResults();
  WatchedSearch search;
  search.engines = {"offset0", "page0"};
  search.maxResults = 40;
  search.perEngine = 1;
  search.validationMode = 2;
  search.defaultOperator = 1;
  search.duplicateMode = 2;
  search.minRelevance = 30;
  search.lastWatch = 1'700'000'000'000;  // beyond 32 bits
  watched.SetWatchedSearch(search);
  watched.record(0).EnsureWatch() = {1'600'000'000, 1'700'000'000, 1'650'000'000,
                                     WatchState::kKept};
  // Record 1 has no watch data: it is written as zeros, state none.

  const std::string bytes = WriteResultsDocument(watched);
  ResultsStore back;
  int version = 0;
  ASSERT_TRUE(ReadResultsDocument(bytes, back, &version).ok());
  EXPECT_EQ(version, 26);
  EXPECT_EQ(bytes.substr(1, 11), "Trovelan026");
  ASSERT_TRUE(back.watchedSearch().has_value());
  EXPECT_EQ(*back.watchedSearch(), search);
  ASSERT_EQ(back.count(), 2);
  EXPECT_EQ(*back.record(0).watch(), *watched.record(0).watch());
  EXPECT_EQ(back.record(0).relevance, 40);
  EXPECT_EQ(*back.record(1).watch(), RecordWatch{});
  EXPECT_EQ(WriteResultsDocument(back), bytes);

  // Without the watched search the records' watch data is left out: the
  // document is what it was before the watch, for older readers.
  back.SetWatchedSearch(std::nullopt);
  EXPECT_EQ(WriteResultsDocument(back), plain);
}

TEST(WatchedDocumentTest, DamagedVersion26KeepsWhatCameBeforeTheFault) {
  ResultsStore watched = TwoResults();
  watched.SetWatchedSearch(WatchedSearch{{"offset0"}});
  watched.record(0).EnsureWatch().state = WatchState::kDead;
  watched.record(1).EnsureWatch().state = WatchState::kNew;
  std::string bytes = WriteResultsDocument(watched);

  // An unknown state in the last record: the first record opened.
  std::string badState = bytes;
  badState.back() = 9;
  ResultsStore store;
  Status read = ReadResultsDocument(badState, store);
  EXPECT_EQ(read.code(), Status::Code::kCorruption);
  EXPECT_NE(read.message().find("watch state"), std::string::npos);
  EXPECT_EQ(store.count(), 1);

  // An engine count far beyond the file is refused before anything is read.
  ArchiveWriter w;
  w.WriteString("Trovelan026");
  w.WriteString("x");
  w.WriteI32(0);
  w.WriteI64(0);
  for (int i = 0; i < 6; ++i) w.WriteI32(0);
  w.WriteI32(0x7FFFFFFF);
  ResultsStore huge;
  EXPECT_EQ(ReadResultsDocument(w.bytes(), huge).code(), Status::Code::kCorruption);
  EXPECT_FALSE(huge.watchedSearch().has_value());
}

TEST(AtomFeedTest, NewEntriesGoFirstEarlierOnesStayUpToTheBound) {
  ScratchDir dir;
  const std::string path = dir / "feed.xml";
  // A title that is not UTF-8 and holds markup and a control character.
  ASSERT_TRUE(UpdateAtomFeed(path, "river", "urn:x", 100,
                             {MakeFeedEntry("http://a.test/?x=1&y=2", "A <b>\x01\xE9", 100,
                                            "Found by offset0")})
                  .ok());
  std::vector<FeedEntry> entries;
  ASSERT_TRUE(ReadAtomFeed(ReadFile(path), entries).ok()) << ReadFile(path);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].url, "http://a.test/?x=1&y=2");
  EXPECT_EQ(entries[0].title, "A <b>\xEF\xBF\xBD");
  EXPECT_EQ(entries[0].updated, "1970-01-01T00:01:40Z");

  std::vector<FeedEntry> many;
  for (int i = 0; i < static_cast<int>(kMaxFeedEntries); ++i) {
    many.push_back(MakeFeedEntry("http://n.test/" + std::to_string(i), "n", 200, ""));
  }
  ASSERT_TRUE(UpdateAtomFeed(path, "river", "urn:x", 200, {many[0]}).ok());
  entries.clear();
  ASSERT_TRUE(ReadAtomFeed(ReadFile(path), entries).ok());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].url, "http://n.test/0");
  EXPECT_EQ(entries[1].url, "http://a.test/?x=1&y=2");
  EXPECT_NE(entries[0].id, entries[1].id);

  ASSERT_TRUE(UpdateAtomFeed(path, "river", "urn:x", 300, many).ok());
  entries.clear();
  ASSERT_TRUE(ReadAtomFeed(ReadFile(path), entries).ok());
  EXPECT_EQ(entries.size(), kMaxFeedEntries);
  EXPECT_EQ(entries.back().url, "http://n.test/" + std::to_string(kMaxFeedEntries - 1));
}

TEST(AtomFeedTest, AFileThatIsNoFeedIsLeftAlone) {
  ScratchDir dir;
  const std::string path = dir / "notes.xml";
  for (const char* text : {"<html><body>mine</body></html>", "<feed><entry>"}) {
    WriteFile(path, text);
    Status updated = UpdateAtomFeed(path, "river", "urn:x", 1, {});
    EXPECT_EQ(updated.code(), Status::Code::kCorruption);
    EXPECT_NE(updated.message().find("left as it is"), std::string::npos);
    EXPECT_EQ(ReadFile(path), text);
  }
}

}  // namespace
}  // namespace trovelane
