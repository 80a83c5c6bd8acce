#include "net/connection_settings.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "net/url.h"
#include "platform/ascii.h"

namespace trovelane {
namespace {

bool IsAddress(int family, const std::string& text) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(family, text.c_str(), buffer) == 1;
}

}  // namespace

Status ParseResolveEntry(std::string_view text, ResolveEntry* entry) {
  const size_t first = text.find(':');
  const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) {
    return Status::InvalidArgument("\"" + std::string(text) + "\" is not HOST:PORT:ADDR");
  }
  std::string_view host = text.substr(0, first);
  std::string_view port = text.substr(first + 1, second - first - 1);
  std::string address(text.substr(second + 1));
  if (host.empty()) {
    return Status::InvalidArgument("\"" + std::string(text) + "\" names no host");
  }
  for (char c : host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || c == '/' || c == '[' || c == ']') {
      return Status::InvalidArgument("\"" + std::string(host) + "\" is not a host name");
    }
  }
  int32_t number = 0;
  for (char c : port) {
    if (!IsAsciiDigit(c) || number > kMaxPort) {
      number = -1;
      break;
    }
    number = number * 10 + (c - '0');
  }
  if (port.empty() || number < 1 || number > kMaxPort) {
    return Status::InvalidArgument("\"" + std::string(port) + "\" is not a port (1-65535)");
  }
  if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
    if (!IsAddress(AF_INET6, address)) address.clear();
  } else if (!IsAddress(AF_INET, address) && !IsAddress(AF_INET6, address)) {
    address.clear();
  }
  if (address.empty()) {
    return Status::InvalidArgument("\"" + std::string(text.substr(second + 1)) +
                                   "\" is not a numeric address (IPv4, or IPv6 in brackets)");
  }
  entry->host = std::string(host);
  entry->port = number;
  entry->address = address;
  return Status::Ok();
}

std::string FormatResolveEntry(const ResolveEntry& entry) {
  const bool v6 = entry.address.find(':') != std::string::npos;
  return entry.host + ":" + std::to_string(entry.port) + ":" + (v6 ? "[" : "") + entry.address +
         (v6 ? "]" : "");
}

const ResolveEntry* FindResolveEntry(const std::vector<ResolveEntry>& entries,
                                     std::string_view host, int32_t port) {
  for (const ResolveEntry& entry : entries) {
    if (entry.port == port && EqualsNoCase(entry.host, host)) return &entry;
  }
  return nullptr;
}

bool HostInDomain(std::string_view host, std::string_view domain) {
  while (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
  if (domain.empty() || host.size() < domain.size()) return false;
  if (!EqualsNoCase(host.substr(host.size() - domain.size()), domain)) return false;
  return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

}  // namespace trovelane
