// Proxy credentials are kept as one text "user:password".
#pragma once

#include <string>
#include <string_view>

namespace trovelane {

struct Credentials {
  std::string user;
  std::string password;
};

// The user name is the text before the last ":", the password the text after
// it (so a user name may hold colons, a password may not). Without a colon the
// whole text is the user name and the password is empty.
Credentials SplitCredentials(std::string_view text);

}  // namespace trovelane
