// trovelane-cli settings and settings set.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "net/base64.h"
#include "net/connection_settings.h"
#include "tests/cli/cli_home.h"

namespace trovelane {
namespace {

using testing::CliHome;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::ReadFileBytes;

TEST(SettingsCommandsTest, ConfiguresAnAuthenticatedProxy) {
  CliHome home;
  for (auto [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"proxy", "on"},
                                                        {"proxy.host", "127.0.0.1"},
                                                        {"proxy.port", "1080"},
                                                        {"proxy.type", "SOCKS 5"},
                                                        {"proxy.auth", "on"},
                                                        {"proxy.user", "me"},
                                                        {"proxy.password", "pw"},
                                                        {"speed", "T1 Lan"}}) {
    testing::Outcome set = home.Run({"settings", "set", key, value});
    ASSERT_EQ(set.exitCode, 0) << key << ": " << set.output;
  }
  std::string file = ReadFileBytes(home.HomeFile("qmknet.dat"));
  ASSERT_EQ(file.size(), 4172u);
  EXPECT_EQ(file.substr(1040, 9), Base64Encode("me:pw") + '\0');
  struct stat st {};
  ASSERT_EQ(::stat(home.HomeFile("qmknet.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  testing::Outcome shown = home.Run({"settings"});
  EXPECT_THAT(shown.output, HasSubstr("proxy.type = socks5 (SOCKS 5)\n"));
  EXPECT_THAT(shown.output, HasSubstr("proxy.user = me\n"));
  EXPECT_THAT(shown.output, HasSubstr("proxy.password = ********\n"));
  EXPECT_THAT(shown.output, Not(HasSubstr("pw\n")));
  EXPECT_THAT(shown.output, HasSubstr("read-chunk = 3600"));
}

TEST(SettingsCommandsTest, UserAgentIsKeptInTrovelaneJson) {
  CliHome home;
  EXPECT_THAT(home.Run({"settings"}).output,
              HasSubstr(std::string("user-agent = ") + kDefaultUserAgent + "\n"));
  testing::Outcome set = home.Run({"settings", "set", "user-agent", "Research Bot/1.0"});
  ASSERT_EQ(set.exitCode, 0) << set.output;
  EXPECT_THAT(ReadFileBytes(home.HomeFile("trovelane.json")),
              HasSubstr("\"userAgent\": \"Research Bot/1.0\""));
  testing::Outcome empty = home.Run({"settings", "set", "user-agent", ""});
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_THAT(empty.output, HasSubstr("userAgent is empty"));
  // trovelane.json holds UTF-8 text only: other bytes are refused, not a crash.
  testing::Outcome latin1 = home.Run({"settings", "set", "user-agent", "Caf\xe9 Bot/1.0"});
  EXPECT_EQ(latin1.exitCode, 2) << latin1.output;
  EXPECT_THAT(latin1.output, HasSubstr("userAgent is not UTF-8 text"));
  EXPECT_THAT(ReadFileBytes(home.HomeFile("trovelane.json")),
              HasSubstr("\"userAgent\": \"Research Bot/1.0\""));
}

// What the parser refuses (a value it cannot convert, one not in its list,
// an argument too many) exits 2 as every other usage error does.
TEST(SettingsCommandsTest, OptionErrorsExitTwo) {
  CliHome home;
  for (std::vector<std::string> bad : {std::vector<std::string>{"search", "--max", "many", "x"},
                                       {"open", "x.qmk", "--format", "yaml"},
                                       {"settings", "set", "speed", "1", "2"},
                                       {"engines", "--no-such-option"}}) {
    testing::Outcome refused = home.Run(bad);
    EXPECT_EQ(refused.exitCode, 2) << bad[0] << " " << bad[1] << ": " << refused.output;
  }
}

// Output lost on the way to standard output is a failure with its reason.
TEST(SettingsCommandsTest, ListingsIntoAFullDeviceFail) {
  CliHome home;
  for (std::vector<std::string> listing :
       {std::vector<std::string>{"settings"}, {"engines"}, {"profiles"}}) {
    testing::Outcome lost = home.Run(listing, " 2>&1 >/dev/full");
    EXPECT_EQ(lost.exitCode, 1) << listing[0] << ": " << lost.output;
    EXPECT_THAT(lost.output, HasSubstr("Cannot write to standard output: No space left on device"));
  }
}

TEST(SettingsCommandsTest, SearchOptionsWeightsAndBadValues) {
  CliHome home;
  ASSERT_EQ(home.Run({"settings", "set", "weight.title", "5"}).exitCode, 0);
  ASSERT_EQ(home.Run({"settings", "set", "weight.heading2", "9"}).exitCode, 0);
  ASSERT_EQ(home.Run({"settings", "set", "weight.none", "--", "-3"}).exitCode, 0);
  ASSERT_EQ(home.Run({"settings", "set", "operator", "or"}).exitCode, 0);
  ASSERT_EQ(home.Run({"settings", "set", "validation", "auto"}).exitCode, 0);
  testing::Outcome shown = home.Run({"settings"});
  EXPECT_THAT(shown.output, HasSubstr("relevance.max = 14"));
  EXPECT_THAT(shown.output, HasSubstr("weight.none = -3\n"));
  EXPECT_THAT(shown.output, HasSubstr("operator = or (OR)\n"));
  EXPECT_THAT(shown.output, HasSubstr("validation = auto (Auto (Recommended))\n"));

  const std::string before = ReadFileBytes(home.HomeFile("qmknet.dat"));
  for (std::vector<std::string> bad : {std::vector<std::string>{"proxy.port", "70000"},
                                       {"proxy", "maybe"},
                                       {"proxy.password", "a:b"},
                                       {"proxy.user", "dom:user"},
                                       {"no.such.key", "1"},
                                       {"relevance.max", "3"},
                                       {"proxy.host", std::string(1024, 'h')}}) {
    testing::Outcome refused = home.Run({"settings", "set", bad[0], bad[1]});
    EXPECT_EQ(refused.exitCode, 2) << bad[0] << ": " << refused.output;
  }
  EXPECT_EQ(ReadFileBytes(home.HomeFile("qmknet.dat")), before);
}

TEST(SettingsCommandsTest, AFolderNamedLikeTheSettingsFileIsReported) {
  CliHome home;
  ASSERT_EQ(home.Run({"settings"}).exitCode, 0);  // seeds the folder
  std::filesystem::remove(home.HomeFile("qmknet.dat"));
  std::filesystem::create_directory(home.HomeFile("qmknet.dat"));
  testing::Outcome shown = home.Run({"settings"});
  EXPECT_THAT(shown.output, HasSubstr("qmknet.dat cannot be read (it is a folder)"));
  testing::Outcome set = home.Run({"settings", "set", "proxy", "on"});
  EXPECT_NE(set.exitCode, 0) << set.output;
}

}  // namespace
}  // namespace trovelane
