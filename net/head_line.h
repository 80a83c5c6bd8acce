// Reading the head of an HTTP answer line by line without taking a single
// byte of the body out of the stream: each line is found by peeking and only
// its own bytes are then received.
#pragma once

#include <cstddef>
#include <string>

#include "platform/socket.h"

namespace trovelane {

// Longest header line kept; the rest of a longer line is received and dropped,
// so the line after it is still read from its start.
inline constexpr size_t kMaxHeadLine = 64 * 1024;

// Reads one line including its LF into `line` (at most kMaxHeadLine bytes of
// it). False when the stream ended (or failed, or was cancelled) before a LF.
bool ReadHeadLine(ByteStream& stream, std::string& line);

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
