#include "platform/asio/tls/AsioTlsServer.h"

#include "platform/ErrorNumbers.h"
#include "platform/asio/TlsServerFactory.h"
#include "platform/asio/tls/AsioTlsSocket.h"

namespace tavrik {
namespace {

// Loads the files into context; what went wrong, or empty.
std::optional<std::string> Load(asio::ssl::context& context, const std::string& certPath, const std::string& keyPath) {
  context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                      asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                      asio::ssl::context::no_tlsv1_1);
  // A client asking for handshake after handshake would cost the event thread each time.
  SSL_CTX_set_options(context.native_handle(), SSL_OP_NO_RENEGOTIATION);
  asio::error_code error;
  context.use_certificate_chain_file(certPath, error);
  if (error) return certPath + ": cannot use the certificate: " + error.message();
  context.use_private_key_file(keyPath, asio::ssl::context::pem, error);
  // A key that does not belong to the certificate fails here too.
  if (error) return keyPath + ": cannot use the key: " + error.message();
  return std::nullopt;
}

}  // namespace

bool TlsAvailable() { return true; }

std::optional<std::string> TlsFilesProblem(const std::string& certPath, const std::string& keyPath) {
  asio::ssl::context context(asio::ssl::context::tls_server);
  return Load(context, certPath, keyPath);
}

std::unique_ptr<TlsServer> MakeTlsServer(asio::io_context& context, ConnectionRequests& requests,
                                         const std::string& certPath, const std::string& keyPath) {
  return std::make_unique<AsioTlsServer>(context, requests, certPath, keyPath);
}

AsioTlsServer::AsioTlsServer(asio::io_context& context, ConnectionRequests& requests, const std::string& certPath,
                             const std::string& keyPath)
    : context_(context), requests_(requests), tls_(asio::ssl::context::tls_server) {
  if (const std::optional<std::string> problem = Load(tls_, certPath, keyPath)) {
    throw PlatformError(errors::kGeneral, *problem);
  }
}

std::unique_ptr<Socket> AsioTlsServer::CreateSocket() {
  return std::make_unique<AsioTlsSocket>(context_, requests_, tls_);
}

}  // namespace tavrik
