#include "web/WebListener.h"

#include "log/Log.h"
#include "log/LogFailure.h"

namespace tavrik {

void WebListener::LogListenFailure(const std::exception& e) { LogFailure("Web port error: ", e); }

void WebListener::LogListening(bool /*recovered*/) {
  LogLazy(LogLevel::kProgress, [&] {
    return "Web port listening on " + (Address().empty() ? std::string("*") : Address()) + ":" +
           std::to_string(Port()) + ".";
  });
}

void WebListener::LogListenerError(int number, const std::string& description) {
  LogLazy(LogLevel::kError,
          [&] { return "WebSock.Error: " + std::to_string(number) + " - " + description; });
}

}  // namespace tavrik
