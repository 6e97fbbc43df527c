#include "load/StreamParser.h"

#include <algorithm>
#include <cstring>

#include "load/Receipt.h"

namespace tavrik::load {
namespace {

constexpr size_t kMinRoom = 64 * 1024;
constexpr size_t kInitialBuffer = 256 * 1024;

std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text.substr(0, 60)) {
    const auto byte = static_cast<unsigned char>(c);
    out += (byte >= 0x20 && byte < 0x7F) ? c : '.';
  }
  return out;
}

}  // namespace

StreamParser::StreamParser(Mode mode)
    : mode_(mode), buffer_(mode == Mode::Raw ? kMinRoom : kInitialBuffer) {}

std::span<char> StreamParser::Space() {
  if (begin_ == end_) begin_ = end_ = 0;
  if (buffer_.size() - end_ < kMinRoom && begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (buffer_.size() - end_ < kMinRoom) buffer_.resize(buffer_.size() * 2);
  return {buffer_.data() + end_, buffer_.size() - end_};
}

bool StreamParser::Commit(size_t n, const PartHandler& onPart) {
  if (!error_.empty()) return false;
  end_ += n;
  if (!headSeen_) {
    const size_t have = std::min(end_ - begin_, kHead.size());
    if (std::string_view(buffer_.data() + begin_, have) != kHead.substr(0, have)) {
      return Fail("response head differs: '" +
                  Printable(std::string_view(buffer_.data() + begin_, have)) + "'");
    }
    if (have < kHead.size()) return true;
    begin_ += kHead.size();
    headSeen_ = true;
  }
  if (mode_ == Mode::Raw) {
    rawBytes_ += end_ - begin_;  // counted, not kept
    begin_ = end_ = 0;
    return true;
  }
  return ParseParts(onPart);
}

bool StreamParser::ParseParts(const PartHandler& onPart) {
  for (;;) {
    const std::string_view rest(buffer_.data() + begin_, end_ - begin_);
    if (rest.size() < kFrameHeader.size()) {
      // Both part headers have the same length: a prefix of neither is wrong already.
      if (rest != kFrameHeader.substr(0, rest.size()) &&
          rest != kKeepAliveHeader.substr(0, rest.size())) {
        return Fail("unexpected part header: '" + Printable(rest) + "'");
      }
      return true;
    }
    const std::string_view header = rest.substr(0, kFrameHeader.size());
    const bool frame = header == kFrameHeader;
    if (!frame && header != kKeepAliveHeader)
      return Fail("unexpected part header: '" + Printable(rest) + "'");
    const size_t bodyAt = begin_ + kFrameHeader.size();
    const size_t bodyEnd = FindBodyEnd(bodyAt, frame);
    if (bodyEnd == std::string_view::npos) {
      if (end_ - bodyAt > kMaxPart)
        return Fail("no boundary line within " + std::to_string(kMaxPart) + " bytes");
      return true;
    }
    onPart(frame ? PartKind::Frame : PartKind::KeepAlive,
           std::string_view(buffer_.data() + bodyAt, bodyEnd - bodyAt));
    begin_ = bodyEnd + kPartEnd.size();
  }
}

size_t StreamParser::FindBodyEnd(size_t bodyAt, bool frame) const {
  const std::string_view body(buffer_.data() + bodyAt, end_ - bodyAt);
  if (frame) {
    // Fast path: the receipt tells its own length, so the boundary line is
    // looked for at one place instead of searched.
    const size_t length =
        body.size() >= Receipt::kHiddenHeaderSize ? Receipt::PeekSize(body.substr(0, Receipt::kHiddenHeaderSize)) : 0;
    if (length != 0 && length <= Receipt::kMaxSize) {
      if (body.size() < length + kPartEnd.size()) return std::string_view::npos;
      if (body.substr(length, kPartEnd.size()) == kPartEnd) return bodyAt + length;
      // Corrupted somewhere: search instead, and let the receipt check say what broke.
    }
  }
  const size_t at = body.find(kPartEnd);
  return at == std::string_view::npos ? at : bodyAt + at;
}

bool StreamParser::Fail(std::string text) {
  error_ = std::move(text);
  return false;
}

}  // namespace tavrik::load
