#pragma once
// Whether a wildcard pattern ('*' any run of characters, '?' one UTF-8
// character, everything else itself) matches somewhere in line. Pure, no
// allocation; time at most line length x pattern length.
#include <string_view>

namespace tavrik {

bool WildcardFound(std::string_view pattern, std::string_view line);

}  // namespace tavrik
