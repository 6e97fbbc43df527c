#include "platform/asio/HttpClientFactory.h"

namespace tavrik {

std::unique_ptr<HttpClient> CreateSystemHttpClient(asio::io_context& /*context*/) { return nullptr; }
bool HttpClientAvailable() { return false; }

}  // namespace tavrik
