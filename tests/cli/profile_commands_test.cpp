// trovelane-cli profiles and profiles use.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/cli/cli_home.h"

namespace trovelane {
namespace {

using testing::CliHome;
using ::testing::HasSubstr;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

TEST(ProfileCommandsTest, ListMarksTheCurrentProfileAndUseSwitches) {
  CliHome home(CliHome::kFirstStart);
  testing::Outcome first = home.Run({"profiles"});
  ASSERT_EQ(first.exitCode, 0) << first.output;
  EXPECT_EQ(first.output, "  Default\tdefault.prf\n* Web\tweb.prf\n  Research\tresearch.prf\n");

  WriteFileBytes(home.File("work.prf"), "COM = 0\nMAX = 0\nTAR = 0\n");
  testing::Outcome byPath = home.Run({"profiles", "use", home.File("work.prf")});
  ASSERT_EQ(byPath.exitCode, 0) << byPath.output;
  EXPECT_THAT(byPath.output, HasSubstr("0 engines"));
  EXPECT_EQ(ReadFileBytes(home.HomeFile("qmkprfl.dat")),
            home.File("work.prf") +
                "\nDefault\tdefault.prf\nWeb\tweb.prf\nResearch\tresearch.prf\nwork\t" +
                home.File("work.prf") + "\n");
  EXPECT_THAT(home.Run({"engines"}).output, HasSubstr("No engines in"));

  testing::Outcome byName = home.Run({"profiles", "use", "Default"});
  ASSERT_EQ(byName.exitCode, 0) << byName.output;
  EXPECT_THAT(byName.output, HasSubstr("2 engines"));
  EXPECT_EQ(home.Run({"profiles"}).output,
            "* Default\tdefault.prf\n  Web\tweb.prf\n  Research\tresearch.prf\n  work\t" +
                home.File("work.prf") + "\n");

  testing::Outcome unknown = home.Run({"profiles", "use", "Nowhere"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_THAT(unknown.output, HasSubstr("No profile is named \"Nowhere\""));
}

}  // namespace
}  // namespace trovelane
