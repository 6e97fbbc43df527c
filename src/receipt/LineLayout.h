#pragma once
// Lays decoded characters out as lines of UTF-8 text: tabs to the next
// multiple of 8, no blanks at a line's end. Its state (column, blanks not
// yet written) carries over from one frame to the next.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrik {

class LineLayout {
 public:
  // Blanks are held back until something visible follows them. A run of
  // more blanks than this is cut to this many wherever it stands, so one
  // frame writes at most this many for blanks an earlier frame left pending,
  // and the text does not depend on where frames end.
  static constexpr uint32_t kMaxPendingBlanks = 256;

  // Printable ASCII (0x20-0x7E).
  void AppendAscii(std::string_view run, std::string& out);
  // A character from a code page's upper half (never a control character).
  void AppendCodePoint(char16_t code, std::string& out);
  void Tab();
  void EndLine(std::string& out);
  // Ends the line only when something stands on it, so that a cut right
  // behind LF adds no empty line.
  void EndLineIfOpen(std::string& out);
  void Reset();

 private:
  void WritePendingBlanks(std::string& out);
  void AddBlanks(size_t count);

  size_t column_ = 0;
  uint32_t pendingBlanks_ = 0;
};

}  // namespace tavrik
