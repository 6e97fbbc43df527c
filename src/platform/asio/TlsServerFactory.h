#pragma once
// Makes the real platform's TlsServer: on OpenSSL where the build has it
// (platform/asio/tls), else refusing (platform/asio/notls).
#include <asio/io_context.hpp>
#include <memory>
#include <string>

#include "platform/TlsServer.h"
#include "platform/asio/ConnectionRequests.h"

namespace tavrik {

// Throws PlatformError when the files cannot be used.
std::unique_ptr<TlsServer> MakeTlsServer(asio::io_context& context, ConnectionRequests& requests,
                                         const std::string& certPath, const std::string& keyPath);

}  // namespace tavrik
