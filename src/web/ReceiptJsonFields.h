#pragma once
// The fields a receipt's JSON document (the viewers' events, MQTT) carries
// beside its text, the same on both:
//   ,"epochMs":1796644800000,"utcOffset":"+01:00"
//   ,"rules":["refund"]
//   ,"drawer":[{"pin":2,"onMs":100,"offMs":500}]
//   ,"codes":[{"symbology":"CODE128","data":"{B12345"}]
//   ,"images":[{"kind":"raster","width":576,"height":64}]
// the rules only where it matched some, the last three only where the
// receipt has such facts. Pure, never throws.
#include <string>

#include "pipeline/ReceiptRecord.h"

namespace tavrik {

void AppendReceiptJsonFields(std::string& out, const ReceiptRecord& receipt);

}  // namespace tavrik
