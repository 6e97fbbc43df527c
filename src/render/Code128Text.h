#pragma once
// GS k's CODE128 data as text: the printer's code-set selectors ("{A", "{B",
// "{C") and function characters ("{1"-"{4", "{S") taken out, "{{" as a
// brace, and code set C's bytes (0-99) as their two digits; what an encoder
// that picks code sets itself and the human-readable line both want.
#include <string>
#include <string_view>

namespace tavrik {

std::string Code128Text(std::string_view data);

}  // namespace tavrik
