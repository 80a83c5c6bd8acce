#include "app/program_options_file.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

class ProgramOptionsFileTest : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  std::string path_ = folder_.File(kProgramOptionsFileName);
};

TEST_F(ProgramOptionsFileTest, MissingFileGivesTheDefaultsWithoutComplaint) {
  ProgramOptions options;
  options.readTimeoutSeconds = 99;
  ProgramOptionsLoad load = LoadProgramOptions(path_, options);
  EXPECT_FALSE(load.fileRead);
  EXPECT_EQ(load.read, Status::Ok());
  EXPECT_EQ(options.connectTimeoutSeconds, 5);
  EXPECT_EQ(options.readTimeoutSeconds, 10);
  EXPECT_EQ(options.maxPagesPerEngine, 50);
}

TEST_F(ProgramOptionsFileTest, SavedOptionsReadBackAndUnknownKeysSurvive) {
  WriteFileBytes(path_, R"({"fromANewerVersion": {"x": [1, 2]}, "readTimeoutSeconds": 3})");
  ProgramOptions options;
  ASSERT_TRUE(LoadProgramOptions(path_, options).fileRead);
  EXPECT_EQ(options.readTimeoutSeconds, 3);
  options.connectTimeoutSeconds = 0;
  options.maxPagesPerEngine = 7;
  ASSERT_TRUE(SaveProgramOptions(path_, options).ok());

  ProgramOptions again;
  ProgramOptionsLoad load = LoadProgramOptions(path_, again);
  EXPECT_EQ(load.read, Status::Ok());
  EXPECT_EQ(again.connectTimeoutSeconds, 0);
  EXPECT_EQ(again.readTimeoutSeconds, 3);
  EXPECT_EQ(again.maxPagesPerEngine, 7);
  auto json = nlohmann::json::parse(ReadFileBytes(path_));
  EXPECT_EQ(json["fromANewerVersion"]["x"][1], 2);
}

TEST_F(ProgramOptionsFileTest, BadValuesKeepTheirDefaultsAndAreNamed) {
  WriteFileBytes(path_,
                 R"({"connectTimeoutSeconds": -1, "readTimeoutSeconds": "ten",
                     "maxPagesPerEngine": 0, "future": 1})");
  ProgramOptions options;
  ProgramOptionsLoad load = LoadProgramOptions(path_, options);
  EXPECT_TRUE(load.fileRead);
  EXPECT_EQ(options.connectTimeoutSeconds, 5);
  EXPECT_EQ(options.readTimeoutSeconds, 10);
  EXPECT_EQ(options.maxPagesPerEngine, 50);
  EXPECT_NE(load.read.message().find("connectTimeoutSeconds"), std::string::npos);
  EXPECT_NE(load.read.message().find("readTimeoutSeconds"), std::string::npos);
  EXPECT_NE(load.read.message().find("maxPagesPerEngine"), std::string::npos);
}

TEST_F(ProgramOptionsFileTest, DamagedOrForeignFilesAreReportedNotTaken) {
  for (std::string text : {std::string("{\"readTimeoutSeconds\": 3"), std::string("[1, 2]"),
                           std::string("\x00\xff garbage", 10)}) {
    WriteFileBytes(path_, text);
    ProgramOptions options;
    ProgramOptionsLoad load = LoadProgramOptions(path_, options);
    EXPECT_FALSE(load.fileRead) << text;
    EXPECT_NE(load.read, Status::Ok()) << text;
    EXPECT_EQ(options.readTimeoutSeconds, 10) << text;
  }
  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);
  ProgramOptions options;
  EXPECT_NE(LoadProgramOptions(path_, options).read.message().find("is a folder"),
            std::string::npos);
}

TEST_F(ProgramOptionsFileTest, OutOfRangeOptionsAreNotSaved) {
  ProgramOptions options;
  options.readTimeoutSeconds = kMaxTimeoutSeconds + 1;
  Status saved = SaveProgramOptions(path_, options);
  EXPECT_FALSE(saved.ok());
  EXPECT_NE(saved.message().find("readTimeoutSeconds"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(ProgramOptionsFileTest, UserAgentAndResolveListRoundTrip) {
  ProgramOptions options;
  EXPECT_EQ(options.userAgent, kDefaultUserAgent);
  options.userAgent = "Fixture Agent/2.0 (+https://trovelane.test/)";
  options.resolve = {{"html.duckduckgo.com", 443, "127.0.0.1"}, {"en.wikipedia.org", 8443, "::1"}};
  ASSERT_TRUE(SaveProgramOptions(path_, options).ok());
  auto json = nlohmann::json::parse(ReadFileBytes(path_));
  EXPECT_EQ(json["resolve"][1], "en.wikipedia.org:8443:[::1]");

  ProgramOptions again;
  ProgramOptionsLoad load = LoadProgramOptions(path_, again);
  EXPECT_EQ(load.read, Status::Ok());
  EXPECT_EQ(again.userAgent, options.userAgent);
  EXPECT_EQ(again.resolve, options.resolve);

  // Without overrides the file names none.
  again.resolve.clear();
  ASSERT_TRUE(SaveProgramOptions(path_, again).ok());
  EXPECT_FALSE(nlohmann::json::parse(ReadFileBytes(path_)).contains("resolve"));
}

TEST_F(ProgramOptionsFileTest, UnsendableUserAgentsAndBadResolveEntriesAreLeftOut) {
  WriteFileBytes(path_, R"({"userAgent": "Agent\r\nX-Injected: 1",
                           "resolve": ["good.test:80:127.0.0.1", "no-port.test:127.0.0.1",
                                       "bad.test:0:127.0.0.1", "name.test:80:localhost", 7,
                                       "v6.test:443:[::1]"]})");
  ProgramOptions options;
  ProgramOptionsLoad load = LoadProgramOptions(path_, options);
  EXPECT_EQ(options.userAgent, kDefaultUserAgent);
  EXPECT_NE(load.read.message().find("userAgent holds a control character"), std::string::npos)
      << load.read.message();
  const std::vector<ResolveEntry> kept = {{"good.test", 80, "127.0.0.1"},
                                          {"v6.test", 443, "::1"}};
  EXPECT_EQ(options.resolve, kept);
  for (const char* named : {"HOST:PORT:ADDR", "is not a port", "is not a numeric address",
                            "an entry is not a text"}) {
    EXPECT_NE(load.read.message().find(named), std::string::npos) << named;
  }

  for (const char* agent : {"", "tab\\there"}) {
    WriteFileBytes(path_, std::string("{\"userAgent\": \"") + agent + "\"}");
    LoadProgramOptions(path_, options);
    EXPECT_EQ(options.userAgent, kDefaultUserAgent) << agent;
  }
  options.userAgent.clear();
  EXPECT_FALSE(SaveProgramOptions(path_, options).ok());
}

}  // namespace
}  // namespace trovelane
