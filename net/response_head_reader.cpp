#include "net/response_head_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/ascii.h"

namespace trovelane {

HeadLineReader::Result HeadLineReader::Next(std::string& line) {
  line.clear();
  if (linesLeft_ == 0) return Result::kTooLarge;
  --linesLeft_;
  char chunk[4096];
  for (;;) {
    size_t peeked = stream_.Peek(chunk, sizeof chunk);
    if (peeked == 0) return Result::kEnded;
    const char* lf = static_cast<const char*>(memchr(chunk, '\n', peeked));
    size_t take = lf ? static_cast<size_t>(lf - chunk) + 1 : peeked;
    if (take > bytesLeft_) return Result::kTooLarge;
    bytesLeft_ -= take;
    line.append(chunk, std::min(take, kMaxHeadLine - std::min(line.size(), kMaxHeadLine)));
    if (!stream_.ReceiveExact(chunk, take)) return Result::kEnded;
    if (lf) return Result::kLine;
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
