#include "web/ReceiptFeed.h"

#include <algorithm>
#include <charconv>

#include "json/JsonString.h"
#include "web/ReceiptJsonFields.h"

namespace tavrik {

const Payload& ReceiptFeed::Add(const ReceiptRecord& receipt) {
  const ReceiptText& text = *receipt.text;
  seq_ = receipt.sequence;
  if (first_ == 0) first_ = seq_;
  const std::string seq = std::to_string(seq_);
  std::string event;
  event.reserve(text.text.size() + text.text.size() / 8 + 192);
  event.append("id: ").append(seq).append("\nevent: receipt\ndata: {\"seq\":").append(seq);
  event.append(",\"time\":");
  AppendJsonString(event, receipt.time);
  event.append(",\"bytes\":").append(std::to_string(receipt.bytes.size()));
  event.append(",\"cut\":").append(text.cut ? "true" : "false");
  event.append(",\"text\":");
  AppendJsonString(event, text.text);  // escapes every line feed: the data stays one line
  AppendReceiptJsonFields(event, receipt);
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
  const uint64_t first = std::max(first_, seq_ >= kHeldReceipts ? seq_ - kHeldReceipts + 1 : 1);
  for (uint64_t seq = std::max(first, after + 1); seq <= seq_; ++seq) {
    events.push_back(held_[seq % kHeldReceipts].event);
  }
  return events;
}

uint64_t ReceiptFeed::OldestHeldSeq() const {
  if (seq_ == 0) return 0;
  return std::max(first_, seq_ >= kHeldReceipts ? seq_ - kHeldReceipts + 1 : 1);
}

}  // namespace tavrik
