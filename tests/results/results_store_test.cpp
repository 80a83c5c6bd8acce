#include "results/results_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace trovelane {
namespace {

std::vector<std::string> Texts(const ResultsStore& store) {
  std::vector<std::string> out;
  for (const ResultRecord& r : store.records()) out.emplace_back(r.text());
  return out;
}

std::vector<int> Relevances(const ResultsStore& store) {
  std::vector<int> out;
  for (const ResultRecord& r : store.records()) out.push_back(r.relevance);
  return out;
}

TEST(ResultsStoreTest, LongValuesAreCutToTheFieldWidthLessOne) {
  ResultsStore store;
  store.AppendResult(std::string(1100, 'u'), std::string(300, 't'), std::string(100, 'e'), 1, 2, 3);
  store.AppendResult(std::string("ab\0cd", 5), "", "");
  const ResultRecord& r = store.record(0);
  EXPECT_EQ(r.url(), std::string(1023, 'u'));
  EXPECT_EQ(r.text(), std::string(255, 't'));
  EXPECT_EQ(r.engineName(), std::string(63, 'e'));
  EXPECT_EQ(r.opened, 1);
  EXPECT_EQ(r.validationState, 2);
  EXPECT_EQ(r.relevance, 3);
  // A value stops at an embedded NUL, as the C string it stands for would.
  EXPECT_EQ(store.record(1).url(), "ab");
}

// Every URL a worker may hand over (up to 1023 bytes) is kept whole, so the
// list, the saved file and the browser all get the URL that was found.
TEST(ResultsStoreTest, UrlsUpToTheHandOffWidthAreKeptWhole) {
  ResultsStore store;
  const std::string url = "http://example.com/" + std::string(700, 'p');
  store.AppendResult(url, "t", "e");
  EXPECT_EQ(store.record(0).url(), url);
  // Copies and sorts keep every string with its record.
  store.AppendResult("http://a/", "a", "E2", 0, 0, 9);
  ResultsStore copy = store;
  copy.SortByColumn(kColumnText);
  EXPECT_EQ(copy.record(0).url(), "http://a/");
  EXPECT_EQ(copy.record(0).engineName(), "E2");
  EXPECT_EQ(copy.record(0).relevance, 9);
  EXPECT_EQ(copy.record(1).url(), url);
  EXPECT_EQ(store.record(0).url(), url);
}

TEST(ResultsStoreTest, CapacityDoublesAndResetReturnsToAnEmptyStore) {
  ResultsStore store;
  EXPECT_EQ(store.capacity(), 128);
  for (int i = 0; i < 129; ++i) store.AppendResult("u", "t", "e");
  EXPECT_EQ(store.count(), 129);
  EXPECT_EQ(store.capacity(), 256);
  store.SetSearchText("cats");
  store.SortByColumn(kColumnUrl);

  store.ResetResults();
  EXPECT_EQ(store.count(), 0);
  EXPECT_EQ(store.capacity(), 128);
  EXPECT_EQ(store.sortMode(), 0);
  EXPECT_EQ(store.searchText(), "");
}

TEST(ResultsStoreTest, RemoveMovesTheRecordsBehindDown) {
  ResultsStore store;
  for (const char* t : {"a", "b", "c"}) store.AppendResult("u", t, "e");
  EXPECT_TRUE(store.RemoveResult(1));
  EXPECT_EQ(Texts(store), (std::vector<std::string>{"a", "c"}));
  EXPECT_FALSE(store.RemoveResult(2));
  EXPECT_FALSE(store.RemoveResult(-1));
  EXPECT_EQ(store.count(), 2);
}

TEST(ResultsStoreTest, SortTogglesOnTheSameColumnAndStartsAscendingOnAnother) {
  int marks = 0;
  ResultsStore store([&] { ++marks; });
  EXPECT_EQ(store.GetSortState().column, -1);

  // Even an empty store takes the sort mode and marks the document.
  EXPECT_EQ(store.SortByColumn(kColumnText), 0);
  EXPECT_EQ(store.sortMode(), 1);
  EXPECT_EQ(marks, 1);

  EXPECT_EQ(store.SortByColumn(kColumnText), 1);
  EXPECT_EQ(store.sortMode(), 2);
  EXPECT_EQ(store.SortByColumn(kColumnText), 0);
  EXPECT_EQ(store.sortMode(), 1);

  EXPECT_EQ(store.SortByColumn(kColumnUrl), 0);
  EXPECT_EQ(store.sortMode(), 7);
  EXPECT_EQ(store.SortByColumn(kColumnUrl), 1);
  EXPECT_EQ(store.sortMode(), 8);
  SortState s = store.GetSortState();
  EXPECT_EQ(s.column, kColumnUrl);
  EXPECT_EQ(s.direction, 1);
  // From descending on the URL, another column starts ascending.
  EXPECT_EQ(store.SortByColumn(kColumnEngine), 0);
  EXPECT_EQ(store.sortMode(), 3);
  EXPECT_EQ(marks, 6);

  EXPECT_EQ(store.SortByColumn(4), -1);
  EXPECT_EQ(store.sortMode(), 3);
}

TEST(ResultsStoreTest, RelevanceSortsAsSignedNumbersWithNoScoreBeforePositives) {
  ResultsStore store;
  for (int16_t rel : {7, 0, -1, 100, -300, 0, 3}) store.AppendResult("u", "t", "e", 0, 0, rel);
  store.SortByColumn(kColumnRelevance);
  EXPECT_EQ(Relevances(store), (std::vector<int>{-300, -1, 0, 0, 3, 7, 100}));
  store.SortByColumn(kColumnRelevance);
  EXPECT_EQ(Relevances(store), (std::vector<int>{100, 7, 3, 0, 0, -1, -300}));
}

TEST(ResultsStoreTest, TextSortIsByteWiseUnsignedAndCaseSensitive) {
  ResultsStore store;
  for (const char* t : {"b", "\xE9t\xE9", "B", "a", "ab", ""}) store.AppendResult("u", t, "e");
  store.SortByColumn(kColumnText);
  EXPECT_EQ(Texts(store), (std::vector<std::string>{"", "B", "a", "ab", "b", "\xE9t\xE9"}));
}

TEST(ResultsStoreTest, SortMovesWholeRecordsAndLaterResultsStayAtTheEnd) {
  ResultsStore store;
  store.AppendResult("http://c/", "three", "E3", 1, 2, 30);
  store.AppendResult("http://a/", "one", "E1", 0, 1, 10);
  store.AppendResult("http://b/", "two", "E2", 1, 0, 20);
  store.SortByColumn(kColumnUrl);
  ASSERT_EQ(Texts(store), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(store.record(2).engineName(), "E3");
  EXPECT_EQ(store.record(2).validationState, 2);
  EXPECT_EQ(store.record(2).relevance, 30);

  store.AppendResult("http://0/", "zero", "E0");
  EXPECT_EQ(Texts(store).back(), "zero");
  EXPECT_EQ(store.GetSortState().column, kColumnUrl);
}

TEST(ResultsStoreTest, AnyStoredSortModeIsSafeToSortFrom) {
  ResultsStore store;
  for (SortMode mode : {INT_MIN, -1, 99, INT_MAX}) {
    store.SetSortMode(mode);
    store.GetSortState();
    EXPECT_EQ(store.SortByColumn(kColumnText), 0) << mode;
  }
}

}  // namespace
}  // namespace trovelane
