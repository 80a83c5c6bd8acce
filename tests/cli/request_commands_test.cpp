// trovelane-cli request on the seeded example engines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/cli/cli_home.h"

namespace trovelane {
namespace {

using testing::CliHome;
using ::testing::HasSubstr;

TEST(RequestCommandsTest, ShowsEachSelectedEnginesRequest) {
  CliHome home;
  testing::Outcome shown = home.Run({"request", "a b \"c d\""});
  ASSERT_EQ(shown.exitCode, 0) << shown.output;
  EXPECT_EQ(shown.output,
            "[0] Example Offsets\n"
            "GET http://127.0.0.1:8080/search?q=a+AND+b+AND+%22c d%22&start=0&lang=en\n"
            "[1] Example Form Post\n"
            "POST http://127.0.0.1:8080/find\n"
            "body: words=a b c d&page=1\n");

  ASSERT_EQ(home.Run({"settings", "set", "operator", "or"}).exitCode, 0);
  testing::Outcome page =
      home.Run({"request", "--engine", "Example Offsets", "--page", "3", "a", "b"});
  ASSERT_EQ(page.exitCode, 0) << page.output;
  EXPECT_EQ(page.output,
            "[0] Example Offsets\nGET http://127.0.0.1:8080/search?q=a+OR+b&start=30&lang=en\n");
}

TEST(RequestCommandsTest, InvalidEmptyAndOverlongExpressions) {
  CliHome home;
  testing::Outcome invalid = home.Run({"request", "a &"});
  EXPECT_EQ(invalid.exitCode, 2);
  EXPECT_THAT(invalid.output, HasSubstr("either invalid or empty"));

  testing::Outcome nothing = home.Run({"request", "'QMNOSEND,TITLE,QMINNERTEXT,x'"});
  EXPECT_EQ(nothing.exitCode, 2);
  EXPECT_THAT(nothing.output, HasSubstr("Nothing to search for !"));

  testing::Outcome overlong = home.Run({"request", "--engine", "0", std::string(1000, 'w')});
  EXPECT_EQ(overlong.exitCode, 1);
  EXPECT_THAT(overlong.output, HasSubstr("refused: The request for Example Offsets is"));
}

TEST(RequestCommandsTest, ResolveShowsWhereTheConnectionWouldGo) {
  CliHome home;
  testing::Outcome shown = home.Run(
      {"request", "--resolve", "127.0.0.1:8080:[::1]", "--engine", "0", "river"});
  ASSERT_EQ(shown.exitCode, 0) << shown.output;
  EXPECT_THAT(shown.output, HasSubstr("\nconnect: ::1 port 8080 (resolve 127.0.0.1:8080:[::1])\n"));
  EXPECT_EQ(home.Run({"request", "--resolve", "nonsense", "river"}).exitCode, 2);
}

}  // namespace
}  // namespace trovelane
