#include "render/CodeSymbol.h"

#include <zint.h>

#include <memory>

namespace tavrik {
namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

int ZintSymbology(Symbology symbology) {
  switch (symbology) {
    case Symbology::UpcA: return BARCODE_UPCA;
    case Symbology::UpcE: return BARCODE_UPCE;
    case Symbology::Ean13:
    case Symbology::Ean8: return BARCODE_EANX;
    case Symbology::Code39: return BARCODE_CODE39;
    case Symbology::Itf: return BARCODE_C25INTER;
    case Symbology::Codabar: return BARCODE_CODABAR;
    case Symbology::Code93: return BARCODE_CODE93;
    case Symbology::Code128:
    case Symbology::Code128Auto: return BARCODE_CODE128;
    case Symbology::Gs1_128: return BARCODE_GS1_128;
    case Symbology::Pdf417: return BARCODE_PDF417;
    case Symbology::QrCode: return BARCODE_QRCODE;
    case Symbology::DataMatrix: return BARCODE_DATAMATRIX;
    default: return 0;  // GS1 DataBar: not drawn
  }
}

// Where zint keeps module (row, column): one bit each, LSB first.
bool ModuleSet(const zint_symbol& symbol, int row, int column) {
  return (symbol.encoded_data[row][column >> 3] >> (column & 7) & 1) != 0;
}

}  // namespace

bool EncodeSymbol(Symbology symbology, std::string_view data, const SymbolOptions& options, ModuleMatrix& out) {
  const int type = ZintSymbology(symbology);
  if (type == 0 || data.empty()) return false;
  std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
  if (!symbol) return false;
  symbol->symbology = type;
  symbol->input_mode = DATA_MODE;
  if (symbology == Symbology::QrCode) symbol->option_1 = options.errorLevel + 1;
  if (symbology == Symbology::Pdf417) {
    symbol->option_1 = options.errorLevel;
    symbol->option_2 = options.columns;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  if (ZBarcode_Encode(symbol.get(), bytes, static_cast<int>(data.size())) >= ZINT_ERROR) return false;
  if (symbol->rows <= 0 || symbol->width <= 0) return false;
  out.rows = static_cast<uint32_t>(symbol->rows);
  out.columns = static_cast<uint32_t>(symbol->width);
  out.modules.assign(size_t{out.rows} * out.columns, 0);
  for (int row = 0; row < symbol->rows; ++row)
    for (int column = 0; column < symbol->width; ++column)
      out.modules[size_t(row) * out.columns + size_t(column)] = ModuleSet(*symbol, row, column) ? 1 : 0;
  return true;
}

}  // namespace tavrik
