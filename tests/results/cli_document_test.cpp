// Runs trovelane-cli on documents made here: save, reopen, convert and export
// must give back the same bytes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "results/document_format.h"
#include "results/html_export.h"
#include "results/results_document.h"
#include "tests/results/test_files.h"

namespace trovelane {
namespace {

using testfiles::Bytes;
using testfiles::ReadFile;

struct CliRun {
  int exitCode = -1;
  std::string out;
};

// Runs the command line program with `args` (paths without blanks or quotes);
// its standard error goes to `errors` (a file), or is dropped.
CliRun RunCli(const std::string& args, const std::string& errors = "/dev/null") {
  CliRun run;
  std::string command = std::string(TROVELANE_CLI_PATH) + " " + args + " 2>" + errors;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class CliDocumentTest : public ::testing::Test {
 protected:
  testfiles::ScratchDir dir_;
};

TEST_F(CliDocumentTest, SavedDocumentSurvivesOpenConvertAndExportByteForByte) {
  CQuivmarkDoc doc;
  doc.OnNewDocument();
  doc.results().SetSearchText("\"fish\" & <chips>");
  doc.results().AppendResult("http://a.example/?q=1&r=2", "First <b>hit</b>", "Alpha", 1, 1, 42);
  doc.results().AppendResult("http://b.example/", std::string(300, 'x'), "Beta", 0, 2, -1);
  // A link of an 8-bit page: its byte E9 is no UTF-8.
  doc.results().AppendResult("http://c.example/caf\xE9/\xC3\xA9", "caf\xC3\xA9", "Gamma", 0, 0, 0);
  doc.results().SortByColumn(kColumnRelevance);
  const std::string a = dir_ / "a.qmk";
  ASSERT_TRUE(doc.OnSaveDocument(a).ok());

  CliRun open = RunCli("open " + a + " --format json");
  ASSERT_EQ(open.exitCode, 0);
  auto json = nlohmann::json::parse(open.out);
  EXPECT_EQ(json["searchText"], "\"fish\" & <chips>");
  EXPECT_EQ(json["sortColumn"], kColumnRelevance);
  ASSERT_EQ(json["results"].size(), 3u);
  EXPECT_EQ(json["results"][0]["relevance"], -1);
  EXPECT_EQ(json["results"][2]["text"], "First <b>hit</b>");
  EXPECT_EQ(json["results"][2]["opened"], 1);
  EXPECT_EQ(json["results"][1]["text"], "caf\xC3\xA9");
  EXPECT_EQ(json["results"][1]["url"], "http://c.example/caf%E9/\xC3\xA9");

  const std::string b = dir_ / "b.qmk";
  ASSERT_EQ(RunCli("convert " + a + " " + b).exitCode, 0);
  EXPECT_EQ(ReadFile(b), ReadFile(a));

  const std::string page = dir_ / "b.htm";
  ASSERT_EQ(RunCli("export " + b + " --html " + page).exitCode, 0);
  EXPECT_EQ(ReadFile(page), RenderResultsHtml(doc.results()));

  // Into a named pipe the page streams; the pipe stays a pipe.
  const std::string fifo = dir_ / "pipe.htm";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Both ends held open here, so that the command never waits and a page
  // that went elsewhere leaves the pipe empty instead of hanging the test.
  const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  const int writeEnd = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(readEnd, 0);
  EXPECT_EQ(RunCli("export " + b + " --html " + fifo).exitCode, 0);
  ::close(writeEnd);
  std::string piped;
  char chunk[4096];
  for (ssize_t n; (n = ::read(readEnd, chunk, sizeof chunk)) > 0;) piped.append(chunk, size_t(n));
  ::close(readEnd);
  EXPECT_EQ(piped, RenderResultsHtml(doc.results()));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));

  CliRun tsv = RunCli("open " + b + " --format tsv");
  EXPECT_EQ(tsv.exitCode, 0);
  EXPECT_NE(tsv.out.find("\n3\thttp://a.example/?q=1&r=2\tFirst <b>hit</b>\tAlpha\t1\t1\t42\n"),
            std::string::npos)
      << tsv.out;
  CliRun table = RunCli("open " + b);
  EXPECT_EQ(table.exitCode, 0);
  EXPECT_NE(table.out.find("Sort: Relevance, ascending"), std::string::npos) << table.out;
}

// A hostile title must not reach the terminal as escape sequences: the table
// blanks control characters, TSV writes them as \xHH; other UTF-8 and 8-bit
// letters pass unchanged.
TEST_F(CliDocumentTest, ControlCharactersOfHostileTitlesNeverReachTheTerminal) {
  const std::string hostile =
      "\x1b]0;owned\x07"
      "Bell\x7f\xc2\x9b"
      "31m\x9b"
      "end";
  const std::string letters = " caf\xc3\xa9 \xe2\x82\xac \xe9t\xe9";
  ResultsStore store;
  store.SetSearchText("search\x1b[2J");
  store.AppendResult("http://a/\x1b[1m", hostile + letters, "Eng\x9d");
  const std::string path = dir_ / "hostile.qmk";
  testfiles::WriteFile(path, WriteResultsDocument(store));

  // The offsets of control characters in `out`, but for line ends (and the
  // tabs between TSV columns).
  auto controlsIn = [](const std::string& out, bool columnTabs = false) {
    std::string found;
    for (size_t i = 0; i < out.size(); ++i) {
      const auto c = static_cast<unsigned char>(out[i]);
      const bool c1 =
          (c >= 0x80 && c <= 0x9F && (i == 0 || static_cast<unsigned char>(out[i - 1]) < 0xC2)) ||
          (c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) <= 0x9F);
      const bool separator = c == '\n' || (columnTabs && c == '\t');
      if ((c < 0x20 && !separator) || c == 0x7F || c1) found += std::to_string(i) + " ";
    }
    return found;
  };

