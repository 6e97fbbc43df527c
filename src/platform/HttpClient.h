#pragma once
// Outgoing HTTP(S) requests that never wait: each request's outcome is
// handed to its completion on the event thread. Used by outputs that post
// events to recorders' and other systems' HTTP interfaces.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavrik {

enum class HttpAuth { kNone, kBasic, kDigest };

struct OutgoingHttpRequest {
  std::string method = "POST";
  std::string url;                   // http:// or https://
  std::vector<std::string> headers;  // "Name: value" each
  std::string body;
  HttpAuth auth = HttpAuth::kNone;
  std::string username;
  std::string password;
  std::string caFile;  // https: the authorities to trust; empty: the system's
  int32_t timeoutMs = 10000;  // the whole exchange, connecting included
};

struct HttpOutcome {
  int32_t status = 0;  // the answer's status code; 0: no answer came
  std::string error;   // why no answer came, when status is 0
  std::string body;    // the answer's body, its first kMaxBodyBytes
  static constexpr size_t kMaxBodyBytes = 65536;
};

class HttpClient {
 public:
  using Completion = std::function<void(const HttpOutcome& outcome)>;
  // Requests still under way end without their completions.
  virtual ~HttpClient() = default;
  // Starts request; done runs on the event thread once it has its outcome,
  // never before Send returns. Returns the request's number for Cancel.
  virtual uint64_t Send(OutgoingHttpRequest request, Completion done) = 0;
  // Ends a request under way; its completion does not run.
  virtual void Cancel(uint64_t id) = 0;
  virtual size_t Active() const = 0;
};

// Whether this build has an HTTP client (libcurl).
bool HttpClientAvailable();

}  // namespace tavrik
