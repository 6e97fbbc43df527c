#include "outputs/TextListener.h"

#include "log/Log.h"

namespace tavrik {

void TextListener::LogListenFailure(const std::exception& e) {
  Log(LogLevel::kError, name_ + " cannot listen: " + e.what());
}

// A start that went well is not logged; listening again after a loss is.
void TextListener::LogListening(bool recovered) {
  if (recovered) Log(LogLevel::kError, name_ + " listening again.");
}

void TextListener::LogListenerError(int number, const std::string& description) {
  Log(LogLevel::kError, name_ + " listener error: " + description + " (" + std::to_string(number) + ")");
}

}  // namespace tavrik
