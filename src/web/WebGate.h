#pragma once
// The web port's door: decides each request before it is answered (see
// AccessPolicy) and makes the refusals. With users, a request's credentials
// are checked by a LoginChecker, and a check that takes time ends in a
// verdict later; wrong logins count towards a lockout, logged once per
// address and lockout. Event thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/Platform.h"
#include "web/HttpRequestParser.h"
#include "webaccess/AccessPolicy.h"
#include "webaccess/LoginChecker.h"
#include "webaccess/WebAccessSettings.h"

namespace tavrik {

class WebGate {
 public:
  enum class Outcome {
    kServe,    // answer it as always
    kRefused,  // refusal holds the whole answer
    kPending,  // the verdict handler gets the login's outcome later
  };
  // Called on the event thread with the ticket Admit was given.
  using VerdictHandler = std::function<void(uint64_t ticket, const std::string& peer, bool accepted)>;

  WebGate(Platform& platform, VerdictHandler verdict) : platform_(platform), verdict_(std::move(verdict)) {}
  void Configure(const WebAccessSettings& settings);

  // ticket: the caller's name for the request, handed back with a verdict.
  Outcome Admit(const HttpRequest& request, const std::string& peer, bool keepAlive, std::string& refusal,
                uint64_t ticket);
  // A login the checker turned down: counted, and the answer to it.
  std::string Rejected(const std::string& peer, bool keepAlive, bool withBody);

 private:
  std::string Refusal(int status, bool keepAlive, bool withBody) const;
  int64_t NowMs() const { return platform_.GetClock().UnixTimeMs(); }

  Platform& platform_;
  VerdictHandler verdict_;
  AccessPolicy policy_{false, true};
  std::unique_ptr<LoginChecker> logins_;  // only with users
  std::string realm_;
};

}  // namespace tavrik