  CliRun table = RunCli("open " + path);
  ASSERT_EQ(table.exitCode, 0);
  EXPECT_EQ(controlsIn(table.out), "") << table.out;
  EXPECT_NE(table.out.find(" ]0;owned Bell  31m end" + letters), std::string::npos) << table.out;

  CliRun tsv = RunCli("open " + path + " --format tsv");
  ASSERT_EQ(tsv.exitCode, 0);
  EXPECT_EQ(controlsIn(tsv.out, true), "") << tsv.out;
  EXPECT_NE(tsv.out.find("\thttp://a/\\x1b[1m\t\\x1b]0;owned\\x07Bell\\x7f\\xc2\\x9b31m\\x9bend" +
                         letters + "\tEng\\x9d\t"),
            std::string::npos)
      << tsv.out;
  EXPECT_NE(tsv.out.find("# searchText\tsearch\\x1b[2J\n"), std::string::npos) << tsv.out;
}

TEST_F(CliDocumentTest, ConvertRewritesAnOldVersionAsTheCurrentOne) {
  const std::string old = dir_ / "old.qmk";
  Bytes file;
  file.str("Quivmark020").str("legacy").u32(2);
  file.str("http://a/").str("E").str("one").u32(1);
  file.str("http://b/").str("E").str("two").u32(0);
  testfiles::WriteFile(old, file.bytes());
  const std::string now = dir_ / "now.qmk";
  ASSERT_EQ(RunCli("convert " + old + " " + now).exitCode, 0);

  ResultsStore expected;
  expected.SetSearchText("legacy");
  expected.AppendResult("http://a/", "one", "E", 1);
  expected.AppendResult("http://b/", "two", "E");
  EXPECT_EQ(ReadFile(now), WriteResultsDocument(expected));

  const std::string again = dir_ / "again.qmk";
  ASSERT_EQ(RunCli("convert " + now + " " + again).exitCode, 0);
  EXPECT_EQ(ReadFile(again), ReadFile(now));
}

TEST_F(CliDocumentTest, DamagedOrMissingInputsEndWithTheirExitCodes) {
  ResultsStore store;
  for (const char* t : {"one", "two", "three"}) store.AppendResult("http://x/", t, "E");
  std::string whole = WriteResultsDocument(store);
  const std::string cut = dir_ / "cut.qmk";
  testfiles::WriteFile(cut, whole.substr(0, whole.size() - 3));

  // open still lists what it could read, and says the document is untitled;
  // convert and export write nothing, not even over the damaged file itself.
  const std::string errors = dir_ / "errors.txt";
  CliRun open = RunCli("open " + cut + " --format json", errors);
  EXPECT_EQ(open.exitCode, 2);
  auto json = nlohmann::json::parse(open.out);
  EXPECT_EQ(json["results"].size(), 2u);
  EXPECT_NE(json["warning"].get<std::string>().find(kOpenedUntitledNote), std::string::npos);
  EXPECT_NE(ReadFile(errors).find(kOpenedUntitledNote), std::string::npos) << ReadFile(errors);
  const std::string out = dir_ / "out.qmk";
  EXPECT_EQ(RunCli("convert " + cut + " " + out).exitCode, 2);
  EXPECT_EQ(RunCli("export " + cut + " --html " + out).exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(RunCli("convert " + cut + " " + cut).exitCode, 2);
  EXPECT_EQ(ReadFile(cut), whole.substr(0, whole.size() - 3));

  EXPECT_EQ(RunCli("open " + (dir_ / "missing.qmk")).exitCode, 1);
  const std::string good = dir_ / "good.qmk";
  testfiles::WriteFile(good, whole);
  EXPECT_EQ(RunCli("convert " + good + " " + (dir_ / "no/folder.qmk")).exitCode, 1);
}

}  // namespace
}  // namespace trovelane
