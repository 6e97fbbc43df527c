// A build without a TLS library: start-up refuses TLS, so nothing asks.
#include "platform/ErrorNumbers.h"
#include "platform/asio/TlsServerFactory.h"

namespace tavrik {

bool TlsAvailable() { return false; }

std::optional<std::string> TlsFilesProblem(const std::string& /*certPath*/, const std::string& /*keyPath*/) {
  return "this build has no TLS support";
}

std::unique_ptr<TlsServer> MakeTlsServer(asio::io_context& /*context*/, ConnectionRequests& /*requests*/,
                                         const std::string& /*certPath*/, const std::string& /*keyPath*/) {
  throw PlatformError(errors::kGeneral, "this build has no TLS support");
}

}  // namespace tavrik
