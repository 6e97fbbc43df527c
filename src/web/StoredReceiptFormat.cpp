#include "web/StoredReceiptFormat.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "json/JsonString.h"

namespace tavrik {
namespace {

void AppendUtcOffset(std::string& out, int32_t minutes) {
  const int32_t magnitude = std::abs(minutes);
  char text[16];
  std::snprintf(text, sizeof text, "\"%c%02d:%02d\"", minutes < 0 ? '-' : '+', magnitude / 60 % 100,
                magnitude % 60);
  out.append(text);
}

// ,"name":[..] when the array holds anything (the live events leave empty ones out).
void AppendIfAny(std::string& out, const char* name, const std::string& array) {
  if (array.size() <= 2) return;
  out.append(",\"").append(name).append("\":").append(array);
}

}  // namespace

void AppendStoredReceiptJson(std::string& out, const StoredReceipt& receipt) {
  out.append("{\"seq\":").append(std::to_string(receipt.seq));
  out.append(",\"time\":");
  AppendJsonString(out, receipt.time);
  out.append(",\"epochMs\":").append(std::to_string(receipt.epochMs));
  out.append(",\"text\":");
  AppendJsonString(out, receipt.text);
  out.append(",\"cut\":").append(receipt.cut ? "true" : "false");
  out.append(",\"drawer\":").append(receipt.drawer);
  out.append(",\"codes\":").append(receipt.codes);
  out.append(",\"rules\":").append(receipt.rules);
  out += '}';
}

std::string StoredReceiptEvent(const StoredReceipt& receipt) {
  const std::string seq = std::to_string(receipt.seq);
  std::string event;
  event.reserve(receipt.text.size() + receipt.text.size() / 8 + 192);
  event.append("id: ").append(seq).append("\nevent: receipt\ndata: {\"seq\":").append(seq);
  event.append(",\"time\":");
  AppendJsonString(event, receipt.time);
  event.append(",\"bytes\":").append(std::to_string(receipt.rawBytes < 0 ? 0 : receipt.rawBytes));
  event.append(",\"cut\":").append(receipt.cut ? "true" : "false");
  event.append(",\"text\":");
  AppendJsonString(event, receipt.text);
  event.append(",\"epochMs\":").append(std::to_string(receipt.epochMs));
  event.append(",\"utcOffset\":");
  AppendUtcOffset(event, receipt.utcOffsetMinutes);
  AppendIfAny(event, "rules", receipt.rules);
  AppendIfAny(event, "drawer", receipt.drawer);
  AppendIfAny(event, "codes", receipt.codes);
  AppendIfAny(event, "images", receipt.images);
  event.append("}\n\n");
  return event;
}

void AppendCsvRecord(std::string& out, const StoredReceipt& receipt) {
  out.append(std::to_string(receipt.seq)).append(",").append(receipt.time);
  out.append(",").append(std::to_string(receipt.epochMs)).append(receipt.cut ? ",1,\"" : ",0,\"");
  // A spreadsheet takes a field that begins so for a formula, even quoted: a
  // printed "=HYPERLINK(..)" must stay text there.
  if (!receipt.text.empty() && std::string_view("=+-@\t\r").find(receipt.text.front()) != std::string_view::npos) {
    out += '\'';
  }
  for (const char c : receipt.text) {
    if (c == '"') out += '"';
    out += c;
  }
  out.append("\"\r\n");
}

}  // namespace tavrik
