#include "journal/JournalEntry.h"

#include <span>
#include <string_view>

#include "json/JsonString.h"

namespace tavrik {
namespace {

std::string_view KindName(RasterKind kind) {
  switch (kind) {
    case RasterKind::BitImage: return "bitImage";
    case RasterKind::RasterImage: return "raster";
    case RasterKind::Graphics: return "graphics";
    case RasterKind::DownloadedImage: return "downloaded";
  }
  return "";
}

// Appends "name":[{..},..] behind a comma when out holds a key already.
template <typename Items, typename Write>
void AppendArray(std::string& out, std::string_view name, const Items& items, Write write) {
  if (items.empty()) return;
  out += out.size() > 1 ? ",\"" : "\"";
  out.append(name).append("\":[");
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += '{';
    write(items[i]);
    out += '}';
  }
  out += ']';
}

void AppendFactsJson(std::string& out, const ReceiptFacts& facts) {
  if (facts.drawerPulses.empty() && facts.codes.empty() && facts.rasters.empty()) return;
  out += '{';
  AppendArray(out, "drawer", facts.drawerPulses, [&](const DrawerPulse& pulse) {
    out.append("\"pin\":").append(std::to_string(pulse.pin));
    out.append(",\"onMs\":").append(std::to_string(pulse.onMs));
    out.append(",\"offMs\":").append(std::to_string(pulse.offMs));
  });
  AppendArray(out, "codes", facts.codes, [&](const Code& code) {
    out.append("\"symbology\":");
    AppendJsonString(out, SymbologyName(code.symbology));
    out.append(",\"data\":");
    AppendJsonString(out, facts.DataOf(code));
  });
  AppendArray(out, "images", facts.rasters, [&](const Raster& raster) {
    out.append("\"kind\":\"").append(KindName(raster.kind)).append("\"");
    out.append(",\"width\":").append(std::to_string(raster.widthDots));
    out.append(",\"height\":").append(std::to_string(raster.heightDots));
  });
  out += '}';
}

void AppendRulesJson(std::string& out, std::span<const std::string_view> rules) {
  if (rules.empty()) return;
  out += '[';
  for (size_t i = 0; i < rules.size(); ++i) {
    if (i > 0) out += ',';
    AppendJsonString(out, rules[i]);
  }
  out += ']';
}

}  // namespace

void FillJournalEntry(JournalEntry& entry, const ReceiptRecord& receipt, bool keepRaw) {
  entry.sequence = receipt.sequence;
  entry.time.assign(receipt.time);
  entry.epochMs = receipt.epochMs;
  entry.utcOffsetMinutes = receipt.utcOffsetMinutes;
  entry.cut = receipt.text && receipt.text->cut;
  entry.text.clear();
  entry.facts.clear();
  entry.rules.clear();
  entry.raw.clear();
  AppendRulesJson(entry.rules, receipt.rules);
  if (receipt.text) {
    entry.text.append(receipt.text->text);
    AppendFactsJson(entry.facts, receipt.text->facts);
  }
  if (keepRaw) entry.raw.assign(receipt.bytes);
}

}  // namespace tavrik
