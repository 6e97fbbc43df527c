#pragma once
// Bar codes and 2-D codes as modules, drawn by the renderer at the printer's
// module sizes. Encoded by libzint where the build has it (render/zint);
// without it (render/nozint) nothing encodes and the renderer draws a
// labelled box instead.
#include <cstdint>
#include <string_view>
#include <vector>

#include "receipt/ReceiptFacts.h"

namespace tavrik {

struct SymbolOptions {
  uint8_t errorLevel = 0;  // QR: 0-3 (L-H); PDF417: 0-8
  uint8_t columns = 0;     // PDF417: data columns, 0 for the encoder's choice

  bool operator==(const SymbolOptions&) const = default;
};

// rows x columns modules, row-major, 1 = dark.
struct ModuleMatrix {
  uint32_t rows = 0;
  uint32_t columns = 0;
  std::vector<uint8_t> modules;

  bool Dark(uint32_t row, uint32_t column) const { return modules[size_t{row} * columns + column] != 0; }
};

// Encodes data (CODE128 as Code128Text gives it) into
// out; false when the data does not fit the symbology or the build has no
// encoder.
bool EncodeSymbol(Symbology symbology, std::string_view data, const SymbolOptions& options, ModuleMatrix& out);

}  // namespace tavrik
