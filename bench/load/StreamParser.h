#pragma once
// Reads one client's side of the relay's push stream as it arrives: checks
// the response head byte for byte, then cuts the stream into parts and hands
// each complete part on. In raw mode (the fan-out ceiling) it only counts the
// bytes after the head.
// Receive straight into Space(), then Commit() the count.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrik::load {

class StreamParser {
 public:
  enum class Mode { Multipart, Raw };
  enum class PartKind { Frame, KeepAlive };
  using PartHandler = std::function<void(PartKind kind, std::string_view body)>;

  static constexpr std::string_view kHead =
      "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=ABCDEF12345678\r\n\r\n"
      "--ABCDEF12345678\r\n";
  static constexpr std::string_view kPartEnd = "\r\n--ABCDEF12345678\r\n";
  static constexpr std::string_view kFrameHeader = "Content-Type: text/plaintext\r\n\r\n";
  static constexpr std::string_view kKeepAliveHeader = "Content-Type: text/keepalive\r\n\r\n";
  // A part this long without its boundary line is a broken stream.
  static constexpr size_t kMaxPart = 1 << 20;

  explicit StreamParser(Mode mode);

  std::span<char> Space();
  // Takes n bytes received into Space(). Returns false on a protocol error;
  // the stream is not read further then.
  bool Commit(size_t n, const PartHandler& onPart);

  bool HeadSeen() const { return headSeen_; }
  uint64_t RawBytes() const { return rawBytes_; }
  const std::string& Error() const { return error_; }
  // Bytes of an incomplete part still waiting for the rest.
  size_t Buffered() const { return end_ - begin_; }

 private:
  bool ParseParts(const PartHandler& onPart);
  // The end of the body that starts at bodyAt, or npos while incomplete.
  size_t FindBodyEnd(size_t bodyAt, bool frame) const;
  bool Fail(std::string text);

  Mode mode_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool headSeen_ = false;
  uint64_t rawBytes_ = 0;
  std::string error_;
};

}  // namespace tavrik::load
