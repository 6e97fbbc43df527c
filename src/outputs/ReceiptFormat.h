#pragma once
// A receipt's text as a recorder reads it: the start marker line, the lines
// wrapped at the configured width, the end marker line, every line ended by
// the configured line end, all in the configured encoding. Pure: no I/O,
// never throws.
#include <string>
#include <string_view>
#include <vector>

#include "outputs/OutputsConfig.h"

namespace tavrik {

// Writes the formatted receipt into out (replacing its content). text is
// UTF-8 with lines ended by '\n' (the last one may lack it). A text without
// a visible character gives an empty out: recorders would show an empty
// transaction for it. Characters the encoding lacks, and bytes that are no
// UTF-8, become '?'. Wrapping counts characters, not bytes.
void FormatReceipt(std::string_view text, const TextFormat& format, std::string& out);

// Cuts a formatted receipt into datagrams of at most limit bytes, each
// ending at a line end where one fits; a longer line is cut at the limit.
std::vector<std::string_view> SplitDatagrams(std::string_view formatted, std::string_view lineEnd, size_t limit);

}  // namespace tavrik
