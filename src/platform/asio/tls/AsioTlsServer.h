#pragma once
// TlsServer on Asio's SSL layer and the system's OpenSSL: one context with
// the certificate chain and key, shared by every socket it makes, which
// must not outlive it.
#include <asio/io_context.hpp>
#include <asio/ssl/context.hpp>
#include <memory>
#include <string>

#include "platform/TlsServer.h"
#include "platform/asio/ConnectionRequests.h"

namespace tavrik {

class AsioTlsServer final : public TlsServer {
 public:
  // Throws PlatformError when the files cannot be used.
  AsioTlsServer(asio::io_context& context, ConnectionRequests& requests, const std::string& certPath,
                const std::string& keyPath);

  std::unique_ptr<Socket> CreateSocket() override;

 private:
  asio::io_context& context_;
  ConnectionRequests& requests_;
  asio::ssl::context tls_;
};

}  // namespace tavrik
