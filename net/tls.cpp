#include "net/tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "platform/mutex.h"

namespace trovelane {
namespace {

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// One client context per trust store: building it reads the store, which is
// worth doing once, but a changed SSL_CERT_FILE or SSL_CERT_DIR must be seen.
std::shared_ptr<SSL_CTX> ClientContext() {
  static Mutex mutex;
  static std::shared_ptr<SSL_CTX> context GUARDED_BY(mutex);
  static std::string contextKey GUARDED_BY(mutex);
  std::string key = EnvText("SSL_CERT_FILE") + '\n' + EnvText("SSL_CERT_DIR");
  MutexLock lock(&mutex);
  if (context && key == contextKey) return context;

  std::shared_ptr<SSL_CTX> fresh(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  if (!fresh) return nullptr;
  SSL_CTX_set_min_proto_version(fresh.get(), TLS1_2_VERSION);
  SSL_CTX_set_verify(fresh.get(), SSL_VERIFY_PEER, nullptr);
  // Honours SSL_CERT_FILE and SSL_CERT_DIR, else the system store.
  SSL_CTX_set_default_verify_paths(fresh.get());
  // HTTP/1.0 bodies end when the server closes; many servers close without
  // a TLS close alert, which is the end of the body and not an error.
  SSL_CTX_set_options(fresh.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  // OpenSSL fills in a certificate's decoded extensions when it first checks
  // it, and two handshakes verifying against the same trusted certificate at
  // once can both fill them in while the other reads. Filling them in here,
  // before any thread shares the context, leaves the handshakes only reading.
  STACK_OF(X509_OBJECT)* trusted = X509_STORE_get0_objects(SSL_CTX_get_cert_store(fresh.get()));
  for (int i = 0; i < sk_X509_OBJECT_num(trusted); ++i) {
    if (X509* certificate = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(trusted, i))) {
      X509_check_purpose(certificate, -1, 0);
    }
  }
  context = fresh;
  contextKey = key;
  return context;
}

// The socket BIO of OpenSSL writes with write(), which raises SIGPIPE when the
// server has gone; a library must not end its program for that. This BIO
// sends with MSG_NOSIGNAL instead.
int SocketWrite(BIO* bio, const char* data, int length) {
  BIO_clear_retry_flags(bio);
  ssize_t n = send(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))), data,
                   static_cast<size_t>(length), MSG_NOSIGNAL);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    BIO_set_retry_write(bio);
  }
  return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* buffer, int length) {
  BIO_clear_retry_flags(bio);
  ssize_t n = recv(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))), buffer,
                   static_cast<size_t>(length), 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    BIO_set_retry_read(bio);
  }
  return static_cast<int>(n);
}

long SocketControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int SocketCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO* NewSocketBio(int fd) {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "trovelane socket");
    BIO_meth_set_write(m, SocketWrite);
    BIO_meth_set_read(m, SocketRead);
    BIO_meth_set_ctrl(m, SocketControl);
    BIO_meth_set_create(m, SocketCreate);
    return m;
  }();
  BIO* bio = method ? BIO_new(method) : nullptr;
  if (bio) BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
  return bio;
}

bool IsNumericAddress(const std::string& host) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

bool PrepareTls() { return ClientContext() != nullptr; }

TlsStream::TlsStream(TcpSocket& socket) : socket_(socket) {}

TlsStream::~TlsStream() {
  if (ssl_) SSL_free(ssl_);
}

template <typename Call>
int TlsStream::Drive(Call call) {
  // Checked first: bytes OpenSSL already holds would otherwise be returned
  // without any wait noticing the cancel.
  lastCallFailed_ = false;
  if (socket_.cancel() && socket_.cancel()->IsCancelled()) return -1;
  for (;;) {
    if (!ssl_) return -1;
    ERR_clear_error();
    int result = call();
    if (result > 0) return result;
    short events;
    switch (SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
        events = POLLIN;
        break;
      case SSL_ERROR_WANT_WRITE:
        events = POLLOUT;
        break;
      case SSL_ERROR_ZERO_RETURN:
        return result;  // the end of the stream
      default:
        lastCallFailed_ = true;
        return result;
    }
    // The socket's wait keeps its idle time-out and deadline, and notes a
    // time-out for the connection.
    if (socket_.Wait(events) != WaitResult::kReady) return -1;
  }
}

bool TlsStream::Handshake(const std::string& hostName, SSL_SESSION* resume) {
  std::shared_ptr<SSL_CTX> context = ClientContext();
  if (!context || !socket_.IsOpen()) return false;
  if (ssl_) SSL_free(ssl_);
  ssl_ = SSL_new(context.get());
  if (!ssl_) return false;
  BIO* bio = NewSocketBio(socket_.fd());
  if (!bio) return false;
  SSL_set_bio(ssl_, bio, bio);
  if (IsNumericAddress(hostName)) {
    if (!X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), hostName.c_str())) return false;
  } else {
    if (!SSL_set_tlsext_host_name(ssl_, hostName.c_str())) return false;
    if (!SSL_set1_host(ssl_, hostName.c_str())) return false;
  }
  if (resume && !SSL_set_session(ssl_, resume)) return false;
  if (Drive([this] { return SSL_connect(ssl_); }) != 1) return false;
  // A resumed session keeps the verification of the handshake it came from.
  return SSL_get_verify_result(ssl_) == X509_V_OK;
}

bool TlsStream::Resumed() const { return ssl_ && SSL_session_reused(ssl_) == 1; }

SSL_SESSION* TlsStream::ResumableSession() const {
  SSL_SESSION* session = ssl_ ? SSL_get0_session(ssl_) : nullptr;
  if (!session || !SSL_SESSION_is_resumable(session)) return nullptr;
  // A copy: OpenSSL marks the connection's own session as not resumable
  // when the connection is freed without a TLS shutdown, as here.
  return SSL_SESSION_dup(session);
}

SSL* TlsStream::Release() { return std::exchange(ssl_, nullptr); }

void TlsStream::Adopt(SSL* ssl) {
  if (ssl_) SSL_free(ssl_);
  ssl_ = ssl;
}

bool TlsStream::SendAll(const char* data, size_t length) {
  while (length > 0) {
    size_t written = 0;
    if (Drive([&] { return SSL_write_ex(ssl_, data, length, &written); }) != 1) return false;
    data += written;
    length -= written;
  }
  return true;
}

size_t TlsStream::Receive(char* buffer, size_t length) {
  size_t read = 0;
  if (length == 0 || Drive([&] { return SSL_read_ex(ssl_, buffer, length, &read); }) != 1) {
    return 0;
  }
  return read;
}

size_t TlsStream::Peek(char* buffer, size_t length) {
  size_t read = 0;
  if (length == 0 || Drive([&] { return SSL_peek_ex(ssl_, buffer, length, &read); }) != 1) {
    return 0;
  }
  return read;
}

}  // namespace trovelane
