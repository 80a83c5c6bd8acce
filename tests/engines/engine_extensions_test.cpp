// The extensions part of engine and profile files: new fields survive a save
// and reload, files without them stay byte for byte what they were, and a
// reader that knows only the positional lines is not led astray by them.
#include <gtest/gtest.h>

#include <sstream>

#include "engines/engine_file.h"
#include "engines/profile.h"
#include "tests/engines/engine_samples.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::FullEngine;
using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WebEngine;
using testing::WindowsEngineFile;
using testing::WriteFileBytes;

std::string Written(const EngineDefinition& e) {
  std::ostringstream out;
  Status written = WriteEngineDefinition(e, out);
  EXPECT_TRUE(written.ok()) << written.message();
  return out.str();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(EngineExtensionsFileTest, EngineFileKeepsEveryExtensionAndItsPositionalLines) {
  const EngineDefinition web = WebEngine();
  const std::string text = Written(web);
  // The positional lines are those of the same engine without extensions.
  const std::string plain = Written(FullEngine());
  ASSERT_EQ(text.substr(0, plain.size()), plain);
  EXPECT_EQ(text.substr(plain.size()).rfind(std::string(kExtensionsMarker) + "\n", 0), 0u);

  std::istringstream in(text);
  EngineDefinition read;
  ASSERT_TRUE(ReadEngineDefinition(read, in));
  EXPECT_EQ(read, web);
  EXPECT_EQ(read.web.headers[1].second, " en-GB, en;q=0.5");
  EXPECT_EQ(read.web.blockMarkers[1], "  unusual traffic  ");
  EXPECT_EQ(Written(read), text);

  // CR LF line ends, as an editor on another system may leave them.
  std::string crlf;
  for (const std::string& line : Lines(text)) crlf += line + "\r\n";
  std::istringstream crlfIn(crlf);
  EngineDefinition fromCrlf;
  ASSERT_TRUE(ReadEngineDefinition(fromCrlf, crlfIn));
  EXPECT_EQ(fromCrlf, web);
}

TEST(EngineExtensionsFileTest, FilesWithoutExtensionsWriteBackByteForByte) {
  // A .eng file as the Windows version exports it.
  std::istringstream in(WindowsEngineFile());
  EngineDefinition engine;
  ASSERT_TRUE(ReadEngineDefinition(engine, in));
  EXPECT_TRUE(engine.web.empty());
  std::string lf = WindowsEngineFile();
  std::erase(lf, '\r');
  EXPECT_EQ(Written(engine), lf);

  // The profile shipped with the program.
  ScratchFolder folder;
  const std::string copy = folder.File("default.prf");
  const std::string shipped = ReadFileBytes(TROVELANE_DATA_DIR "/default.prf");
  ASSERT_FALSE(shipped.empty());
  WriteFileBytes(copy, shipped);
  EngineCatalogue catalogue;
  ASSERT_TRUE(LoadProfile(copy, catalogue).ok());
  ASSERT_GE(catalogue.engines.size(), 2u);
  ASSERT_TRUE(SaveProfile(copy, catalogue).ok());
  EXPECT_EQ(ReadFileBytes(copy), shipped);
}

TEST(EngineExtensionsFileTest, ProfileGivesEachEngineItsOwnExtensions) {
  ScratchFolder folder;
  const std::string path = folder.File("web.prf");
  EngineCatalogue catalogue;
  catalogue.header = {1, 2, 3};
  EngineDefinition plain = FullEngine();
  plain.name = "Plain";
  EngineDefinition second = WebEngine();
  EngineDefinition third = FullEngine();
  third.name = "Third";
  third.web.resultClass = "tlink";
  catalogue.engines = {plain, second, third};
  ASSERT_TRUE(SaveProfile(path, catalogue).ok());

  EngineCatalogue read;
  ASSERT_TRUE(LoadProfile(path, read).ok());
  ASSERT_EQ(read.engines.size(), 3u);
  EXPECT_EQ(read.engines[0], plain);
  EXPECT_EQ(read.engines[1], second);
  EXPECT_EQ(read.engines[2], third);
  ASSERT_TRUE(SaveProfile(path, read).ok());
  const std::string saved = ReadFileBytes(path);
  EXPECT_EQ(saved.find("ENG = 0"), std::string::npos) << "an engine without extensions has no block";
  EXPECT_NE(saved.find("ENG = 1\n"), std::string::npos);
  EXPECT_NE(saved.find("ENG = 2\nRCL = tlink\n"), std::string::npos);

  // Once the engines lose their extensions the file is the plain format again.
  read.engines[1].web = {};
  read.engines[2].web = {};
  ASSERT_TRUE(SaveProfile(path, read).ok());
  EXPECT_EQ(ReadFileBytes(path).find(kExtensionsMarker), std::string::npos);
}

// A reader that knows only the positional lines meets the extensions part
// where it expects one more engine. Its tenth line is that engine's
// parameter count, larger than what is left, so the engine is incomplete and
// the reader keeps exactly the engines before it - however long the part is.
TEST(EngineExtensionsFileTest, APositionalReaderDropsThePartAsAnIncompleteEngine) {
  ScratchFolder folder;
  const std::string path = folder.File("web.prf");
  EngineCatalogue catalogue;
  EngineDefinition busy = WebEngine();
  for (int i = 0; i < 40; ++i) busy.web.blockMarkers.push_back("marker " + std::to_string(i));
  catalogue.engines = {WebEngine(), busy};
  ASSERT_TRUE(SaveProfile(path, catalogue).ok());
  const std::string text = ReadFileBytes(path);

  const std::vector<std::string> lines = Lines(text.substr(text.find(kExtensionsMarker)));
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(lines[9], "LNS = " + std::to_string(lines.size()));

  // Renamed, the marker no longer opens the part: this reader then reads the
  // file with the positional rules alone.
  WriteFileBytes(path, Replaced(text, kExtensionsMarker, "SIT = unknown"));
  EngineCatalogue old;
  ASSERT_TRUE(LoadProfile(path, old).ok());
  ASSERT_EQ(old.engines.size(), 2u);
  EXPECT_EQ(old.engines[1].name, busy.name);
  EXPECT_TRUE(old.engines[0].web.empty());
  EXPECT_TRUE(old.engines[1].web.empty());
}

TEST(EngineExtensionsFileTest, ReaderSkipsWhatItDoesNotKnow) {
  const std::string positional = Written(FullEngine());
  const std::string part = std::string(kExtensionsMarker) +
                           "\n"
                           "RCL = before any block\n"
                           "ENG = 7\n"
                           "RCL = no such engine\n"
                           "ENG = -1\n"
                           "AGT = nor this\n"
                           "ENG = 0\n"
                           "XYZ = a later field\n"
                           "HDR = NoColon\n"
                           "RDP = u\n"
                           "ENG = 0\n"
                           "BLK = second block adds\n"
                           "WGT = -2\n"
                           "WGT = nan\n"
                           "WGT = 1e9\n"
                           "garbage\n";
  std::istringstream in(positional + part);
  EngineDefinition read;
  ASSERT_TRUE(ReadEngineDefinition(read, in));
  EngineExtensions expected;
  expected.headers = {{"NoColon", ""}};
  expected.redirectParameter = "u";
  expected.blockMarkers = {"second block adds"};
  // A weight that is no positive number leaves the engine neutral.
  EXPECT_EQ(read.web, expected);
}

TEST(EngineExtensionsFileTest, WriterRefusesExtensionsThatCouldNotReadBack) {
  auto refused = [](const EngineDefinition& e, const std::string& expect) {
    std::ostringstream out;
    Status written = WriteEngineDefinition(e, out);
    EXPECT_EQ(written.code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(written.message().find(expect), std::string::npos) << written.message();
  };
  EngineDefinition e = WebEngine();
  e.web.cookies = "a=1\r\nX-Injected: yes";
  refused(e, "CKS");
  e = WebEngine();
  e.web.headers.push_back({"Bad:Name", "v"});
  refused(e, "Bad:Name");
  e = WebEngine();
  e.web.headers.push_back({"", "v"});
  refused(e, "no name");
  e = WebEngine();
  e.web.headers.push_back({"X-Long", std::string(kMaxEngineLineLength, 'v')});
  refused(e, "HDR");

  // A profile is refused whole, whichever engine is at fault.
  std::vector<EngineDefinition> engines = {FullEngine(), WebEngine()};
  engines[1].web.blockMarkers.push_back("two\nlines");
  std::ostringstream out;
  EXPECT_FALSE(WriteEngineDefinitions(engines, out).ok());
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace trovelane
