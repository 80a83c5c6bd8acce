#include "net/credentials.h"

#include "net/base64.h"

namespace trovelane {

Credentials SplitCredentials(std::string_view text) {
  size_t last = text.rfind(':');
  if (last == std::string_view::npos) return {{}, std::string(text)};
  size_t before = last == 0 ? std::string_view::npos : text.rfind(':', last - 1);
  size_t userStart = before == std::string_view::npos ? 0 : before + 1;
  return {std::string(text.substr(userStart, last - userStart)),
          std::string(text.substr(last + 1))};
}

Status CheckCredentials(const Credentials& credentials) {
  if (credentials.password.find(':') != std::string::npos) {
    return Status::InvalidArgument("a password cannot hold \":\"");
  }
  if (credentials.user.find(':') != std::string::npos) {
    return Status::InvalidArgument("a user name cannot hold \":\"");
  }
  return Status::Ok();
}

std::string EncodeCredentials(const Credentials& credentials) {
  return Base64Encode(credentials.user + ":" + credentials.password);
}

}  // namespace trovelane
