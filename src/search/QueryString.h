#pragma once
// The query string of a request target ("a=1&b=x%20y"): its parameters in
// order, names and values percent-decoded, '+' read as a blank. Pure.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrik {

struct QueryParameter {
  std::string name;
  std::string value;
};

// Null when a '%' is not followed by two hex digits. Empty pieces ("a=1&&b")
// are skipped; a piece without '=' has an empty value.
std::optional<std::vector<QueryParameter>> ParseQueryString(std::string_view query);

}  // namespace tavrik
