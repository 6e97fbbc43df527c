#include "web/ReceiptJsonFields.h"

#include <cstdio>
#include <cstdlib>
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

void AppendUtcOffset(std::string& out, int32_t minutes) {
  const int32_t magnitude = std::abs(minutes);
  char text[16];
  std::snprintf(text, sizeof text, "\"%c%02d:%02d\"", minutes < 0 ? '-' : '+', magnitude / 60 % 100,
                magnitude % 60);
  out.append(text);
}

// Appends ,"name":[...] with one object per item, when there are any.
template <typename Items, typename Write>
void AppendArray(std::string& out, std::string_view name, const Items& items, Write write) {
  if (items.empty()) return;
  out.append(",\"").append(name).append("\":[");
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += '{';
    write(items[i]);
    out += '}';
  }
  out += ']';
}

}  // namespace

void AppendReceiptJsonFields(std::string& out, const ReceiptRecord& receipt) {
  out.append(",\"epochMs\":").append(std::to_string(receipt.epochMs));
  out.append(",\"utcOffset\":");
  AppendUtcOffset(out, receipt.utcOffsetMinutes);
  if (!receipt.rules.empty()) {
    out.append(",\"rules\":[");
    for (size_t i = 0; i < receipt.rules.size(); ++i) {
      if (i > 0) out += ',';
      AppendJsonString(out, receipt.rules[i]);
    }
    out += ']';
  }
  if (receipt.recognized) out.append(",\"ocr\":true");
  if (receipt.text) AppendReceiptFactsFields(out, receipt.text->facts);
}

void AppendReceiptFactsFields(std::string& out, const ReceiptFacts& facts) {
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
}

}  // namespace tavrik
