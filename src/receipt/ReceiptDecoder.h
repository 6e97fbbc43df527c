#pragma once
// Turns the ESC/POS bytes of a receipt printer's stream into UTF-8 text, one
// frame at a time: commands and everything their parameters carry (images,
// bar code data) are taken out, characters are decoded through the code page
// ESC t selects, and the text is laid out in lines (see LineLayout).
//
// One decoder per source: the code page and a command split across frames
// carry over to the next frame. Pure: no I/O, never throws, and a warmed-up
// decoder allocates nothing when the caller reuses its ReceiptText.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "receipt/CodePages.h"
#include "receipt/CommandTable.h"
#include "receipt/LineLayout.h"
#include "receipt/ReceiptText.h"

namespace tavrik {

class ReceiptDecoder {
 public:
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
  void Decode(std::string_view frame, ReceiptText& out);
  // Back to power-on: CP437, no command pending, at the start of a line.
  void Reset();

 private:
  enum class State : uint8_t {
    Text,       // characters and control bytes
    Function,   // a prefix (DLE, ESC, FS, GS) was seen
    Params,     // reading the command's parameter bytes
    Skip,       // skipping data bytes counted by the parameters
    SkipToNul,  // skipping data ended by NUL
  };

  size_t DecodeText(std::string_view frame, size_t at, ReceiptText& out);
  size_t ReadFunction(uint8_t function, size_t at, ReceiptText& out);
  size_t ReadParams(std::string_view frame, size_t at);
  size_t SkipData(std::string_view frame, size_t at);
  size_t SkipToNul(std::string_view frame, size_t at);
  void WantParams(size_t count);
  void CompleteParams();
  void StartSkip(uint64_t count);
  void EndData();
  void SelectCodePage(uint8_t number);

  static constexpr size_t kMaxParams = 8;

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
};

}  // namespace tavrik
