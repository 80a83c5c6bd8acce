#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "net/base64.h"
#include "tests/support/scratch_folder.h"

namespace trovelane {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

void PutLE(std::string& bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

void PutText(std::string& bytes, size_t at, const std::string& text) {
  bytes.replace(at, text.size(), text);
}

// A settings file as the Windows version writes it, laid out by hand.
std::string WindowsSettingsFile() {
  std::string b(4172, '\0');
  PutLE(b, 0, 1, 4);  // proxy on
  PutText(b, 4, "127.0.0.1");
  PutLE(b, 1028, 1080, 4);
  PutLE(b, 1032, 1, 4);              // SOCKS 5
  PutLE(b, 1036, 1, 4);              // authentication
  PutText(b, 1040, "dXNlcjpwYXNz");  // user:pass
  PutLE(b, 3088, 9, 4);              // T1 Lan
  PutText(b, 3092, "/usr/bin/firefox");
  PutText(b, 3092 + 20, "stale bytes after the terminator");
  PutLE(b, 4116 + 0, 250, 4);
  b[4116 + 4] = 1;       // per engine
  b[4116 + 5] = '\xcc';  // padding as it stood in memory
  b[4116 + 6] = '\xcc';
  b[4116 + 7] = '\xcc';
  PutLE(b, 4116 + 8, 3, 4);
  PutLE(b, 4116 + 12, 1, 4);
  PutLE(b, 4116 + 16, 2, 4);
  PutLE(b, 4116 + 20, 40, 4);
  const int16_t weights[8] = {5, 3, 9, 1, 0, 0, -2, 0};
  for (int i = 0; i < 8; ++i) PutLE(b, 4116 + 24 + 2 * i, static_cast<uint16_t>(weights[i]), 2);
  PutLE(b, 4116 + 40, 14, 2);
  b[4116 + 42] = '\xcc';
  PutLE(b, 4160, 1, 4);
  PutLE(b, 4164, 0, 4);
  PutLE(b, 4168, 1, 4);
  return b;
}

std::string NoBrowser() { return ""; }

class SettingsFileTest : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  std::string path_ = folder_.File(kSettingsFileName);
};

TEST_F(SettingsFileTest, ReadsEveryFieldAtItsOffset) {
  WriteFileBytes(path_, WindowsSettingsFile());
  NetworkSettings s;
  SettingsLoad load = LoadNetworkSettings(path_, s, NoBrowser);
  EXPECT_TRUE(load.fileRead);
  EXPECT_FALSE(load.browserDetected);
  EXPECT_EQ(s.proxy.enabled, 1);
  EXPECT_EQ(s.proxy.host, "127.0.0.1");
  EXPECT_EQ(s.proxy.port, 1080);
  EXPECT_EQ(s.proxy.type, kProxySocks5);
  EXPECT_EQ(s.proxy.requiresAuth, 1);
  EXPECT_EQ(Base64Decode(s.proxy.credentials), "user:pass");
  EXPECT_EQ(s.proxy.speedIndex, 9);
  EXPECT_EQ(s.proxy.browserPath, "/usr/bin/firefox");
  EXPECT_EQ(s.search.maxResults, 250);
  EXPECT_EQ(s.search.perEngine, 1);
  EXPECT_EQ(s.search.validationMode, kValidationAuto);
  EXPECT_EQ(s.search.defaultOperator, 1);
  EXPECT_EQ(s.search.duplicateMode, kDuplicateNone);
  EXPECT_EQ(s.search.minRelevancy, 40);
  EXPECT_EQ(s.search.weights[kWeightFontSize3], -2);
  EXPECT_EQ(s.search.maxRelevance, 14);
  EXPECT_EQ(s.view.fullRowSelect, 1);
  EXPECT_EQ(s.view.gridLines, 0);
  EXPECT_EQ(s.view.toolTips, 1);
}

TEST_F(SettingsFileTest, WritesTheSameBytesItRead) {
  std::string windows = WindowsSettingsFile();
  NetworkSettings s;
  DeserializeNetworkSettings(windows, s);
  std::string bytes;
  Status serialized = SerializeNetworkSettings(s, bytes);
  ASSERT_TRUE(serialized.ok()) << serialized.message();
  ASSERT_EQ(bytes.size(), kSettingsFileSize);
  // Only the stale bytes behind the browser path's terminator are not kept.
  std::string expected = windows;
  std::fill(expected.begin() + 3092 + 20, expected.begin() + 3092 + 52, '\0');
  EXPECT_EQ(bytes, expected);
}

TEST_F(SettingsFileTest, ShortFileLoadsTheProxyAndLeavesTheRestZero) {
  WriteFileBytes(path_, WindowsSettingsFile().substr(0, 4116));
  NetworkSettings s;
  s.search.maxResults = 99;
  s.view.toolTips = 1;
  LoadNetworkSettings(path_, s, NoBrowser);
  EXPECT_EQ(s.proxy.port, 1080);
  EXPECT_EQ(s.proxy.browserPath, "/usr/bin/firefox");
  EXPECT_EQ(s.search.maxResults, 0);
  EXPECT_EQ(s.search.weights, (std::array<int16_t, kWeightCount>{}));
  EXPECT_EQ(s.view.toolTips, 0);
}

TEST_F(SettingsFileTest, ProxyCredentialsSitAtOffset1040) {
  NetworkSettings s;
  s.proxy.enabled = 1;
  s.proxy.type = kProxySocks5;
  s.proxy.port = 1080;
  s.proxy.requiresAuth = 1;
  s.proxy.credentials = Base64Encode("me:secret");
  ASSERT_TRUE(SaveNetworkSettings(path_, s).ok());
  std::string bytes = ReadFileBytes(path_);
  ASSERT_EQ(bytes.size(), 4172u);
  EXPECT_EQ(bytes.substr(1040, s.proxy.credentials.size() + 1), s.proxy.credentials + '\0');
  EXPECT_EQ(bytes.substr(1028, 4), std::string("\x38\x04\0\0", 4));
}

TEST_F(SettingsFileTest, SavedFileIsPrivateAndAFailedSaveKeepsTheOldOne) {
  WriteFileBytes(path_, WindowsSettingsFile());
  ::chmod(path_.c_str(), 0644);
  NetworkSettings s;
  LoadNetworkSettings(path_, s, NoBrowser);
  ASSERT_TRUE(SaveNetworkSettings(path_, s).ok());
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const std::string before = ReadFileBytes(path_);
  s.proxy.host = std::string(1024, 'h');
  Status tooLong = SaveNetworkSettings(path_, s);
  EXPECT_FALSE(tooLong.ok());
  EXPECT_NE(tooLong.message().find("proxy server address"), std::string::npos) << tooLong.message();
  EXPECT_EQ(ReadFileBytes(path_), before);

  s.proxy.host = "127.0.0.1";
  WriteFileBytes(folder_.File("file"), "");
  EXPECT_FALSE(SaveNetworkSettings(folder_.File("file") + "/qmknet.dat", s).ok());
}

TEST_F(SettingsFileTest, EmptyBrowserPathIsDetectedAndSavedOnlyIntoAnExistingFile) {
  auto detect = [] { return std::string("/opt/web/browser"); };
  NetworkSettings missing;
  SettingsLoad load = LoadNetworkSettings(path_, missing, detect);
  EXPECT_FALSE(load.fileRead);
  EXPECT_EQ(missing.proxy.browserPath, "/opt/web/browser");
  EXPECT_FALSE(std::filesystem::exists(path_));

  std::string file = WindowsSettingsFile();
  std::fill(file.begin() + 3092, file.begin() + 3092 + 1024, '\0');
  WriteFileBytes(path_, file);
  NetworkSettings s;
  load = LoadNetworkSettings(path_, s, detect);
  EXPECT_TRUE(load.browserDetected);
  EXPECT_TRUE(load.save.ok());
  EXPECT_EQ(ReadFileBytes(path_).substr(3092, 17), std::string("/opt/web/browser\0", 17));
}

// A folder or a pipe in the file's place is said to be there, not read as
// settings of all zeros, and a pipe with no writer never holds the start.
TEST_F(SettingsFileTest, AFolderOrPipeInItsPlaceIsReportedNotReadAsZeros) {
  auto detect = [] { return std::string("/opt/web/browser"); };
  ASSERT_TRUE(std::filesystem::create_directory(path_));
  NetworkSettings s;
  s.search.maxResults = 77;
  SettingsLoad load = LoadNetworkSettings(path_, s, detect);
  EXPECT_FALSE(load.fileRead);
  EXPECT_EQ(load.read.message(),
            path_ + " cannot be read (it is a folder); every setting starts from zero");
  EXPECT_EQ(s.search.maxResults, 0);
  EXPECT_TRUE(load.save.ok());  // nothing is saved over it
  EXPECT_TRUE(std::filesystem::is_directory(path_));
  std::filesystem::remove(path_);

  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  load = LoadNetworkSettings(path_, s, detect);
  EXPECT_FALSE(load.fileRead);
  EXPECT_NE(load.read.message().find("(it is not a regular file)"), std::string::npos) << load.read.message();
  std::filesystem::remove(path_);

  // No file at all is no problem: a first start has none.
  EXPECT_EQ(LoadNetworkSettings(path_, s, detect).read, Status::Ok());
}

TEST(SettingsTablesTest, ChunkSizesAndMaxRelevance) {
  EXPECT_EQ(ReadChunkSizeForSpeed(0), 1750);
  EXPECT_EQ(ReadChunkSizeForSpeed(8), 128000);
  EXPECT_EQ(ReadChunkSizeForSpeed(9), ReadChunkSizeForSpeed(1));
  EXPECT_EQ(ReadChunkSizeForSpeed(10), 3600);
  EXPECT_EQ(ReadChunkSizeForSpeed(-1), 3600);
  NetworkSettings s;
  s.proxy.speedIndex = 4;
  DeriveReadChunkSize(s);
  EXPECT_EQ(s.readChunkSize, 14000);

  EXPECT_EQ(ComputeMaxRelevance({5, 3, 9, 1, 0, 0, 0, 0}), 14);
  EXPECT_EQ(ComputeMaxRelevance({0, -3, -9, -1, -5, -5, -5, -5}), -1);
  EXPECT_EQ(ComputeMaxRelevance({32000, 32000, 0, 0, 0, 0, 0, 0}), 32767);
}

}  // namespace
}  // namespace trovelane
