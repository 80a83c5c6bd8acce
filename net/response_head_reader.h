// Reading the head of an HTTP answer line by line without taking a single
// byte of the body out of the stream: lines are found by peeking, and only
// their own bytes are then received - those of several lines at once, when
// one peek holds them, and all of them before the reader returns the line
// that ends the head or anything but a line.
#pragma once

#include <cstddef>
#include <string>

#include "platform/socket.h"

namespace trovelane {

// Longest header line kept; the rest of a longer line is received and dropped,
// so the line after it is still read from its start.
inline constexpr size_t kMaxHeadLine = 64 * 1024;

// Bounds of one head, its empty last line included: a server that sends more
// is not answering HTTP, and must not keep a reader busy for ever.
inline constexpr size_t kMaxHeadBytes = 256 * 1024;
inline constexpr size_t kMaxHeadLines = 1000;

// Reads the lines of one head within kMaxHeadBytes and kMaxHeadLines.
class HeadLineReader {
 public:
  enum class Result {
    kLine,      // `line` holds the next line, LF included (at most kMaxHeadLine bytes of it)
    kEnded,     // the stream ended, failed, timed out or was cancelled before a LF
    kTooLarge,  // the head goes beyond its bounds; the stream is left mid-line
  };

  explicit HeadLineReader(ByteStream& stream) : stream_(stream) {}
  // Receives the lines handed out and not yet received: a caller that stops
  // before the end of the head still leaves the stream after its last line.
  ~HeadLineReader() { Settle(); }
  HeadLineReader(const HeadLineReader&) = delete;
  HeadLineReader& operator=(const HeadLineReader&) = delete;

  Result Next(std::string& line);

 private:
  // Receives the `unreceived_` bytes at the front of the stream (already
  // peeked, so there is no wait); false when the stream failed.
  bool Settle();

  ByteStream& stream_;
  size_t bytesLeft_ = kMaxHeadBytes;
  size_t linesLeft_ = kMaxHeadLines;
  size_t unreceived_ = 0;  // bytes of whole lines handed out, still in the stream
};

// True for the empty line that ends a head: "\r\n", "\r" or "\n".
bool IsEndOfHead(const std::string& line);

// The status code of a line that begins with "HTTP/": the decimal digits from
// the tenth character on ("HTTP/1.1 301 Moved" gives 301). -1 for other lines.
int ParseStatusLine(const std::string& line);

// The value of a header line whose name matches `name` without regard to case
// ("Content-Length" matches "content-length: 5"), with blanks around it and
// the line end removed; false when the line is another header.
bool HeaderValueNoCase(const std::string& line, const char* name, std::string& value);

}  // namespace trovelane
