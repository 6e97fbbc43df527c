#pragma once
// What each kind of event output sends for one event, in the form its
// receiver documents: pure, no I/O.
//   webhook     POST url, the event's JSON as it is
//   frigate     POST {url}/api/events/{camera}/{label}/create
//               {"sub_label":rule,"duration":s,"include_recording":true,"score":…}
//   nx          POST {url}/api/createEvent {"source":till,"caption":rule,
//               "description":line + text,"timestamp":ms,"metadata":{"cameraRefs":[…]}}
//   zoneminder  {monitor}|on+{duration}|{score}|{cause}|{text}|{showtext}\n
//   milestone   the template with {rule} {till} {seq} {line} {amount} {time} filled in
#include <string>

#include "rules/RuleEvent.h"
#include "events/EventOutputConfig.h"
#include "platform/HttpClient.h"

namespace tavrik {

// The limits zmtrigger puts on its fields; longer ones are cut, at a whole
// UTF-8 character.
inline constexpr size_t kZoneMinderCauseBytes = 32;
inline constexpr size_t kZoneMinderTextBytes = 256;
inline constexpr size_t kZoneMinderShowTextBytes = 32;

// For the HTTP types (webhook, frigate, nx).
OutgoingHttpRequest EventHttpRequest(const EventOutputConfig& config, const RuleEvent& event);
// For the TCP and UDP types (zoneminder, milestone): one message.
std::string EventMessage(const EventOutputConfig& config, const RuleEvent& event);
const char* EventKindName(RuleEventKind kind);

}  // namespace tavrik
