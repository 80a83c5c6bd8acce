#include "results/document_format.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>

#include "results/archive.h"
#include "results/results_document.h"
#include "tests/results/test_files.h"

namespace trovelane {
namespace {

using testfiles::Bytes;
using testfiles::ReadFile;
using testfiles::ScratchDir;
using testfiles::WriteFile;

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Prefix(size_t length) {
  ArchiveWriter w;
  w.WriteString(std::string(length, 'x'));
  return w.bytes().substr(0, w.bytes().size() - length);
}

TEST(DocumentFileTest, EmptyDocumentIsTwentyOneBytes) {
  ResultsStore store;
  std::string bytes = WriteResultsDocument(store);
  EXPECT_EQ(bytes, Bytes().str("Trovelan025").u8(0).u32(0).u32(0).bytes());
  EXPECT_EQ(bytes.size(), 21u);
}

TEST(DocumentFileTest, StringPrefixesAtEachBoundaryWriteAndReadBack) {
  EXPECT_EQ(Hex(Prefix(0)), "00");
  EXPECT_EQ(Hex(Prefix(254)), "FE");
  EXPECT_EQ(Hex(Prefix(255)), "FF FF 00");
  EXPECT_EQ(Hex(Prefix(65533)), "FF FD FF");
  EXPECT_EQ(Hex(Prefix(65534)), "FF FF FF FE FF 00 00");
  EXPECT_EQ(Hex(Prefix(70000)), "FF FF FF 70 11 01 00");

  for (size_t n : {0, 254, 255, 65533, 65534, 70000}) {
    ArchiveWriter w;
    w.WriteString(std::string(n, 'x'));
    w.WriteU8(0x5A);
    ArchiveReader r(w.bytes());
    EXPECT_EQ(r.ReadString().size(), n);
    EXPECT_EQ(r.ReadU8(), 0x5A) << n;
  }
}

TEST(DocumentFileTest, RecordFieldsAreWrittenUrlEngineTextWithLowByteMarks) {
  ResultsStore store;
  store.SetSearchText("cats");
  store.SetSortMode(6);
  store.AppendResult("http://a/", "Title", "Eng", 0x1234, 0x0102, -1);
  std::string expected = Bytes()
                             .str("Trovelan025")
                             .str("cats")
                             .u32(6)
                             .u32(1)
                             .str("http://a/")
                             .str("Eng")
                             .str("Title")
                             .u8(0x34)
                             .u8(0x02)
                             .u16(0xFFFF)
                             .bytes();
  EXPECT_EQ(WriteResultsDocument(store), expected);

  ResultsStore back;
  ASSERT_TRUE(ReadResultsDocument(expected, back).ok());
  EXPECT_EQ(back.searchText(), "cats");
  EXPECT_EQ(back.sortMode(), 6);
  const ResultRecord& r = back.record(0);
  EXPECT_EQ(r.opened, 0x34);
  EXPECT_EQ(r.validationState, 0x02);
  EXPECT_EQ(r.relevance, -1);
}

TEST(DocumentFileTest, ReadsVersion22WithoutRelevance) {
  Bytes file;
  file.str("Quivmark022").str("old search").u32(4).u32(2);
  file.str("http://b/").str("E2").str("two").u8(1).u8(2);
  file.str("http://a/").str("E1").str("one").u8(0).u8(1);
  ResultsStore store;
  int version = 0;
  Status read = ReadResultsDocument(file.bytes(), store, &version);
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(version, 22);
  EXPECT_EQ(store.searchText(), "old search");
  EXPECT_EQ(store.sortMode(), 4);  // kept, records stay in their saved order
  ASSERT_EQ(store.count(), 2);
  EXPECT_EQ(store.record(0).url(), "http://b/");
  EXPECT_EQ(store.record(0).engineName(), "E2");
  EXPECT_EQ(store.record(0).text(), "two");
  EXPECT_EQ(store.record(0).opened, 1);
  EXPECT_EQ(store.record(0).validationState, 2);
  EXPECT_EQ(store.record(0).relevance, 0);
}

TEST(DocumentFileTest, ReadsVersion20WithItsThirtyTwoBitMark) {
  Bytes file;
  file.str("Quivmark020").str("oldest").u32(1);
  file.str("http://a/").str("E1").str("one").u32(0x00070001);
  ResultsStore store;
  Status read = ReadResultsDocument(file.bytes(), store);
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(store.sortMode(), 0);
  ASSERT_EQ(store.count(), 1);
  EXPECT_EQ(store.record(0).opened, 1);
  EXPECT_EQ(store.record(0).validationState, 0);
  EXPECT_EQ(store.record(0).relevance, 0);
}

TEST(DocumentFileTest, StoredStringsLongerThanTheirFieldsAreCut) {
  std::string longUrl(1100, 'u');
  ArchiveWriter w;
  w.WriteString(kSignatureVersion22);
  w.WriteString("");
  w.WriteI32(0);
  w.WriteI32(1);
  w.WriteString(longUrl);
  w.WriteString(std::string(64, 'e'));
  w.WriteString(std::string(256, 't'));
  w.WriteU8(0);
  w.WriteU8(0);
  ResultsStore store;
  ASSERT_TRUE(ReadResultsDocument(w.bytes(), store).ok());
  EXPECT_EQ(store.record(0).url().size(), 1023u);
  EXPECT_EQ(store.record(0).engineName().size(), 63u);
  EXPECT_EQ(store.record(0).text().size(), 255u);
}

// A URL longer than the old 511-byte field is written whole with the
// three-byte prefix, which every reader of version 25 already skips by its
// length; a file of URLs up to 511 bytes is the same as ever.
TEST(DocumentFileTest, UrlsBeyondTheOldWidthSurviveSaveAndOpen) {
  ResultsStore store;
  const std::string url = "http://example.com/?q=" + std::string(978, 'x');
  ASSERT_EQ(url.size(), 1000u);
  store.AppendResult(url, "long", "E");
  const std::string bytes = WriteResultsDocument(store);
  EXPECT_EQ(bytes.substr(21, 3), "\xFF\xE8\x03");  // FF, then 1000 as 16 bits

  ResultsStore back;
  ASSERT_TRUE(ReadResultsDocument(bytes, back).ok());
  EXPECT_EQ(back.record(0).url(), url);
  EXPECT_EQ(back.record(0).engineName(), "E");
  EXPECT_EQ(back.record(0).text(), "long");
}

// A record takes at least five bytes (version 22) or seven (20 and 25), so a
// count the rest of the file cannot hold is refused before anything is read.
TEST(DocumentFileTest, ARecordCountTheFileCannotHoldIsRefused) {
  struct Case {
    const char* signature;
    uint32_t count;
    size_t recordBytes;
  } cases[] = {{"Trovelan025", 3, 7}, {"Quivmark022", 3, 5}, {"Quivmark020", 3, 7}};
  for (const Case& c : cases) {
    Bytes header;
    header.str(c.signature).str("q");
    if (std::string_view(c.signature) != kSignatureVersion20) header.u32(0);
    std::string empty(c.count * c.recordBytes, '\0');
    // Room for exactly three empty records reads; one byte less is refused.
    ResultsStore store;
    Bytes fits = header;
    fits.u32(c.count).raw(empty);
    EXPECT_TRUE(ReadResultsDocument(fits.bytes(), store).ok()) << c.signature;
    EXPECT_EQ(store.count(), 3);

    ResultsStore refused;
    Bytes tooShort = header;
    tooShort.u32(c.count).raw(empty.substr(1));
    Status read = ReadResultsDocument(tooShort.bytes(), refused);
    EXPECT_EQ(read.code(), Status::Code::kCorruption) << c.signature;
    EXPECT_NE(read.message().find("record count 3"), std::string::npos) << read.message();
    EXPECT_EQ(refused.count(), 0);
  }
  // Billions of records claimed by a few bytes, and a negative count.
  for (uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    ResultsStore store;
    Bytes file;
    file.str("Quivmark022").str("").u32(0).u32(count).raw("abcde");
    EXPECT_FALSE(ReadResultsDocument(file.bytes(), store).ok()) << count;
    EXPECT_EQ(store.count(), 0);
  }
}

// The reader takes strings of 16-bit characters (0xFF 0xFFFE, then a fresh
// prefix counting characters), as other builds of the format may write them.
TEST(DocumentFileTest, SixteenBitStringsAreReadAsEightBitText) {
  Bytes file;
  file.str("Trovelan025").u8(0xFF).u16(0xFFFE).u8(4);
  for (uint16_t c : {0x63, 0x61, 0xE9, 0x20AC}) file.u16(c);
  file.u32(0).u32(0);
  ResultsStore store;
  ASSERT_TRUE(ReadResultsDocument(file.bytes(), store).ok());
  EXPECT_EQ(store.searchText(), "ca\xE9?");

  // A 16-bit string that claims more characters than the file holds.
  Bytes shortFile;
  shortFile.str("Trovelan025").u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0x7FFFFFFF);
  EXPECT_FALSE(ReadResultsDocument(shortFile.bytes(), store).ok());
}

TEST(DocumentFileTest, AStringLongerThanTheFileIsAnErrorNotAnAllocation) {
  Bytes file;
  file.str("Trovelan025").u8(0xFF).u16(0xFFFF).u32(0xFFFFFFF0).raw("abc");
  ResultsStore store;
  int version = 0;
  EXPECT_FALSE(ReadResultsDocument(file.bytes(), store, &version).ok());
  EXPECT_EQ(version, 25);
}

class DocumentTest : public ::testing::Test {
 protected:
  static std::string ThreeRecords() {
    ResultsStore store;
    store.SetSearchText("three");
    for (const char* t : {"one", "two", "three"}) {
      store.AppendResult(std::string("http://x/") + t, t, "Engine", 1, 1, 50);
    }
    return WriteResultsDocument(store);
  }
  ScratchDir dir_;
  CQuivmarkDoc doc_;
};

TEST_F(DocumentTest, NewDocumentIsEmptyTitledNewSearchAndUnmodified) {
  doc_.results().AppendResult("http://a/", "a", "e");
  doc_.results().SetSearchText("old");
  doc_.SetModifiedFlag();
  ASSERT_TRUE(doc_.OnNewDocument());
  EXPECT_EQ(doc_.title(), "New Search");
  EXPECT_EQ(doc_.results().count(), 0);
  EXPECT_EQ(doc_.results().searchText(), "");
  EXPECT_FALSE(doc_.IsModified());
  // Sorting is a change of the document; sorting a copy of its store is not.
  ResultsStore copy = doc_.results();
  copy.SortByColumn(kColumnText);
  EXPECT_FALSE(doc_.IsModified());
  doc_.results().SortByColumn(kColumnText);
  EXPECT_TRUE(doc_.IsModified());
}

TEST_F(DocumentTest, SaveAndOpenKeepEveryFieldAndTheOrder) {
  doc_.OnNewDocument();
  doc_.results().SetSearchText("\"cats\" & dogs");
  doc_.results().AppendResult("http://b/", "B", "E", 1, 2, 77);
  doc_.results().AppendResult("http://a/", "A", "E", 0, 1, -5);
  doc_.results().SortByColumn(kColumnRelevance);
  doc_.results().SortByColumn(kColumnRelevance);
  const std::string path = dir_ / "cats.qmk";
  Status saved = doc_.OnSaveDocument(path);
  ASSERT_TRUE(saved.ok()) << saved.detail();
  EXPECT_FALSE(doc_.IsModified());
  EXPECT_EQ(doc_.title(), "cats.qmk");

  CQuivmarkDoc other;
  DocumentOpen opened = other.OnOpenDocument(path);
  ASSERT_TRUE(opened.status.ok());
  EXPECT_EQ(opened.UserMessage(), "");
  EXPECT_EQ(WriteResultsDocument(other.results()), ReadFile(path));
  EXPECT_EQ(other.results().GetSortState().column, kColumnRelevance);
  EXPECT_EQ(other.results().GetSortState().direction, 1);
  EXPECT_EQ(other.results().record(0).relevance, 77);
}

TEST_F(DocumentTest, TruncatedInsideTheThirdRecordOpensWithTwoAndTheMessage) {
  const std::string whole = ThreeRecords();
  const std::string path = dir_ / "cut.qmk";
  // The third record starts behind the header and two records; cut it
  // inside its text string.
  WriteFile(path, whole.substr(0, whole.size() - 8));

  // The document had a file of its own before; the damaged one takes none.
  ASSERT_TRUE(doc_.OnSaveDocument(dir_ / "earlier.qmk").ok());
  doc_.SetModifiedFlag();
  DocumentOpen open = doc_.OnOpenDocument(path);
  EXPECT_TRUE(open.opened());
  EXPECT_EQ(open.status.code(), Status::Code::kCorruption);
  EXPECT_FALSE(open.status.detail().empty());
  EXPECT_EQ(open.UserMessage(),
            path + " does not appear to be a valid t r o v e l a n e 3.0 search results file !\n" +
                kOpenedUntitledNote);
  EXPECT_EQ(doc_.results().count(), 2);
  EXPECT_EQ(doc_.results().record(1).text(), "two");
  EXPECT_EQ(doc_.results().searchText(), "three");
  EXPECT_EQ(doc_.title(), "cut.qmk");
  EXPECT_FALSE(doc_.IsModified());
  // Untitled: Save has no file to write and must ask for a name, so the
  // damaged original is never replaced by the two records read from it.
  EXPECT_EQ(doc_.pathName(), "");

  // Reopening a sound file gives the document its path again.
  const std::string good = dir_ / "good.qmk";
  WriteFile(good, whole);
  ASSERT_EQ(doc_.OnOpenDocument(good).status, Status::Ok());
  EXPECT_EQ(doc_.pathName(), good);
}

TEST_F(DocumentTest, UnknownSignatureOpensEmptyWithTheMessage) {
  const std::string path = dir_ / "other.qmk";
  // "Trovelan027" and a signature in another case are both unknown.
  for (const char* signature : {"Trovelan027", "trovelan025", ""}) {
    std::string file = Bytes().str(signature).str("text").u32(0).u32(0).bytes();
    WriteFile(path, file);
    doc_.results().AppendResult("http://stale/", "", "");
    DocumentOpen open = doc_.OnOpenDocument(path);
    EXPECT_TRUE(open.opened());
    EXPECT_NE(open.UserMessage().find("does not appear to be a valid"), std::string::npos);
    EXPECT_EQ(doc_.pathName(), "");
    EXPECT_EQ(doc_.results().count(), 0);
    EXPECT_EQ(doc_.results().searchText(), "");
  }
}

TEST_F(DocumentTest, AMissingFileDoesNotOpen) {
  DocumentOpen open = doc_.OnOpenDocument(dir_ / "missing.qmk");
  EXPECT_FALSE(open.opened());
  EXPECT_EQ(open.status.code(), Status::Code::kNotFound);
  EXPECT_EQ(open.UserMessage(), "Error while opening file " + (dir_ / "missing.qmk"));
}

TEST_F(DocumentTest, AFailedSaveLeavesTheOldFileWholeAndTheDocumentModified) {
  const std::string path = dir_ / "keep.qmk";
  ASSERT_TRUE(doc_.OnSaveDocument(path).ok());
  const std::string old = ReadFile(path);

  for (int i = 0; i < 50; ++i) doc_.results().AppendResult("http://example.com/long", "t", "e");
  doc_.SetModifiedFlag();
  // Let the file system refuse every byte past 100: the write fails half way.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit tight = saved;
  tight.rlim_cur = 100;
  ::setrlimit(RLIMIT_FSIZE, &tight);
  Status status = doc_.OnSaveDocument(path);
  ::setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Error while saving file " + path);
  EXPECT_FALSE(status.detail().empty());
  EXPECT_TRUE(doc_.IsModified());
  EXPECT_EQ(ReadFile(path), old);

  status = doc_.OnSaveDocument(dir_ / "no/such/folder.qmk");
  EXPECT_FALSE(status.ok());
  EXPECT_TRUE(doc_.IsModified());
}

}  // namespace
}  // namespace trovelane
