// The profiles that come with the program (data/web.prf, data/research.prf):
// each reads with every extension its engines need, writes back byte for byte
// (so a user who saves it changes nothing, and the writer's own count of the
// extensions part matches the file's).
#include <gtest/gtest.h>

#include <stdexcept>

#include "engines/profile.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

const std::string kShipped = TROVELANE_DATA_DIR "/web.prf";
const std::string kResearch = TROVELANE_DATA_DIR "/research.prf";

const EngineDefinition& Named(const EngineCatalogue& catalogue, const std::string& name) {
  for (const EngineDefinition& e : catalogue.engines) {
    if (e.name == name) return e;
  }
  throw std::runtime_error("no engine " + name);
}

TEST(ShippedProfileTest, WebProfileReadsItsExtensionsAndWritesBackByteForByte) {
  const std::string shipped = ReadFileBytes(kShipped);
  ASSERT_FALSE(shipped.empty());
  ScratchFolder folder;
  const std::string copy = folder.File("web.prf");
  WriteFileBytes(copy, shipped);
  EngineCatalogue catalogue;
  ASSERT_TRUE(LoadProfile(copy, catalogue).ok());
  ASSERT_EQ(catalogue.engines.size(), 9u);
  for (const EngineDefinition& e : catalogue.engines) {
    EXPECT_EQ(CheckPaging(e), Status::Ok()) << CheckPaging(e).message();
    // The SearXNG engines wait for the address of the user's instance.
    EXPECT_EQ(e.selected, e.name.rfind("SearXNG", 0) == 0 ? 0 : 1) << e.name;
    EXPECT_TRUE(e.web.http11 && e.web.acceptCompression) << e.name;
  }
  const EngineDefinition& duck = Named(catalogue, "DuckDuckGo");
  EXPECT_EQ(duck.method, POST);
  EXPECT_EQ(duck.iterationTechnique, AUTO_1);
  EXPECT_EQ(duck.web.blockMarkers, std::vector<std::string>{"form#challenge-form"});
  // Wikipedia's results are its own pages, linked without a host, whatever
  // their names end in ("St._Louis"); its User-Agent says which program asks
  // and how to reach whoever runs it.
  const EngineDefinition& wiki = Named(catalogue, "Wikipedia");
  EXPECT_TRUE(wiki.web.anyFileType && wiki.web.ownPages);
  EXPECT_TRUE(wiki.searchedFileTypes.empty());
  EXPECT_EQ(wiki.web.userAgent.rfind("trovelane/", 0), 0u);
  EXPECT_NE(wiki.web.userAgent.find("{contact}"), std::string::npos);
  EXPECT_EQ(Named(catalogue, "Yandex").web.blockHeaders,
            std::vector<std::string>{"x-yandex-captcha: captcha"});
  // An instance that gives its results as JSON is read by their paths.
  const EngineDefinition& json = Named(catalogue, "SearXNG (JSON)");
  EXPECT_EQ(ResultFormatOf(json.web), ResultFormat::kJson);
  EXPECT_EQ(json.web.jsonResults + " " + json.web.jsonUrl, "results url");

  ASSERT_TRUE(SaveProfile(copy, catalogue).ok());
  EXPECT_EQ(ReadFileBytes(copy), shipped);
}

// The research sources answer through their APIs: every engine reads JSON or
// a feed over https, and the services that ask who is calling (Wikimedia,
// Crossref's polite pool, GitHub) get a User-Agent with the contact.
TEST(ShippedProfileTest, ResearchProfileReadsItsApiKeysAndWritesBackByteForByte) {
  const std::string shipped = ReadFileBytes(kResearch);
  ASSERT_FALSE(shipped.empty());
  ScratchFolder folder;
  const std::string copy = folder.File("research.prf");
  WriteFileBytes(copy, shipped);
  EngineCatalogue catalogue;
  ASSERT_TRUE(LoadProfile(copy, catalogue).ok());
  ASSERT_EQ(catalogue.engines.size(), 5u);
  for (const EngineDefinition& e : catalogue.engines) {
    EXPECT_EQ(CheckPaging(e), Status::Ok()) << CheckPaging(e).message();
    EXPECT_EQ(e.selected, 1) << e.name;
    EXPECT_EQ(e.searchUrl.rfind("https://", 0), 0u) << e.searchUrl;
    EXPECT_TRUE(e.web.format == "json" || e.web.format == "feed") << e.name;
    // Their results are ordinary addresses, of whatever type the path ends in.
    EXPECT_TRUE(e.web.anyFileType) << e.name;
    EXPECT_EQ(e.web.format == "json", !e.web.jsonUrl.empty()) << e.name;
  }
  for (const char* asks : {"Wikipedia", "Crossref", "GitHub"}) {
    EXPECT_NE(Named(catalogue, asks).web.userAgent.find("{contact}"), std::string::npos) << asks;
  }
  EXPECT_EQ(Named(catalogue, "Hacker News").web.jsonUrl,
            "url || https://news.ycombinator.com/item?id={objectID}");

  ASSERT_TRUE(SaveProfile(copy, catalogue).ok());
  EXPECT_EQ(ReadFileBytes(copy), shipped);
}

}  // namespace
}  // namespace trovelane
