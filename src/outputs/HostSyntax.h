#pragma once
// Syntax checks of the addresses an outputs file names, so that one that can
// never work stops the start instead of failing later. Pure: no name is
// looked up.
#include <string_view>

namespace tavrik {

// Four decimal parts from 0 to 255, without leading zeros: "10.0.0.5".
bool IsIpv4Address(std::string_view text);
// Eight groups of up to four hex digits, "::" for a run of zero groups, the
// last two groups perhaps as IPv4, then perhaps a zone: "fe80::1%eth0".
bool IsIpv6Address(std::string_view text);
// A host name as RFC 1123 has it: dot-separated labels of 1 to 63 letters,
// digits and hyphens, not beginning or ending with a hyphen, 253 characters
// at most (a final dot aside). A last label of digits only makes it a
// mistyped IPv4 address ("999.1.1.1"), no name.
bool IsHostName(std::string_view text);

}  // namespace tavrik
