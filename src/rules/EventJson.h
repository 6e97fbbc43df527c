#pragma once
// An event as the JSON document sinks publish:
//   {"type":"rule","rule":"refund","seq":7,"time":"2026-12-07 12:00:00","epochMs":1796644800000,
//    "till":"till 3","line":"REFUND 12.50","amount":null,"text":"...","url":"http://host:8080/#seq=7"}
//   {"type":"drawer_open","rule":"drawer","seconds":30,"time":...,"epochMs":...,"till":...}
// ("drawer_closed" likewise, with the seconds it was open). "till" and
// "url" are null when unknown. Pure, never throws.
#include <string>

#include "rules/RuleEvent.h"

namespace tavrik {

// Writes the document into out (replacing its content).
void FormatEventJson(const RuleEvent& event, std::string& out);

}  // namespace tavrik
