#pragma once
// The relay's status as the web port serves it: JSON for /status and the
// Prometheus text exposition format for /metrics. Pure.
#include <string>
#include <string_view>

#include "web/RelayStatus.h"

namespace tavrik {

std::string StatusJson(const RelayStatus& status, std::string_view version);
std::string MetricsText(const RelayStatus& status, std::string_view version);

}  // namespace tavrik
