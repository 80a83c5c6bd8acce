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
typedef struct ssl_session_st SSL_SESSION;

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
  // when cancelled. With `resume` (a session of an earlier connection to the
  // same host and port), the server may resume that session instead of a
  // full handshake.
  bool Handshake(const std::string& hostName, SSL_SESSION* resume = nullptr);
  // Whether the last handshake resumed a session.
  bool Resumed() const;
  // A copy of the session of this connection for a later one to resume,
  // the caller's to free (SSL_SESSION_free); null when it has none that can
  // be resumed. Over TLS 1.3 the server sends it after the handshake: ask
  // once the answer was read.
  SSL_SESSION* ResumableSession() const;

  // Hands the TLS state over (the stream has none after it), and takes one
  // over, for a connection that moves with its socket's descriptor
  // (TcpSocket::Release, Adopt).
  SSL* Release();
  void Adopt(SSL* ssl);

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
