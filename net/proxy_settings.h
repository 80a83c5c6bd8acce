// The proxy record of the program's settings: which proxy, if any, every
// connection goes through, and the credentials it asks for. The settings file
// stores it as it stands (app/settings_file.h); CHttpURL::Open reads it during
// the call and keeps nothing of it.
//
// Fields keep the raw 32-bit values of the file, so that a file from another
// layout loads as it stands; the named constants give their meaning.
#pragma once

#include <cstdint>
#include <string>

namespace trovelane {

enum ProxyType : int32_t { kProxyCern = 0, kProxySocks5 = 1 };

struct ProxySettings {
  int32_t enabled = 0;       // 1 = "Connect using a proxy server."
  std::string host;          // at most 1023 bytes in the file
  int32_t port = 0;
  int32_t type = kProxyCern;  // ProxyType
  int32_t requiresAuth = 0;   // 1 = "Requires Authentification"
  std::string credentials;    // Base64 of "user:password", at most 2047 bytes
  int32_t speedIndex = 0;     // position 0-9 in the connection speed list
  std::string browserPath;    // at most 1023 bytes
};

}  // namespace trovelane
