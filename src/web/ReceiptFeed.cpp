#include "web/ReceiptFeed.h"

#include <algorithm>
#include <charconv>

#include "json/JsonString.h"

namespace tavrik {

const Payload& ReceiptFeed::Add(std::string_view frame, std::string_view time) {
  decoder_.Decode(frame, text_);
  ++seq_;
  newestTime_ = time;
  const std::string seq = std::to_string(seq_);
  std::string event;
  event.reserve(text_.text.size() + text_.text.size() / 8 + 128);
  event.append("id: ").append(seq).append("\nevent: receipt\ndata: {\"seq\":").append(seq);
  event.append(",\"time\":");
  AppendJsonString(event, time);
  event.append(",\"bytes\":").append(std::to_string(frame.size()));
  event.append(",\"cut\":").append(text_.cut ? "true" : "false");
  event.append(",\"text\":");
  AppendJsonString(event, text_.text);  // escapes every line feed: the data stays one line
  event.append("}\n\n");
  Held& slot = held_[seq_ % kHeldReceipts];
  slot.seq = seq_;
  slot.event = MakePayload(std::move(event));
  return slot.event;
}

std::vector<Payload> ReceiptFeed::EventsAfter(std::string_view lastEventId) const {
  uint64_t after = 0;
  std::vector<Payload> events;
  if (!lastEventId.empty()) {
    const auto [end, error] =
        std::from_chars(lastEventId.data(), lastEventId.data() + lastEventId.size(), after);
    if (error != std::errc() || end != lastEventId.data() + lastEventId.size() || after > seq_)
      return events;
  }
  const uint64_t first = seq_ > kHeldReceipts ? seq_ - kHeldReceipts + 1 : 1;
  for (uint64_t seq = std::max(first, after + 1); seq <= seq_; ++seq) {
    events.push_back(held_[seq % kHeldReceipts].event);
  }
  return events;
}

}  // namespace tavrik
