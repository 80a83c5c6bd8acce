// A certificate authority made at test time with the openssl program, and
// server certificates it signed, in a temporary folder removed at exit.
#pragma once

#include <string>
#include <vector>

namespace trovelane::test {

struct TestCertificates {
  std::string caFile;       // the authority's certificate (for SSL_CERT_FILE)
  std::string caDir;        // a hashed folder holding it (for SSL_CERT_DIR)
  std::string otherCaFile;  // an authority that signed nothing here
  std::string serverCert;   // for "localhost" and 127.0.0.1
  std::string serverKey;
  std::string wrongNameCert;  // for "other.invalid" only
  std::string wrongNameKey;
};

// Made once per process; throws when openssl fails.
const TestCertificates& GetTestCertificates();

struct ServerCertificate {
  std::string certFile;
  std::string keyFile;
};

// A server certificate for `hostNames` (DNS names) signed by the authority of
// GetTestCertificates(), in its folder; throws when openssl fails. Any thread.
ServerCertificate MakeServerCertificate(const std::vector<std::string>& hostNames);

}  // namespace trovelane::test
