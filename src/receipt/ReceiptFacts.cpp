#include "receipt/ReceiptFacts.h"

namespace tavrik {

std::string_view SymbologyName(Symbology symbology) {
  switch (symbology) {
    case Symbology::UpcA: return "UPC-A";
    case Symbology::UpcE: return "UPC-E";
    case Symbology::Ean13: return "EAN13";
    case Symbology::Ean8: return "EAN8";
    case Symbology::Code39: return "CODE39";
    case Symbology::Itf: return "ITF";
    case Symbology::Codabar: return "CODABAR";
    case Symbology::Code93: return "CODE93";
    case Symbology::Code128:
    case Symbology::Code128Auto: return "CODE128";
    case Symbology::Gs1_128: return "GS1-128";
    case Symbology::Gs1DataBarOmnidirectional: return "GS1 DATABAR";
    case Symbology::Gs1DataBarTruncated: return "GS1 DATABAR TRUNCATED";
    case Symbology::Gs1DataBarLimited: return "GS1 DATABAR LIMITED";
    case Symbology::Gs1DataBarExpanded: return "GS1 DATABAR EXPANDED";
    case Symbology::Pdf417: return "PDF417";
    case Symbology::QrCode: return "QR";
    case Symbology::DataMatrix: return "DATAMATRIX";
  }
  return "";
}

}  // namespace tavrik
