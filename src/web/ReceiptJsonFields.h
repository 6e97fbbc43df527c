#pragma once
// The fields a receipt's JSON document (the viewers' events, MQTT) carries
// beside its text, the same on both:
//   ,"epochMs":1796644800000,"utcOffset":"+01:00"
//   ,"rules":["refund"]  (the rules it matched)
//   ,"ocr":true          (the text was read from the receipt's images)
//   ,"drawer":[{"pin":2,"onMs":100,"offMs":500}]
//   ,"codes":[{"symbology":"CODE128","data":"{B12345"}]
//   ,"images":[{"kind":"raster","width":576,"height":64}]
// rules, ocr and the last three only where they apply. Pure, never throws.
#include <string>

#include "pipeline/ReceiptRecord.h"

namespace tavrik {

void AppendReceiptJsonFields(std::string& out, const ReceiptRecord& receipt);
// The facts' fields alone: ,"drawer":[…],"codes":[…],"images":[…], each only
// where there are such facts.
void AppendReceiptFactsFields(std::string& out, const ReceiptFacts& facts);

}  // namespace tavrik
