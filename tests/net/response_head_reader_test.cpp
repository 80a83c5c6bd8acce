#include "net/response_head_reader.h"

#include <gtest/gtest.h>

namespace trovelane {
namespace {

TEST(ParseStatusLine, TakesTheCodeFromTheTenthCharacter) {
  EXPECT_EQ(ParseStatusLine("HTTP/1.1 301 Moved\r\n"), 301);
  EXPECT_EQ(ParseStatusLine("HTTP/1.0 200\r\n"), 200);
  EXPECT_EQ(ParseStatusLine("HTTP/1.0 x\r\n"), 0);
  EXPECT_EQ(ParseStatusLine("HTTP/\r\n"), 0);
  EXPECT_EQ(ParseStatusLine("http/1.0 200 OK\r\n"), -1);
  EXPECT_EQ(ParseStatusLine("HTTP/1.0 99999999999999999999999\r\n"), 999999999);
}

TEST(HeaderValueNoCase, MatchesTheWholeNameOnly) {
  std::string value;
  EXPECT_TRUE(HeaderValueNoCase("content-LENGTH:  42 \r\n", "Content-Length", value));
  EXPECT_EQ(value, "42");
  EXPECT_TRUE(HeaderValueNoCase("Content-Length:\r\n", "Content-Length", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(HeaderValueNoCase("Content-Lengthy: 1\r\n", "Content-Length", value));
  EXPECT_FALSE(HeaderValueNoCase("Content-Length", "Content-Length", value));
}

}  // namespace
}  // namespace trovelane
