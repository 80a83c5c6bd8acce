// Runs trovelane-cli parse and match as a user would and checks their output
// and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/cli_runner.h"

namespace {

using trovelane::testing::Outcome;
using trovelane::testing::RunCli;

class ExpressionCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("trovelane_cli_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string WritePage(const std::string& name, const std::string& text) {
    const std::filesystem::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  std::filesystem::path folder_;
};

constexpr const char* kInvalidMessage =
    "The search expression you have entered is either invalid or empty.\n"
    "Please refer to trovelane Help or use the trovelane Expression Wizard !\n";

TEST_F(ExpressionCommandsTest, ParseShowsEveryStage) {
  const Outcome outcome =
      RunCli({"parse", "'QMNOSEND,TITLE,QMINNERTEXT,x' \"big cat\" & !(a | b)"});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.output,
            "normalized: 'QMNOSEND,TITLE,QMINNERTEXT,x'&\"big cat\" & !(a | b)\n"
            "tree:\n"
            "  AND\n"
            "    AND\n"
            "      tag TITLE QMINNERTEXT \"x\" [exact, not sent]\n"
            "      phrase \"big cat\" [exact]\n"
            "    AND\n"
            "      NOT word \"a\"\n"
            "      NOT word \"b\"\n"
            "weight: 9\n"
            "plain: big cat_a_b\n");
}

TEST_F(ExpressionCommandsTest, ParseDefaultOperator) {
  EXPECT_NE(RunCli({"parse", "a b"}).output.find("normalized: a&b\n"), std::string::npos);
  EXPECT_NE(RunCli({"parse", "--or", "a", "b"}).output.find("normalized: a|b\n"),
            std::string::npos);
}

TEST_F(ExpressionCommandsTest, ParseRefusals) {
  for (const char* text : {"", "(a", "a & ", "don't"}) {
    const Outcome outcome = RunCli({"parse", text});
    EXPECT_EQ(outcome.exitCode, 2) << text;
    EXPECT_EQ(outcome.output, kInvalidMessage) << text;
  }
  const Outcome nothing = RunCli({"parse", "'QMNOSEND,TITLE,QMINNERTEXT,x'"});
  EXPECT_EQ(nothing.exitCode, 2);
  EXPECT_EQ(nothing.output, "Nothing to search for !\n");
}

TEST_F(ExpressionCommandsTest, MatchReportsEachFile) {
  const std::string cats = WritePage("cats.html", "<title>pets</title>a cat");
  const std::string dogs = WritePage("dogs.html", "a dog and a cat");
  const std::string empty = WritePage("empty.html", "");

  Outcome outcome = RunCli({"match", "cat !dog", cats});
  EXPECT_EQ(outcome.exitCode, 2);  // "cat !dog" keeps its blank: no operator between the terms

  outcome = RunCli({"match", "cat & !dog & 'TITLE,QMINNERTEXT,pets'", cats});
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(outcome.output, cats + ": match\n");

  outcome = RunCli({"match", "cat", cats, dogs, empty});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.output, cats + ": match\n" + dogs + ": match\n" + empty + ": no match\n");

  outcome = RunCli({"match", "cat", (folder_ / "missing").string(), cats});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_NE(outcome.output.find("missing: cannot be read"), std::string::npos);
  EXPECT_NE(outcome.output.find(cats + ": match\n"), std::string::npos);
}

}  // namespace
