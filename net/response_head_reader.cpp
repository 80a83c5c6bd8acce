#include "net/response_head_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/ascii.h"

namespace trovelane {

namespace {
constexpr size_t kPeekSize = 4096;
}  // namespace

bool HeadLineReader::Settle() {
  char sink[kPeekSize];
  const size_t count = std::exchange(unreceived_, 0);
  return count == 0 || stream_.ReceiveExact(sink, count);
}

HeadLineReader::Result HeadLineReader::Next(std::string& line) {
  line.clear();
  if (linesLeft_ == 0) {
    Settle();
    return Result::kTooLarge;
  }
  --linesLeft_;
  char chunk[kPeekSize];
  for (;;) {
    const size_t peeked = stream_.Peek(chunk, sizeof chunk);
    if (peeked == 0) {
      // Ended or failed: what was peeked before may never come, so nothing
      // is received any more.
      unreceived_ = 0;
      return Result::kEnded;
    }
    // A peek may show less than the one before (a TLS stream shows one
    // record at a time).
    const size_t skip = std::min(unreceived_, peeked);
    const char* start = chunk + skip;
    const size_t available = peeked - skip;
    const char* lf = static_cast<const char*>(memchr(start, '\n', available));
    if (!lf && unreceived_ > 0) {
      // The peek holds no whole line after those handed out: receive them
      // to make room, and peek again.
      if (!Settle()) return Result::kEnded;
      continue;
    }
    const size_t take = lf ? static_cast<size_t>(lf - start) + 1 : available;
    if (take > bytesLeft_) {
      Settle();
      return Result::kTooLarge;
    }
    bytesLeft_ -= take;
    line.append(start, std::min(take, kMaxHeadLine - std::min(line.size(), kMaxHeadLine)));
    if (!lf) {
      // Part of a long line: received at once, the rest is peeked anew.
      if (!stream_.ReceiveExact(chunk, take)) return Result::kEnded;
      continue;
    }
    unreceived_ += take;
    if (IsEndOfHead(line) && !Settle()) return Result::kEnded;
    return Result::kLine;
  }
}

bool IsEndOfHead(const std::string& line) { return line == "\r\n" || line == "\r" || line == "\n"; }

int ParseStatusLine(const std::string& line) {
  if (line.compare(0, 5, "HTTP/") != 0) return -1;
  int status = 0;
  // Nine digits at most: no real code is longer, and more would overflow.
  for (size_t i = 9; i < line.size() && i < 9 + 9; ++i) {
    char c = line[i];
    if (c < '0' || c > '9') break;
    status = status * 10 + (c - '0');
  }
  return status;
}

bool HeaderValueNoCase(const std::string& line, const char* name, std::string& value) {
  size_t length = strlen(name);
  if (line.size() <= length || line[length] != ':' ||
      !EqualsNoCase(std::string_view(line).substr(0, length), name)) {
    return false;
  }
  size_t begin = line.find_first_not_of(" \t", length + 1);
  size_t end = line.find_last_not_of(" \t\r\n");
  value = begin == std::string::npos || end < begin ? std::string()
                                                    : line.substr(begin, end - begin + 1);
  return true;
}

}  // namespace trovelane
