#include "platform/PlatformError.h"

#include <new>

namespace tavrik {

FailureInfo DescribeFailure(const std::exception& e) {
  if (const auto* p = dynamic_cast<const PlatformError*>(&e)) return {p->Number(), p->Description()};
  // Numbers for failures that do not come from a platform component.
  if (dynamic_cast<const std::bad_alloc*>(&e)) return {7, "Out of memory"};
  if (dynamic_cast<const std::overflow_error*>(&e)) return {6, e.what()};
  return {5, e.what()};
}

}  // namespace tavrik
