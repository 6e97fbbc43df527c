#include "platform/HostName.h"

#include <asio/ip/host_name.hpp>

namespace tavrik {

std::string LocalHostName() {
  asio::error_code error;
  std::string name = asio::ip::host_name(error);
  return error || name.empty() ? std::string("localhost") : name;
}

}  // namespace tavrik
