#pragma once
// The server side of TLS for a TCP server's accepted connections: holds the
// certificate and its key. Its sockets are used as any accepted connection
// is: Accept a listener's connection request, then Read and Send plain
// bytes. The handshake comes first, within kHandshakeMs; until it is done
// nothing arrives, sends wait, and a handshake that fails or runs late ends
// the connection with OnError. Only Accept opens such a socket.
#include <memory>
#include <optional>
#include <string>

#include "platform/Socket.h"

namespace tavrik {

class TlsServer {
 public:
  static constexpr int kHandshakeMs = 10000;

  virtual ~TlsServer() = default;
  // A closed socket whose accepted connection speaks TLS.
  virtual std::unique_ptr<Socket> CreateSocket() = 0;
};

// False in a build without a TLS library, where start-up refuses TLS.
bool TlsAvailable();
// What is wrong with a PEM certificate and key (unreadable, malformed, not
// a pair); empty when a TlsServer can be made of them.
std::optional<std::string> TlsFilesProblem(const std::string& certPath, const std::string& keyPath);

}  // namespace tavrik
