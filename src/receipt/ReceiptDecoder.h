#pragma once
// Turns the ESC/POS bytes of a receipt printer's stream into UTF-8 text, one
// frame at a time: commands and everything their parameters carry are taken
// out, characters are decoded through the code page ESC t selects, and the
// text is laid out in lines (see LineLayout). Drawer pulses, codes and images
// are reported as facts beside the text (see ReceiptFacts.h).
//
// One decoder per source: the code page and a command split across frames
// carry over to the next frame. Pure: no I/O, never throws, and a warmed-up
// decoder allocates nothing for text receipts when the caller reuses its
// ReceiptText.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "receipt/CodePages.h"
#include "escpos/CommandLengths.h"
#include "escpos/CommandTable.h"
#include "receipt/LineLayout.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

class ReceiptDecoder {
 public:
  // Bounds past which a command is not one a receipt printer takes: its
  // header is dropped as an unknown command's and what follows is decoded,
  // so a corrupt length cannot swallow the stream. No printer prints wider
  // than 4096 dots (512 mm at 203 dpi); 16384 rows are 2 m of paper; 2 MiB
  // holds any such image at 80 mm and far more than a printer's graphics
  // memory.
  static constexpr uint32_t kMaxRasterWidth = kMaxPrinterDots;
  static constexpr uint32_t kMaxRasterHeight = 16384;
  static constexpr uint64_t kMaxBlockBytes = uint64_t{2} << 20;
  // No command, header included, takes more bytes than this.
  static constexpr uint64_t kMaxCommandBytes = kMaxBlockBytes + 16;
  // 2-D code data kept: a QR code's capacity (7089 digits), the largest.
  static constexpr size_t kMaxCodeData = 7089;

  // Output bound: a byte writes at most 8 bytes (HT: 8 blanks; a code page
  // character: 3), and blanks held back from earlier frames add at most
  // LineLayout::kMaxPendingBlanks.
  static constexpr size_t MaxTextSize(size_t frameSize) {
    return 8 * frameSize + LineLayout::kMaxPendingBlanks;
  }

  // Decodes one frame into out (cleared first). LF and FF end a line (FF,
  // the end of a label or slip, is nothing more to a receipt); CR, DEL and
  // other control bytes are dropped. A paper cut sets out.cut and ends the
  // line, so text behind it in the same frame starts on a line of its own.
  // ESC t with a number that has no table (see CodePages.h) selects CP437.
  //
  // A frame that ends in a whole cut command ends the receipt: a command
  // whose data was still coming is dropped there and the cut is read as one.
  // Frames are cut behind cut commands found outside image data, so a
  // corrupt length costs at most the rest of its receipt; the text and facts
  // depend on where frames end only there (see CutTailLength).
  void Decode(std::string_view frame, ReceiptText& out);
  // Back to power-on: CP437, no command or data pending, at the start of a line.
  void Reset() { *this = ReceiptDecoder(); }

  // The length of the cut command (ESC i, ESC m, GS V m, GS V m n) that ends
  // bytes; only their last 4 are looked at. 0 if none does.
  static size_t CutTailLength(std::string_view bytes);

 private:
  enum class State : uint8_t {
    Text,       // characters and control bytes
    Function,   // a prefix (DLE, ESC, FS, GS) was seen
    Params,     // reading the command's parameter bytes
    Skip,       // taking data bytes counted by the parameters
    SkipToNul,  // taking data ended by NUL
  };
  // What the data bytes being taken become.
  enum class Payload : uint8_t { None, Code, Raster };

  void DecodeBytes(std::string_view bytes, ReceiptText& out);
  size_t DecodeText(std::string_view frame, size_t at, ReceiptText& out);
  size_t ReadFunction(uint8_t function, size_t at, ReceiptText& out);
  size_t ReadParams(std::string_view frame, size_t at, ReceiptFacts& facts);
  size_t SkipData(std::string_view frame, size_t at, ReceiptFacts& facts);
  size_t SkipToNul(std::string_view frame, size_t at, ReceiptFacts& facts);
  void WantParams(size_t count);
  void CompleteParams(ReceiptFacts& facts);
  void CompleteBlock(uint64_t length, ReceiptFacts& facts);
  void CompleteBarcode(ReceiptFacts& facts);
  void CompleteUserCharacters(ReceiptFacts& facts);
  void PulseDrawer(uint8_t m, uint32_t onMs, uint32_t offMs, ReceiptFacts& facts);
  void StartImage(RasterKind kind, uint8_t mode, uint32_t width, uint32_t height, uint64_t bytes,
                  ReceiptFacts& facts);
  void StartCode(Symbology symbology, uint64_t bytes, ReceiptFacts& facts);
  void StartSkip(uint64_t count, ReceiptFacts& facts);
  void Keep(std::string_view data);
  void EndData(ReceiptFacts& facts);
  void DropCommand();
  void KeepTail(std::string_view frame);
  void SelectCodePage(uint8_t number);

  // GS 8 L's header with graphics parameters: L p1 p2 p3 p4 m fn a bx by c xL xH yL yH.
  static constexpr size_t kMaxParams = 15;

  State state_ = State::Text;
  const CodePage* codePage_ = &DefaultCodePage();
  LineLayout layout_;
  uint8_t prefix_ = 0;
  const Command* command_ = nullptr;
  std::array<uint8_t, kMaxParams> params_{};
  size_t paramsRead_ = 0;
  size_t paramsWanted_ = 0;
  uint64_t skipLeft_ = 0;  // Skip: data bytes; SkipToNul: the most bytes left, NUL included
  uint32_t charactersLeft_ = 0;  // ESC &: characters whose data is still to come
  Payload payload_ = Payload::None;
  Code code_;      // the code whose data is being taken
  Raster raster_;  // the image whose bits are being taken
  std::string payloadData_;  // their data so far, across frames
  std::array<char, 4> tail_{};  // the stream's last bytes, for CutTailLength
  size_t tailSize_ = 0;
};

}  // namespace tavrik
