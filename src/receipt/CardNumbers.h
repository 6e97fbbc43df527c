#pragma once
// Masks payment card numbers in receipt text, so that no copy of a receipt
// but the printer's own shows more than a card's first 6 and last 4 digits.
//
// A card number is a run of 13 to 19 ASCII digits, in groups joined by a
// single blank or hyphen, that passes the Luhn check. The run is taken whole:
// digits that touch more digits, or a run of 20 digits and more, are no card
// number (reference numbers, bar code texts). Masked, the run becomes its
// first 6 digits, a '*' for each digit between and its last 4, the
// separators dropped: "4111 1111 1111 1111" -> "411111******1111". A number
// printed masked already ("4111 11** **** 1111", "XXXX1111") has no such
// run and stays as it is.
//
// Pure: no I/O, never throws; only ASCII bytes are looked at, so UTF-8 stays
// UTF-8; nothing is allocated, since the text only shrinks.
#include <cstddef>
#include <string>

#include "receipt/ReceiptText.h"

namespace tavrik {

// Masks every card number in text; returns how many there were.
size_t MaskCardNumbers(std::string& text);

// Masks the card numbers of a decoded frame: those in its text, and the data
// of a bar code or 2-D code that is one card number as a whole, digits only
// (CODE128 behind its "{A" or "{B" code-set selector), masked in place to
// the same length. Data in CODE128's code set C (digit pairs as byte values)
// is left as it is.
size_t MaskCardNumbers(ReceiptText& text);

}  // namespace tavrik
