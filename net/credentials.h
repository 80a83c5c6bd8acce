// Proxy credentials are kept as one text "user:password".
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"

namespace trovelane {

struct Credentials {
  std::string user;
  std::string password;
};

// Splits "user:password" as the SOCKS 5 login has always read it: every ":"
// ends the text gathered so far, which becomes the user name, and the text
// after the last ":" is the password. So neither may hold a ":", and a text
// without one is all password with an empty user name. Stored settings files
// rely on this reading; the settings editor refuses a ":" in either part.
Credentials SplitCredentials(std::string_view text);

// Whether `credentials` can be stored so that SplitCredentials gives them
// back; InvalidArgument saying why not (a ":" in the user name or the
// password) when they cannot.
Status CheckCredentials(const Credentials& credentials);

// The stored form: Base64 of the user name, ":" and the password, without
// line breaks. Check them first; a ":" in either part would not read back.
std::string EncodeCredentials(const Credentials& credentials);

}  // namespace trovelane
