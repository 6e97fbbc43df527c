#pragma once
// The text server's listener: retried as any RetryingListener, logged under
// the text server's name. Event thread only; never throws.
#include <string>

#include "listener/RetryingListener.h"

namespace tavrik {

class TextListener final : public RetryingListener {
 public:
  TextListener(Platform& platform, std::string name, std::function<void(int32_t requestId)> onRequest)
      : RetryingListener(platform, std::move(onRequest)), name_(std::move(name)) {}

 private:
  void LogListenFailure(const std::exception& e) override;
  void LogListening(bool recovered) override;
  void LogListenerError(int number, const std::string& description) override;

  const std::string name_;
};

}  // namespace tavrik
