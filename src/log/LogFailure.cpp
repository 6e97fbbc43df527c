#include "log/LogFailure.h"

#include <string>

#include "log/Log.h"
#include "platform/PlatformError.h"

namespace tavrik {

void LogFailure(std::string_view context, const std::exception& failure) {
  LogLazy(LogLevel::kError, [&] {
    const FailureInfo info = DescribeFailure(failure);
    return std::string(context) + std::to_string(info.number) + " - " + info.description;
  });
}

}  // namespace tavrik
