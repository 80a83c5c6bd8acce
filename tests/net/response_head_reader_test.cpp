#include "net/response_head_reader.h"

#include <gtest/gtest.h>

#include "fuzz/memory_stream.h"

namespace trovelane {
namespace {

// The reader takes several lines out of the stream at once when one peek
// shows them; however the stream splits the answer, the lines come out
// whole and the body stays in the stream to its first byte.
TEST(HeadLineReader, LinesAndBodyComeOutWholeHoweverTheStreamSplitsThem) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nServer: x\r\nContent-Type: text/html\r\n"
      "Content-Length: 12\r\nX-Long: " + std::string(5000, 'v') + "\r\n\r\n";
  const std::string body = "<p>body</p>\n";
  for (const std::string& sizes : {std::string(), std::string("\x01"), std::string("\x07\x40"),
                                  std::string("\xff\x03")}) {
    fuzz::MemoryStream stream(head + body, sizes);
    std::string lines, line;
    {
      HeadLineReader reader(stream);
      while (reader.Next(line) == HeadLineReader::Result::kLine) {
        lines += line;
        if (IsEndOfHead(line)) break;
      }
    }
    EXPECT_EQ(lines, head) << sizes.size();
    EXPECT_EQ(stream.left(), body.size()) << sizes.size();
  }
}

TEST(HeadLineReader, AReaderLeftEarlyLeavesTheStreamAfterItsLastLine) {
  fuzz::MemoryStream stream("HTTP/1.0 200 OK\r\nA: 1\r\nB: 2\r\n\r\nbody", "");
  std::string line;
  {
    HeadLineReader reader(stream);
    ASSERT_EQ(reader.Next(line), HeadLineReader::Result::kLine);
    ASSERT_EQ(reader.Next(line), HeadLineReader::Result::kLine);
    EXPECT_EQ(line, "A: 1\r\n");
  }
  HeadLineReader next(stream);
  ASSERT_EQ(next.Next(line), HeadLineReader::Result::kLine);
  EXPECT_EQ(line, "B: 2\r\n");
}

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
