// Built without libzint (the Windows build): no code is encoded, each is
// drawn as a box labelled with its kind.
#include "render/CodeSymbol.h"

namespace tavrik {

bool EncodeSymbol(Symbology, std::string_view, const SymbolOptions&, ModuleMatrix&) { return false; }

}  // namespace tavrik
