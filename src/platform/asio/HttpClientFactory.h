#pragma once
// The real HTTP client, where this build has one (libcurl); see HttpClient.h.
#include <asio/io_context.hpp>
#include <memory>

#include "platform/HttpClient.h"

namespace tavrik {

// Null when the build has no HTTP client.
std::unique_ptr<HttpClient> CreateSystemHttpClient(asio::io_context& context);

}  // namespace tavrik
