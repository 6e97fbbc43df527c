#include "web/WebGate.h"

#include "log/Log.h"
#include "web/HttpResponse.h"
#include "webaccess/BasicCredentials.h"

namespace tavrik {

void WebGate::Configure(const WebAccessSettings& settings) {
  policy_ = AccessPolicy(!settings.users.empty(), settings.metricsPublic);
  logins_ = settings.users.empty() ? nullptr : std::make_unique<LoginChecker>(platform_, settings.users);
  realm_ = settings.realm;
}

WebGate::Outcome WebGate::Admit(const HttpRequest& request, const std::string& peer, bool keepAlive,
                                std::string& refusal, uint64_t ticket) {
  const bool withBody = request.method != "HEAD";
  switch (policy_.Decide(request.path, peer, NowMs())) {
    case AccessDecision::kServe:
      return Outcome::kServe;
    case AccessDecision::kLoopbackOnly:
      refusal = Refusal(403, keepAlive, withBody);
      return Outcome::kRefused;
    case AccessDecision::kLockedOut:
      refusal = Refusal(429, keepAlive, withBody);
      return Outcome::kRefused;
    case AccessDecision::kNeedsLogin:
      break;
  }
  const std::optional<BasicCredentials> credentials = BasicCredentials::Parse(request.authorization);
  if (!credentials) {
    // No credentials is how a browser begins: asked, not counted.
    refusal = Refusal(401, keepAlive, withBody);
    return Outcome::kRefused;
  }
  const auto done = [this, ticket, peer](bool accepted) { verdict_(ticket, peer, accepted); };
  if (logins_->Check(*credentials, done) == LoginChecker::Verdict::kAccepted) return Outcome::kServe;
  return Outcome::kPending;
}

std::string WebGate::Rejected(const std::string& peer, bool keepAlive, bool withBody) {
  if (policy_.RecordFailure(peer, NowMs())) {
    LogLazy(LogLevel::kError, [&] {
      return "Web port: " + std::to_string(FailedLogins::kLimit) + " failed logins from " + peer +
             " within a minute: refused for a minute.";
    });
  }
  return Refusal(401, keepAlive, withBody);
}

std::string WebGate::Refusal(int status, bool keepAlive, bool withBody) const {
  std::string body;
  std::string type = "text/plain; charset=utf-8";
  std::string fields;
  if (status == 401) {
    body = "401 Unauthorized\n";
    fields = "WWW-Authenticate: Basic realm=\"" + realm_ + "\", charset=\"UTF-8\"\r\n";
  } else if (status == 429) {
    body = "429 Too Many Requests\n";
    fields = "Retry-After: " + std::to_string(FailedLogins::kLockMs / 1000) + "\r\n";
  } else {
    body = R"({"error":"served only to clients on this machine; set users_file in [web] to let others log in"})";
    type = "application/json";
  }
  std::string response = HttpResponseHead(status, type, body.size(), keepAlive, fields);
  if (withBody) response += body;
  return response;
}

}  // namespace tavrik
