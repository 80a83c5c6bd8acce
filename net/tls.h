// TLS over a connected TcpSocket (OpenSSL): server name indication, and
// verification of the certificate chain and of the host name against the
// system's trust store. SSL_CERT_FILE and SSL_CERT_DIR, when set, name the
// store instead (they are read again whenever they change, so a test can
// bring its own authority).
#pragma once

#include <memory>
#include <string>

#include "platform/socket.h"

typedef struct ssl_st SSL;

namespace trovelane {

// Reads the trust store now rather than at the first handshake (reading it is
// CPU work that no cancel can cut short); false when OpenSSL fails.
bool PrepareTls();

class TlsStream : public ByteStream {
 public:
  // The socket must outlive the stream; its cancel signal ends every wait.
  explicit TlsStream(TcpSocket& socket);
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Runs the handshake for `hostName` (a name or a numeric address); false
  // when it fails, when the certificate does not verify for that name, or
  // when cancelled.
  bool Handshake(const std::string& hostName);

  bool SendAll(const char* data, size_t length) override;
  size_t Receive(char* buffer, size_t length) override;
  size_t Peek(char* buffer, size_t length) override;

 private:
  // Runs one OpenSSL call until it stops asking to wait; its result or <= 0.
  template <typename Call>
  int Drive(Call call);

  TcpSocket& socket_;
  SSL* ssl_ = nullptr;
};

}  // namespace trovelane
