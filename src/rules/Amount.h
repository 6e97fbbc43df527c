#pragma once
// Money amounts as receipts print them. Pure, never allocates.
//
// The first number at or after `from` in line: digits with thousands
// separators ('.', ',', ' ' or '\'') and at most one decimal separator ('.'
// or ','). Which is which:
//   - both '.' and ',' appear: the last of them is the decimal separator
//     ("1.234,56" and "1,234.56" are 1234.56);
//   - one of them appears more than once: all are thousands separators
//     ("1.234.567" is 1234567);
//   - one appears once: followed by exactly three digits it separates
//     thousands ("1,234" and "1.234" are 1234), else it is the decimal
//     separator ("1,23" is 1.23, "12.5" is 12.5);
//   - a blank or an apostrophe separates thousands only when exactly three
//     digits follow it ("1 234,56", "1'234.56"); any other blank ends the number.
// A minus sign right before the first digit or right after the last one
// ("-12.50", "12.50-") makes it negative.
#include <cstddef>
#include <optional>
#include <string_view>

namespace tavrik {

std::optional<double> FirstAmount(std::string_view line, size_t from = 0);

}  // namespace tavrik
