#include "receipt/LineLayout.h"

#include <algorithm>

namespace tavrik {

namespace {
constexpr size_t kTabWidth = 8;
}  // namespace

void LineLayout::AppendAscii(std::string_view run, std::string& out) {
  column_ += run.size();
  while (!run.empty()) {
    const size_t visible = run.find_first_not_of(' ');
    if (visible == std::string_view::npos) {
      AddBlanks(run.size());
      return;
    }
    AddBlanks(visible);
    run.remove_prefix(visible);
    WritePendingBlanks(out);
    // In a short run no blanks inside it can reach the cap: write up to its
    // last visible character at once. A long one goes word by word.
    const size_t end = run.size() <= kMaxPendingBlanks ? run.find_last_not_of(' ') + 1
                                                       : std::min(run.find(' '), run.size());
    out.append(run.data(), end);
    run.remove_prefix(end);
  }
}

void LineLayout::AppendCodePoint(char16_t code, std::string& out) {
  ++column_;
  WritePendingBlanks(out);
  // A code page's upper half holds no ASCII, so two or three bytes.
  if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (code & 0x3F));
}

void LineLayout::Tab() {
  const size_t blanks = kTabWidth - column_ % kTabWidth;
  column_ += blanks;
  AddBlanks(blanks);
}

void LineLayout::EndLine(std::string& out) {
  out += '\n';
  column_ = 0;
  pendingBlanks_ = 0;
}

void LineLayout::EndLineIfOpen(std::string& out) {
  if (column_ > 0) EndLine(out);
}

void LineLayout::Reset() {
  column_ = 0;
  pendingBlanks_ = 0;
}

void LineLayout::WritePendingBlanks(std::string& out) {
  if (pendingBlanks_ == 0) return;
  out.append(pendingBlanks_, ' ');
  pendingBlanks_ = 0;
}

void LineLayout::AddBlanks(size_t count) {
  pendingBlanks_ = static_cast<uint32_t>(std::min<size_t>(pendingBlanks_ + count, kMaxPendingBlanks));
}

}  // namespace tavrik
