#pragma once
// The web port's listener: retried as any RetryingListener, with the web
// port's log lines. Event thread only; never throws.
#include "listener/RetryingListener.h"

namespace tavrik {

class WebListener final : public RetryingListener {
 public:
  using RetryingListener::RetryingListener;

 private:
  void LogListenFailure(const std::exception& e) override;
  void LogListening(bool recovered) override;
  void LogListenerError(int number, const std::string& description) override;
};

}  // namespace tavrik
