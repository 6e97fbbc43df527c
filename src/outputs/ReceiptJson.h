#pragma once
// A receipt as the JSON document the MQTT output publishes:
//   {"seq":1,"time":"2026-01-31 12:00:00","bytes":42,"cut":true,"text":"...","raw":"<base64>",
//    "epochMs":...,"utcOffset":"+01:00"}
// with the drawer, codes and images of ReceiptJsonFields.h where present.
// "raw" only when asked for: the printer's bytes carry any card number
// unmasked. Pure: no I/O, never throws.
#include <string>
#include <string_view>

#include "pipeline/ReceiptRecord.h"

namespace tavrik {

void AppendBase64(std::string_view bytes, std::string& out);
// Adds ,"png":"<base64>" to the end of the JSON object in out.
void AppendPictureField(std::string_view png, std::string& out);
// Writes the document into out (replacing its content).
void FormatReceiptJson(const ReceiptRecord& frame, bool withRaw, std::string& out);

}  // namespace tavrik
