#include "engines/engine_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/engines/engine_samples.h"

namespace trovelane {
namespace {

using testing::FullEngine;
using testing::WindowsEngineFile;

std::string Written(const EngineDefinition& e) {
  std::ostringstream out;
  EXPECT_TRUE(WriteEngineDefinition(e, out).ok());
  return out.str();
}

bool ReadFrom(const std::string& text, EngineDefinition& e) {
  std::istringstream in(text);
  return ReadEngineDefinition(e, in);
}

// Replaces line `index` (0-based) of `text`.
std::string WithLine(const std::string& text, int index, const std::string& line) {
  std::istringstream in(text);
  std::string out, current;
  for (int i = 0; std::getline(in, current); ++i) out += (i == index ? line : current) + "\n";
  return out;
}

TEST(EngineFileTest, WrittenDefinitionReadsBackFieldByField) {
  EngineDefinition original = FullEngine();
  EngineDefinition read;
  ASSERT_TRUE(ReadFrom(Written(original), read));
  EXPECT_EQ(read, original);
  EXPECT_EQ(read.separator, " ; ");
  EXPECT_EQ(read.notOperator, " NOT");

  EngineDefinition defaults;
  EngineDefinition readDefaults;
  ASSERT_TRUE(ReadFrom(Written(defaults), readDefaults));
  EXPECT_EQ(readDefaults, defaults);
}

TEST(EngineFileTest, WritesTheLinesInFileOrder) {
  EngineDefinition e;
  e.name = "N";
  e.parameters = {testing::Param(SEARCH_TEXT, "q")};
  e.skippedUrls = {"u"};
  EXPECT_EQ(Written(e),
            "SIT = N\nACT = \nSID = \nRID = \nTEC = 0\nITR = 0\nRES = 0\nSEP = &\nSEL = 1\n"
            "PAR = 1\nUSB = 0\nAND = \nOR = \nNOT = \nEXC = \nPNM0 = q\nPDV0 = \nPAT0 = 0\n"
            "SEC = 0\nAEC = 0\nDSC = 0\nUSC = 1\nDS0 = u\nRST = 0\nLIN = \nREF = \nCOC = 0\n"
            "COO = 0\n");
}

TEST(EngineFileTest, ReadsAFileExportedByTheWindowsVersion) {
  EngineDefinition e;
  ASSERT_TRUE(ReadFrom(WindowsEngineFile(), e));
  EXPECT_EQ(e.name, "Sample");
  EXPECT_EQ(e.searchUrl, "http://127.0.0.1:8080/cgi-bin/find");
  EXPECT_EQ(e.iterationTechnique, RESULT_PLUS_1);
  EXPECT_EQ(e.resultsPerPage, 20);
  EXPECT_EQ(e.separator, "&");
  EXPECT_EQ(e.exactOperator, "\"");
  ASSERT_EQ(e.parameters.size(), 2u);
  EXPECT_EQ(e.parameters[1].name, "first");
  EXPECT_EQ(e.parameters[1].defaultValue, "1");
  EXPECT_EQ(e.parameters[1].roleCode, RESULT_POSITION);
  EXPECT_EQ(e.parameters[0].defaultValue, "");
  EXPECT_EQ(e.skippedDomains, std::vector<std::string>{"ads.example"});
  // Position, not the "DS" key, puts these into the URL skip list.
  EXPECT_EQ(e.skippedUrls, (std::vector<std::string>{"http://127.0.0.1:8080/help.html",
                                                     "http://127.0.0.1:8080/"}));
  EXPECT_FALSE(e.isPlugin);
}

TEST(EngineFileTest, ValueRulesOfOneLine) {
  const std::string base = Written(EngineDefinition());
  struct Case {
    std::string sepLine;
    std::string separator;
  } cases[] = {
      {"SEP = ", ""},  {"SEP =", ""},        {"SEP = \r", ""},
      {"SEP =\r", ""}, {"SEP =  & ", " & "}, {"X Y a=b c", "a=b c"},
      {" = x", "x"},   {"SEP", ""},          {"SEP\tis\t+\t", "+\t"},
  };
  for (const Case& c : cases) {
    EngineDefinition e;
    ASSERT_TRUE(ReadFrom(WithLine(base, 7, c.sepLine), e)) << c.sepLine;
    EXPECT_EQ(e.separator, c.separator) << "line \"" << c.sepLine << "\"";
  }
}

TEST(EngineFileTest, NumbersAreReadByTheirDigitPrefix) {
  const std::string base = Written(EngineDefinition());
  struct Case {
    std::string value;
    int number;
  } cases[] = {{"12abc", 12}, {"abc", 0}, {"  -7", -7},
               {"+3", 3},     {"", 0},    {"99999999999", INT_MAX}};
  for (const Case& c : cases) {
    EngineDefinition e;
    ASSERT_TRUE(ReadFrom(WithLine(base, 6, "RES = " + c.value), e));
    EXPECT_EQ(e.resultsPerPage, c.number) << c.value;
  }
}

TEST(EngineFileTest, OnlyTheExactActValuePluginMarksAPlugin) {
  const std::string base = Written(EngineDefinition());
  for (auto [act, plugin] : {std::pair{"plugin", true}, {"Plugin", false}, {"plugin ", false}}) {
    EngineDefinition e;
    ASSERT_TRUE(ReadFrom(WithLine(base, 1, std::string("ACT = ") + act), e));
    EXPECT_EQ(e.isPlugin, plugin) << act;
  }
}

TEST(EngineFileTest, LinesAreReadByPositionNotByKey) {
  EngineDefinition original = FullEngine();
  std::string text = Written(original);

  // Swapped SID and RID lines swap the two fields.
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::swap(lines[2], lines[3]);
  std::string swapped;
  for (const auto& l : lines) swapped += l + "\n";
  EngineDefinition e;
  ASSERT_TRUE(ReadFrom(swapped, e));
  EXPECT_EQ(e.searchTextId, original.resultId);
  EXPECT_EQ(e.resultId, original.searchTextId);

  // A missing ITR line shifts every later field up by one.
  lines = {};
  std::istringstream in2(text);
  for (std::string l; std::getline(in2, l);) lines.push_back(l);
  lines.erase(lines.begin() + 5);
  std::string shifted;
  for (const auto& l : lines) shifted += l + "\n";
  EngineDefinition s;
  ReadFrom(shifted, s);
  EXPECT_EQ(s.iterationTechnique, original.resultsPerPage);
  EXPECT_EQ(s.resultsPerPage, 0);  // the separator " ; " read as a number
}

TEST(EngineFileTest, ZeroOrNegativeParameterCountReadsNoGroup) {
  std::string base = Written(EngineDefinition());
  for (const char* count : {"PAR = 0", "PAR = -4"}) {
    EngineDefinition e;
    ASSERT_TRUE(ReadFrom(WithLine(base, 9, count), e));
    EXPECT_TRUE(e.parameters.empty());
    EXPECT_TRUE(e.searchedFileTypes.empty());
  }
}

TEST(EngineFileTest, EveryCutBeforeTheLastLineIsIncomplete) {
  std::string text = Written(FullEngine());
  for (size_t end = text.find('\n'); end + 1 < text.size(); end = text.find('\n', end + 1)) {
    EngineDefinition e;
    EXPECT_FALSE(ReadFrom(text.substr(0, end + 1), e)) << "cut after byte " << end;
  }
  // The last line needs no line end.
  EngineDefinition e;
  EXPECT_TRUE(ReadFrom(text.substr(0, text.size() - 1), e));
  EXPECT_EQ(e, FullEngine());
}

TEST(EngineFileTest, BackToBackDefinitionsAreReadOneByOne) {
  EngineDefinition first = FullEngine();
  EngineDefinition second;
  second.name = "Second";
  std::istringstream in(Written(first) + Written(second));
  EngineDefinition a, b, c;
  ASSERT_TRUE(ReadEngineDefinition(a, in));
  ASSERT_TRUE(ReadEngineDefinition(b, in));
  EXPECT_FALSE(ReadEngineDefinition(c, in));
  EXPECT_EQ(a, first);
  EXPECT_EQ(b, second);
}

TEST(EngineFileTest, WriterRefusesWhatCouldNotReadBack) {
  EngineDefinition withBreak = FullEngine();
  withBreak.cookieUrls.push_back("http://127.0.0.1/a\r\nb");
  std::ostringstream out;
  Status written = WriteEngineDefinition(withBreak, out);
  EXPECT_EQ(written.code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(written.message().find("CO1"), std::string::npos) << written.message();

  EngineDefinition longLine;
  longLine.searchUrl = std::string(kMaxEngineLineLength - 7, 'u');  // "ACT = " + LF fills it
  std::ostringstream fits;
  EXPECT_TRUE(WriteEngineDefinition(longLine, fits).ok());
  EngineDefinition read;
  ASSERT_TRUE(ReadFrom(fits.str(), read));
  EXPECT_EQ(read.searchUrl, longLine.searchUrl);

  longLine.searchUrl += 'u';
  EXPECT_NE(CheckEngineDefinition(longLine).message().find("ACT"), std::string::npos);
  std::ostringstream refused;
  EXPECT_FALSE(WriteEngineDefinition(longLine, refused).ok());
  EXPECT_EQ(refused.str(), "");
}

TEST(EngineDefinitionTest, CopiesCarryEverythingButTheStopFlag) {
  EngineDefinition source = FullEngine();
  source.stopRequested = true;
  source.parameters[0].currentValue = "harvested";
  EngineDefinition copy(source);
  EXPECT_FALSE(copy.stopRequested);
  EXPECT_EQ(copy, source);

  EngineDefinition target;
  target.stopRequested = true;
  source.stopRequested = false;
  target = source;
  EXPECT_TRUE(target.stopRequested);
  EXPECT_EQ(target.parameters[0].currentValue, "harvested");
  EXPECT_EQ(target, source);
}

TEST(EngineDefinitionTest, DefaultsAndLabels) {
  EngineDefinition e;
  EXPECT_EQ(e.selected, 1);
  EXPECT_EQ(e.separator, "&");
  EXPECT_EQ(e.method, GET);
  EXPECT_EQ(EngineParameter().roleCode, FIXED);
  EXPECT_STREQ(IterationTechniqueLabel(RELATIVE_0), "0 Relative(Loop)");
  EXPECT_STREQ(IterationTechniqueLabel(9), "Unknown");
}

}  // namespace
}  // namespace trovelane
