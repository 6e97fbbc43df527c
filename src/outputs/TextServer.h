#pragma once
// A plain TCP server that streams every receipt's text to each connected
// reader (at most kMaxReaders). A reader still busy with earlier receipts
// skips whole receipts, so a slow one never holds up the others or the relay.
// Owns its listener and the readers' sockets; event thread only.
#include <memory>
#include <string>
#include <vector>

#include "outputs/Output.h"
#include "outputs/OutputsConfig.h"
#include "platform/Platform.h"

namespace tavrik {

class TextServer final : public Output, private SocketEvents {
 public:
  static constexpr size_t kMaxReaders = 8;
  // A reader with this many bytes unsent skips the next receipts. Well above
  // what one read of the source can bring at once, so that only a reader
  // that falls behind skips.
  static constexpr int32_t kMaxUnsentBytes = 262144;

  TextServer(Platform& platform, TextServerConfig config);
  ~TextServer() override;

  void Start() override;
  void Stop() override;
  void Deliver(const ReceiptRecord& frame) override;
  const std::string& Name() const override { return name_; }
  OutputCounters Counters() const override;
  size_t ReaderCount() const;

 private:
  class ReaderEvents;
  struct Reader {
    std::unique_ptr<ReaderEvents> events;  // declared first: the socket goes first
    std::unique_ptr<Socket> socket;
    int32_t unsentBytes = 0;
  };

  void OnConnectionRequest(int32_t requestId) override;
  void OnError(int number, const std::string& description) override;
  void OnReaderData(Reader& reader);
  void OnReaderGone(Reader& reader, const std::string& reason);

  Platform& platform_;
  const TextServerConfig config_;
  const std::string name_;
  std::unique_ptr<Socket> listener_;
  std::vector<Reader> readers_;
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  std::string text_;    // scratch
  std::string unread_;  // scratch
};

}  // namespace tavrik
