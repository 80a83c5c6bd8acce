// The decoding of chunked, gzip and deflate bodies, fed as a connection would
// feed it: in pieces of any size, and by hostile servers.
#include "net/body_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/https_fixture.h"

namespace trovelane {
namespace {

using test::ChunkedBytes;
using test::DeflateBytes;
using test::GzipBytes;
using State = BodyDecoder::State;

struct Decoded {
  std::string body;
  State state;
  std::string problem;
};

// Feeds `raw` in pieces of `piece` bytes, taking decoded bytes `take` at a
// time, then ends the input, as CHttpURL::Read drives it.
Decoded Decode(bool chunked, ContentCoding coding, const std::string& raw, size_t piece = 7,
               size_t take = 5, uint64_t maxOutput = 1 << 20) {
  BodyDecoder decoder(chunked, coding, maxOutput);
  Decoded out;
  size_t at = 0;
  char buffer[64];
  for (int guard = 0; guard < 10'000'000; ++guard) {
    size_t n = decoder.Take(buffer, std::min(take, sizeof buffer));
    if (n > 0) {
      out.body.append(buffer, n);
      continue;
    }
    State state = decoder.state();
    if (state == State::kHasOutput) continue;
    if (state != State::kNeedInput) break;
    if (at >= raw.size()) {
      decoder.EndOfInput();
      continue;
    }
    decoder.Give(std::string_view(raw).substr(at, piece));
    at += piece;
  }
  out.state = decoder.state();
  out.problem = decoder.problem();
  return out;
}

std::string Text(size_t size) {
  std::string text;
  for (size_t i = 0; text.size() < size; ++i) text += "<a href=\"/r" + std::to_string(i) + "\">r</a>\n";
  text.resize(size);
  return text;
}

TEST(BodyDecoder, ChunkedBodiesInAnySplitting) {
  const std::string body = Text(5000);
  for (size_t piece : {1, 3, 7, 100, 10000}) {
    SCOPED_TRACE(piece);
    Decoded d = Decode(true, ContentCoding::kIdentity, ChunkedBytes(body, 333), piece);
    EXPECT_EQ(d.state, State::kDone);
    EXPECT_TRUE(d.body == body);
  }
  // Extensions, upper-case digits, bare LF line ends and a trailer are read
  // past; bytes after the trailer are not body.
  Decoded d = Decode(true, ContentCoding::kIdentity,
                     "5;name=value\r\nhello\r\nA\nwonderful \r\n0\r\nX-Trailer: 1\r\n\r\nGARBAGE");
  EXPECT_EQ(d.state, State::kDone);
  EXPECT_EQ(d.body, "hellowonderful ");
}

TEST(BodyDecoder, HostileChunkFramingIsAClearFailure) {
  struct Case {
    const char* what;
    std::string raw;
    State state;
  };
  const Case cases[] = {
      {"a size that overflows 64 bits", "1FFFFFFFFFFFFFFFF\r\nx\r\n0\r\n\r\n", State::kMalformed},
      {"a size that is not hexadecimal", "zz\r\nhello\r\n", State::kMalformed},
      {"a size line without digits", "\r\nhello\r\n", State::kMalformed},
      {"a size line that never ends", std::string(1 << 20, '0'), State::kMalformed},
      {"an extension that never ends", "5;" + std::string(1 << 20, 'x'), State::kMalformed},
      {"data longer than its size (no CRLF after it)", "3\r\nhello\r\n0\r\n\r\n",
       State::kMalformed},
      {"CR without LF after the size", "3\rabc\r\n0\r\n\r\n", State::kMalformed},
      {"a trailer that never ends", "0\r\n" + std::string(1 << 20, 'x'), State::kMalformed},
      {"the connection ends inside a chunk", "10\r\nonly a part", State::kTruncated},
      {"the connection ends before the last chunk", "3\r\nabc\r\n", State::kTruncated},
      {"nothing at all", "", State::kTruncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Decoded d = Decode(true, ContentCoding::kIdentity, c.raw, 4096);
    EXPECT_EQ(d.state, c.state);
    if (c.state == State::kMalformed) {
      EXPECT_FALSE(d.problem.empty());
    }
  }
}

TEST(BodyDecoder, GzipAndDeflateInflateInAnySplitting) {
  const std::string body = Text(100000);
  struct Case {
    const char* what;
    ContentCoding coding;
    std::string raw;
  };
  const Case cases[] = {
      {"gzip", ContentCoding::kGzip, GzipBytes(body)},
      {"zlib-wrapped deflate", ContentCoding::kDeflate, DeflateBytes(body)},
      {"raw deflate, as some servers send it", ContentCoding::kDeflate, DeflateBytes(body, true)},
      {"two gzip members", ContentCoding::kGzip,
       GzipBytes(body.substr(0, 40000)) + GzipBytes(body.substr(40000))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (size_t piece : {1, 1000, 1 << 20}) {
      Decoded d = Decode(false, c.coding, c.raw, piece, 64);
      EXPECT_EQ(d.state, State::kDone) << d.problem;
      EXPECT_TRUE(d.body == body) << piece;
    }
  }
  // Chunks around compressed data, as a server compressing on the fly sends it.
  Decoded d = Decode(true, ContentCoding::kGzip, ChunkedBytes(GzipBytes(body), 517), 300, 64);
  EXPECT_EQ(d.state, State::kDone);
  EXPECT_TRUE(d.body == body);
}

TEST(BodyDecoder, BrokenOrCutCompressedDataFails) {
  const std::string body = Text(20000);
  std::string corrupt = GzipBytes(body);
  for (size_t i = 20; i < 60; ++i) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x55);
  Decoded broken = Decode(false, ContentCoding::kGzip, corrupt, 100, 64);
  EXPECT_EQ(broken.state, State::kMalformed);
  EXPECT_FALSE(broken.problem.empty());

  Decoded notGzip = Decode(false, ContentCoding::kGzip, "<html>plain text</html>", 100, 64);
  EXPECT_EQ(notGzip.state, State::kMalformed);

  std::string gz = GzipBytes(body);
  Decoded cut = Decode(false, ContentCoding::kGzip, gz.substr(0, gz.size() / 2), 100, 64);
  EXPECT_EQ(cut.state, State::kTruncated);
  EXPECT_LT(cut.body.size(), body.size());

  // The last chunk ends the body even on a connection that stays open:
  // compressed data still unfinished then is cut, not awaited.
  BodyDecoder chunked(true, ContentCoding::kGzip, 1 << 20);
  chunked.Give(ChunkedBytes(gz.substr(0, gz.size() / 2), 1000));
  std::string buffer(1 << 20, '\0');
  while (chunked.Take(buffer.data(), buffer.size()) > 0) {
  }
  EXPECT_EQ(chunked.state(), State::kTruncated);
}

TEST(BodyDecoder, OutputIsCappedExactlyAtTheBound) {
  const std::string body(100000, 'z');
  // A body of exactly the bound is whole; one byte more is too large.
  Decoded exact = Decode(false, ContentCoding::kGzip, GzipBytes(body), 1000, 64, body.size());
  EXPECT_EQ(exact.state, State::kDone);
  EXPECT_EQ(exact.body.size(), body.size());
  Decoded over = Decode(false, ContentCoding::kGzip, GzipBytes(body), 1000, 64, body.size() - 1);
  EXPECT_EQ(over.state, State::kTooLarge);
  EXPECT_EQ(over.body.size(), body.size() - 1);
  Decoded chunked =
      Decode(true, ContentCoding::kIdentity, ChunkedBytes(body, 4096), 1000, 64, 50000);
  EXPECT_EQ(chunked.state, State::kTooLarge);
}

TEST(BodyDecoder, ABombInflatesOnlyAsFarAsTheBound) {
  // 64 MiB of zeros in about 64 KiB: the decoder must stop at its bound
  // without ever holding more than one piece of output.
  std::string bomb = GzipBytes(std::string(size_t{64} << 20, '\0'));
  ASSERT_LT(bomb.size(), 256u << 10);
  BodyDecoder decoder(false, ContentCoding::kGzip, 8 << 20);
  decoder.Give(bomb);
  std::string buffer(65536, '\0');
  uint64_t total = 0;
  while (size_t n = decoder.Take(buffer.data(), buffer.size())) total += n;
  EXPECT_EQ(decoder.state(), State::kTooLarge);
  EXPECT_EQ(total, 8u << 20);
}

TEST(BodyDecoder, ContentCodingNames) {
  EXPECT_EQ(ParseContentCoding("gzip"), ContentCoding::kGzip);
  EXPECT_EQ(ParseContentCoding(" X-GZIP "), ContentCoding::kGzip);
  EXPECT_EQ(ParseContentCoding("Deflate"), ContentCoding::kDeflate);
  EXPECT_EQ(ParseContentCoding("br"), ContentCoding::kIdentity);
  EXPECT_EQ(ParseContentCoding("gzip, br"), ContentCoding::kIdentity);
  EXPECT_EQ(ParseContentCoding(""), ContentCoding::kIdentity);
}

}  // namespace
}  // namespace trovelane
