#pragma once
// Logs a caught failure at the error level as the context text followed by
// the failure's number, " - " and its description.
#include <exception>
#include <string_view>

namespace tavrik {

void LogFailure(std::string_view context, const std::exception& failure);

}  // namespace tavrik
