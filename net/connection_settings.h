// The records of the program's settings that connections read: the proxy
// record (which proxy, if any, every connection goes through, and the
// credentials it asks for), stored as it stands in "qmknet.dat"
// (app/settings_file.h), which CHttpURL::Open reads during the call; and the
// program's own options with the connection time-outs (CHttpURL::SetTimeouts).
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

// Settings of this program that "qmknet.dat" has no place for. They live in
// "trovelane.json" in the install folder (app/program_options_file.h), so
// that "qmknet.dat" keeps the exact layout the Windows version reads.
struct ProgramOptions {
  int32_t connectTimeoutSeconds = 5;  // a connection attempt; 0 = as long as the system allows
  int32_t readTimeoutSeconds = 10;    // silence while waiting for bytes; 0 = none
  int32_t maxPagesPerEngine = 50;     // result pages one engine may fetch in one search
};

}  // namespace trovelane
