#include "platform/PlatformError.h"

#include <new>

#include "platform/ErrorNumbers.h"

namespace tavrik {

FailureInfo DescribeFailure(const std::exception& e) {
  if (const auto* p = dynamic_cast<const PlatformError*>(&e)) return {p->Number(), p->Description()};
  // Numbers for failures that do not come from a platform component.
  if (dynamic_cast<const std::bad_alloc*>(&e)) return {errors::kOutOfMemory, "Out of memory"};
  if (dynamic_cast<const std::overflow_error*>(&e)) return {errors::kOverflow, e.what()};
  return {errors::kGeneral, e.what()};
}

}  // namespace tavrik
