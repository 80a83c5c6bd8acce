// libFuzzer target: any text given to ParseUrl is either refused (and leaves
// the URL as it was) or gives fields within their widths, a port from 1
// to 65535, and no line break that could reach a request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  trovelane::Url url;
  url.host = "untouched";
  if (!trovelane::ParseUrl(text, &url).ok()) {
    if (url.host != "untouched" || url.port != 80 || !url.path.empty()) std::abort();
    return 0;
  }
  if (url.port < 1 || url.port > trovelane::kMaxPort) std::abort();
  if (url.host.size() > trovelane::kMaxHostLength) std::abort();
  if (url.path.empty() || url.path.size() > trovelane::kMaxPathLength) std::abort();
  if (url.host.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) std::abort();
  if (url.path.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) std::abort();
  if (url.isFtp && url.isHttps) std::abort();
  if (!url.isFtp && !url.isHttps && url.host.empty() && url.port != 80) std::abort();
  return 0;
}
