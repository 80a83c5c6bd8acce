// libFuzzer target: the reading of an HTTP answer's head from a stream that
// splits the input as the first input byte says. Every line is read within
// the head's bounds and parsed (status code, Content-Length and Location
// values); the CONNECT answer of an HTTP proxy is read from the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/memory_stream.h"
#include "net/cern_proxy.h"
#include "net/response_head_reader.h"

using trovelane::HeadLineReader;
using trovelane::fuzz::MemoryStream;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string sizes(1, static_cast<char>(data[0]));
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  MemoryStream stream(bytes, sizes);
  HeadLineReader reader(stream);
  std::string line, value;
  size_t lines = 0, total = 0;
  for (;;) {
    HeadLineReader::Result result = reader.Next(line);
    if (result != HeadLineReader::Result::kLine) break;
    ++lines;
    total += line.size();
    if (line.empty() || line.back() != '\n') std::abort();
    if (line.size() > trovelane::kMaxHeadLine) std::abort();
    if (lines > trovelane::kMaxHeadLines || total > trovelane::kMaxHeadBytes) std::abort();
    if (trovelane::IsEndOfHead(line)) break;
    int status = trovelane::ParseStatusLine(line);
    if (status < -1 || status > 999999999) std::abort();
    trovelane::HeaderValueNoCase(line, "Content-Length", value);
    trovelane::HeaderValueNoCase(line, "Location", value);
  }

  MemoryStream proxy(bytes, sizes);
  trovelane::Url url;
  url.host = "h";
  url.port = 443;
  url.isHttps = true;
  trovelane::ProxySettings settings;
  trovelane::CernConnectTunnel(proxy, url, settings);
  return 0;
}
