#include "log/LogFailure.h"

#include <string>

#include "log/LogMsg.h"
#include "platform/PlatformError.h"

namespace tavrik {

void LogFailure(std::string_view context, const std::exception& failure) {
  LogMsgLazy(10, [&] {
    const FailureInfo info = DescribeFailure(failure);
    return std::string(context) + std::to_string(info.number) + " - " + info.description;
  });
}

}  // namespace tavrik
