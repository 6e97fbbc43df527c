#pragma once
// JSON string literals for any bytes: pure, never throws.
#include <string>
#include <string_view>

namespace tavrik {

// Appends text as a quoted JSON string: '"', '\\' and control characters are
// escaped, valid UTF-8 passes unchanged, and every byte that is no part of a
// valid UTF-8 sequence (stray continuation bytes, overlong forms, surrogates,
// code points beyond U+10FFFF, a sequence cut short) becomes U+FFFD, so the
// result is always valid UTF-8 and valid JSON.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace tavrik
