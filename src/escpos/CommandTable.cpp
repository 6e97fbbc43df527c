#include "escpos/CommandTable.h"

#include <array>
#include <cstddef>

namespace tavrik {
namespace {

struct Entry {
  uint8_t prefix;
  uint8_t function;
  Command command;
};

constexpr Entry Esc(uint8_t function, Syntax syntax, uint8_t params, Effect effect = Effect::None) {
  return {kEsc, function, {syntax, params, effect}};
}
constexpr Entry Gs(uint8_t function, Syntax syntax, uint8_t params, Effect effect = Effect::None) {
  return {kGs, function, {syntax, params, effect}};
}
constexpr Entry Fs(uint8_t function, Syntax syntax, uint8_t params) {
  return {kFs, function, {syntax, params, Effect::None}};
}
constexpr Entry Dle(uint8_t function, Syntax syntax, uint8_t params) {
  return {kDle, function, {syntax, params, Effect::None}};
}

constexpr Syntax F = Syntax::Fixed;

// Every length follows the Epson ESC/POS Command Reference; each comment is
// the name of the command's page there. A command missing here takes only
// its two bytes (DLE: only the DLE), which is right for every
// zero-parameter command, so those are listed only where they do something.
constexpr Entry kEntries[] = {
    Dle(kEot, Syntax::RealTimeStatus, 1),       // DLE EOT n [a]: transmit real-time status
    Dle(kEnq, F, 1),                            // DLE ENQ n: send real-time request to printer
    Dle(kDc4, Syntax::RealTimeRequest, 1),     // DLE DC4 fn ...: real-time pulse, power-off, buzzer, clear buffers

    Esc(' ', F, 1),                                   // ESC SP n: set right-side character spacing
    Esc('!', F, 1),                                   // ESC ! n: select print mode(s)
    Esc('$', F, 2),                                   // ESC $ nL nH: set absolute print position
    Esc('%', F, 1),                                   // ESC % n: select/cancel user-defined character set
    Esc(kEscUserCharacters, Syntax::UserCharacters, 3),  // ESC & y c1 c2 [x d1...d(y*x)]k: define user-defined characters
    Esc(kEscFunctionBlock, Syntax::Counted16, 3),     // ESC ( A / ESC ( Y pL pH ...: beeper, batch print
    Esc(kEscBitImage, Syntax::BitImage, 3),           // ESC * m nL nH d1...dk: select bit-image mode
    Esc('-', F, 1),                                   // ESC - n: turn underline mode on/off
    Esc('3', F, 1),                                   // ESC 3 n: set line spacing
    Esc('=', F, 1),                                   // ESC = n: select peripheral device
    Esc('?', F, 1),                                   // ESC ? n: cancel user-defined characters
    Esc(kEscInitialize, F, 0, Effect::Initialize),    // ESC @: initialize printer
    Esc('C', F, 1),                                   // ESC C n: set cut sheet eject length
    Esc('D', Syntax::TabPositions, 0),                // ESC D n1...nk NUL: set horizontal tab positions
    Esc('E', F, 1),                                   // ESC E n: turn emphasized mode on/off
    Esc('F', F, 1),                                   // ESC F n: set/cancel cut sheet reverse eject
    Esc('G', F, 1),                                   // ESC G n: turn double-strike mode on/off
    Esc('J', F, 1),                                   // ESC J n: print and feed paper
    Esc('K', F, 1),                                   // ESC K n: print and reverse feed
    Esc('M', F, 1),                                   // ESC M n: select character font
    Esc('R', F, 1),                                   // ESC R n: select an international character set
    Esc('T', F, 1),                                   // ESC T n: select print direction in page mode
    Esc('U', F, 1),                                   // ESC U n: turn unidirectional print mode on/off
    Esc('V', F, 1),                                   // ESC V n: turn 90 degree clockwise rotation mode on/off
    Esc('W', F, 8),                                   // ESC W xL xH yL yH dxL dxH dyL dyH: set printing area in page mode
    Esc('\\', F, 2),                                  // ESC \ nL nH: set relative print position
    Esc('a', F, 1),                                   // ESC a n: select justification
    Esc('c', F, 2),                                   // ESC c 0/1/3/4/5 n: paper types, paper sensors, panel buttons
    Esc('d', F, 1),                                   // ESC d n: print and feed n lines
    Esc('e', F, 1),                                   // ESC e n: print and reverse feed n lines
    Esc('f', F, 2),                                   // ESC f t1 t2: set cut sheet wait time
    Esc(kEscPartialCut, F, 0, Effect::CutPaper),      // ESC i: partial cut (one point left uncut)
    Esc(kEscPartialCutThree, F, 0, Effect::CutPaper),  // ESC m: partial cut (three points left uncut)
    Esc(kEscPulse, F, 3, Effect::PulseDrawer),        // ESC p m t1 t2: generate pulse
    Esc('r', F, 1),                                   // ESC r n: select print color
    Esc(kEscCodeTable, F, 1, Effect::SelectCodePage),  // ESC t n: select character code table
    Esc('u', F, 1),                                   // ESC u n: transmit peripheral device status
    Esc('{', F, 1),                                   // ESC { n: turn upside-down print mode on/off

    Fs('!', F, 1),                   // FS ! n: select print mode(s) for Kanji characters
    Fs('&', F, 0),                   // FS &: select Kanji character mode (two-byte characters are not decoded)
    Fs(kFsFunctionBlock, Syntax::Counted16, 3),  // FS ( A / C / E / L / e pL pH ...: Kanji, code conversion, labels
    Fs('-', F, 1),                   // FS - n: turn underline mode on/off for Kanji characters
    Fs('.', F, 0),                   // FS .: cancel Kanji character mode
    Fs('2', F, 74),                  // FS 2 c1 c2 d1...d72: define user-defined Kanji characters
    Fs('?', F, 2),                   // FS ? c1 c2: cancel user-defined Kanji characters
    Fs('C', F, 1),                   // FS C n: select Kanji character code system
    Fs('S', F, 2),                   // FS S n1 n2: set Kanji character spacing
    Fs('W', F, 1),                   // FS W n: turn quadruple-size mode on/off for Kanji characters
    Fs('p', F, 2),                   // FS p n m: print NV bit image

    Gs('!', F, 1),                                 // GS ! n: select character size
    Gs('$', F, 2),                                 // GS $ nL nH: set absolute vertical print position in page mode
    Gs(kGsFunctionBlock, Syntax::Counted16, 3),    // GS ( X pL pH ...: every GS ( function (2-D codes, graphics, ...)
    Gs(kGsDownloadedImage, Syntax::DownloadedImage, 2),  // GS * x y d1...d(x*y*8): define downloaded bit image
    Gs('/', F, 1),                                 // GS / m: print downloaded bit image
    Gs(kGsGraphicsLong, Syntax::Counted32, 5),     // GS 8 L p1 p2 p3 p4 ...: graphics data, long form of GS ( L
    Gs('B', F, 1),                                 // GS B n: turn white/black reverse print mode on/off
    Gs('E', F, 1),                                 // GS E n: select head control method
    Gs('H', F, 1),                                 // GS H n: select print position of HRI characters
    Gs(kGsPrinterId, F, 1),                        // GS I n: transmit printer ID
    Gs('L', F, 2),                                 // GS L nL nH: set left margin
    Gs('P', F, 2),                                 // GS P x y: set horizontal and vertical motion units
    Gs('T', F, 1),                                 // GS T n: set print position to the beginning of print line
    Gs(kGsCut, Syntax::Cut, 1, Effect::CutPaper),  // GS V m [n]: select cut mode and cut paper
    Gs('W', F, 2),                                 // GS W nL nH: set print area width
    Gs('\\', F, 2),                                // GS \ nL nH: set relative vertical print position in page mode
    Gs('^', F, 3),                                 // GS ^ r t m: execute macro
    Gs(kGsAutoStatus, F, 1),                       // GS a n: enable/disable Automatic Status Back
    Gs('b', F, 1),                                 // GS b n: turn smoothing mode on/off
    Gs('f', F, 1),                                 // GS f n: select font for HRI characters
    Gs('g', F, 4),                                 // GS g 0 m nL nH / GS g 2 m nL nH: maintenance counter
    Gs('h', F, 1),                                 // GS h n: set bar code height
    Gs('j', F, 1),                                 // GS j n: enable/disable Automatic Status Back for ink
    Gs(kGsBarcode, Syntax::Barcode, 1),            // GS k m d1...dk NUL / GS k m n d1...dn: print bar code
    Gs(kGsTransmitStatus, F, 1),                   // GS r n: transmit status
    Gs(kGsRasterImage, Syntax::RasterImage, 6),    // GS v 0 m xL xH yL yH d1...dk: print raster bit image
    Gs('w', F, 1),                                 // GS w n: set bar code width
    Gs('z', F, 3),                                 // GS z 0 t1 t2: set online recovery wait time
};

struct Table {
  std::array<std::array<Command, 256>, 4> byPrefix{};
};

constexpr size_t PrefixIndex(uint8_t prefix) {
  switch (prefix) {
    case kEsc: return 0;
    case kGs: return 1;
    case kFs: return 2;
    default: return 3;  // DLE
  }
}

constexpr Table MakeTable() {
  Table table;
  for (const Entry& entry : kEntries) table.byPrefix[PrefixIndex(entry.prefix)][entry.function] = entry.command;
  return table;
}

constexpr Table kTable = MakeTable();

}  // namespace

const Command& FindCommand(uint8_t prefix, uint8_t function) {
  return kTable.byPrefix[PrefixIndex(prefix)][function];
}

}  // namespace tavrik
