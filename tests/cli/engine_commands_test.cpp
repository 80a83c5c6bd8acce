// trovelane-cli engines, engines import and engines export on a fresh install folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "tests/cli/cli_home.h"

namespace trovelane {
namespace {

using testing::CliHome;
using ::testing::HasSubstr;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

std::string PluginEngineFile(const std::string& library) {
  return "SIT = " + library +
         "\nACT = plugin\nSID = \nRID = \nTEC = 0\nITR = 0\nRES = 0\nSEP = &\nSEL = 0\nPAR = 0\n"
         "USB = 0\nAND = \nOR = \nNOT = \nEXC = \nSEC = 0\nAEC = 0\nDSC = 0\nUSC = 0\nRST = 0\n"
         "LIN = \nREF = \nCOC = 0\nCOO = 0\n";
}

TEST(EngineCommandsTest, FirstStartListsTheSeededEngines) {
  CliHome home;
  testing::Outcome listed = home.Run({"engines"});
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  EXPECT_THAT(listed.output, HasSubstr("#  Sel  Name"));
  EXPECT_THAT(listed.output, HasSubstr("0  yes  Example Offsets    GET     Result + 0"));
  EXPECT_THAT(listed.output, HasSubstr("POST    1 Relative(Loop)  http://127.0.0.1:8080/find"));
}

TEST(EngineCommandsTest, ImportAppendsAndSavesExportWritesTheDefinition) {
  CliHome home;
  WriteFileBytes(home.File("plug.eng"), PluginEngineFile("tlgood.dll"));
  ASSERT_EQ(home.Run({"engines"}).exitCode, 0);  // seeds the folder
  std::filesystem::create_directories(home.HomeFile("plugins"));
  std::filesystem::copy_file(TEST_PLUGIN_PATH, home.HomeFile("plugins/tlgood.so"));

  testing::Outcome imported = home.Run({"engines", "import", home.File("plug.eng")});
  ASSERT_EQ(imported.exitCode, 0) << imported.output;
  EXPECT_THAT(imported.output, HasSubstr("as engine 2"));
  EXPECT_THAT(ReadFileBytes(home.HomeFile("default.prf")),
              HasSubstr("SIT = tlgood.dll\nACT = plugin"));
  // The plug-in is listed by the name it gives itself.
  EXPECT_THAT(home.Run({"engines"}).output, HasSubstr("2  no   Test Pages Plugin"));

  testing::Outcome exported = home.Run({"engines", "export", "tlgood.dll", home.File("out.eng")});
  ASSERT_EQ(exported.exitCode, 0) << exported.output;
  EXPECT_EQ(ReadFileBytes(home.File("out.eng")), PluginEngineFile("tlgood.dll"));
}

TEST(EngineCommandsTest, ImportAndExportFailuresAreReported) {
  CliHome home;
  ASSERT_EQ(home.Run({"engines"}).exitCode, 0);
  const std::string profile = ReadFileBytes(home.HomeFile("default.prf"));

  testing::Outcome missing = home.Run({"engines", "import", home.File("missing.eng")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.output, HasSubstr("Error opening the file for reading"));

  WriteFileBytes(home.File("cut.eng"), PluginEngineFile("x.so").substr(0, 60));
  testing::Outcome cut = home.Run({"engines", "import", home.File("cut.eng")});
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_THAT(cut.output, HasSubstr("nothing was imported"));
  EXPECT_EQ(ReadFileBytes(home.HomeFile("default.prf")), profile);

  // A numbered technique without results per page could never page on.
  std::string noPaging = PluginEngineFile("x");
  noPaging.replace(noPaging.find("ACT = plugin"), 12, "ACT = http://127.0.0.1/s");
  WriteFileBytes(home.File("zero.eng"), noPaging);
  testing::Outcome zero = home.Run({"engines", "import", home.File("zero.eng")});
  EXPECT_EQ(zero.exitCode, 1);
  EXPECT_THAT(zero.output, HasSubstr("\"Default No. of Results\" is 0"));
  EXPECT_EQ(ReadFileBytes(home.HomeFile("default.prf")), profile);
  // Found in the profile, it is named on start-up and kept as it stands.
  WriteFileBytes(home.HomeFile("default.prf"), profile + noPaging);
  testing::Outcome listed = home.Run({"engines"});
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_THAT(listed.output, HasSubstr("is 0; the technique \"Result + 0\" needs a number above 0. "
                                       "Searches leave it out."));
  EXPECT_EQ(ReadFileBytes(home.HomeFile("default.prf")), profile + noPaging);
  WriteFileBytes(home.HomeFile("default.prf"), profile);

  testing::Outcome unwritable = home.Run({"engines", "export", "0", home.File("no/such/x.eng")});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_THAT(unwritable.output, HasSubstr("Error opening the file for writing"));
  EXPECT_EQ(home.Run({"engines", "export", "7", home.File("x.eng")}).exitCode, 1);
}

// Any file with enough lines reads as some definition; one without a name or
// search URL is not an engine and must not enter the profile.
TEST(EngineCommandsTest, ImportRefusesADefinitionWithoutNameOrSearchUrl) {
  CliHome home;
  ASSERT_EQ(home.Run({"engines"}).exitCode, 0);
  const std::string profile = ReadFileBytes(home.HomeFile("default.prf"));

  std::string noName = PluginEngineFile("x.so");
  noName.replace(0, noName.find('\n'), "SIT = ");
  std::string noUrl = PluginEngineFile("x.so");
  noUrl.replace(noUrl.find("ACT = plugin"), 12, "ACT = ");
  std::string controlName = PluginEngineFile("x\x01\x1b.so");
  struct Case {
    std::string file;
    const char* why;
  } cases[] = {{noName, "no engine name (SIT)"},
               {noUrl, "no search URL (ACT)"},
               {controlName, "engine name (SIT) holds control characters"}};
  for (const Case& c : cases) {
    WriteFileBytes(home.File("bad.eng"), c.file);
    testing::Outcome refused = home.Run({"engines", "import", home.File("bad.eng")});
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_THAT(refused.output, HasSubstr(c.why));
    EXPECT_THAT(refused.output, HasSubstr("nothing was imported"));
    EXPECT_EQ(ReadFileBytes(home.HomeFile("default.prf")), profile);
  }

  // 100 KB of random bytes, whatever lines they happen to hold.
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 rng(seed);
    std::string noise(100 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    WriteFileBytes(home.File("noise.eng"), noise);
    testing::Outcome refused = home.Run({"engines", "import", home.File("noise.eng")});
    EXPECT_NE(refused.exitCode, 0) << seed << ": " << refused.output;
    EXPECT_THAT(refused.output, HasSubstr("othing was imported")) << seed;
    EXPECT_EQ(ReadFileBytes(home.HomeFile("default.prf")), profile) << seed;
  }
}

TEST(EngineCommandsTest, OtherProfileByPath) {
  CliHome home;
  WriteFileBytes(home.File("other.prf"), "COM = 0\nMAX = 0\nTAR = 0\n" + PluginEngineFile("p.so"));
  testing::Outcome listed = home.Run({"engines", "--profile", home.File("other.prf")});
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  EXPECT_THAT(listed.output, HasSubstr("0  no   Bad Plugin"));
  EXPECT_EQ(home.Run({"engines", "--profile", home.File("none.prf")}).exitCode, 1);
}

}  // namespace
}  // namespace trovelane
