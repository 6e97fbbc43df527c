#pragma once
// A receipt read back from the journal in the web port's forms. Pure,
// never throws but for lack of memory.
#include <string>

#include "search/StoredReceipt.h"

namespace tavrik {

// {"seq":..,"time":..,"epochMs":..,"text":..,"cut":..,"drawer":[..],"codes":[..],"rules":[..]}
void AppendStoredReceiptJson(std::string& out, const StoredReceipt& receipt);

// The receipt's Server-Sent Event, shaped as the live ones (ReceiptFeed.h);
// "bytes" is the stored frame's size, 0 when the journal keeps no frames.
std::string StoredReceiptEvent(const StoredReceipt& receipt);

// The CSV header line "seq,time,epoch_ms,cut,text" and one record per
// receipt (RFC 4180: CR LF after each, the text always quoted with its
// quotes doubled and its line ends kept; a text that begins with = + - @,
// a tab or a CR gets a ' in front, so that spreadsheets show it as text).
inline constexpr const char* kCsvHeader = "seq,time,epoch_ms,cut,text\r\n";
void AppendCsvRecord(std::string& out, const StoredReceipt& receipt);

}  // namespace tavrik
