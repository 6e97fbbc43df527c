#pragma once
// Logs a failure caught by an error trap, at level 10, as the context text
// followed by the failure's number, " - " and its description.
#include <exception>
#include <string_view>

namespace tavrik {

void LogFailure(std::string_view context, const std::exception& failure);

}  // namespace tavrik
