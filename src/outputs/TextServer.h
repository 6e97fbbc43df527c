#pragma once
// A plain TCP server that streams every receipt's text to each connected
// reader (at most kMaxReaders). A reader still busy with earlier receipts
// skips whole receipts, so a slow one never holds up the others or the relay.
// A reader that ends its side of the connection still gets every receipt
// until it closes. A port it cannot listen on is tried again (see
// RetryingListener). Owns its listener and the readers' sockets; event
// thread only.
#include <string>

#include "connections/ConnectionSlots.h"
#include "outputs/Output.h"
#include "outputs/OutputsConfig.h"
#include "outputs/TextListener.h"
#include "platform/Platform.h"

namespace tavrik {

class TextServer final : public Output {
 public:
  static constexpr size_t kMaxReaders = 8;
  // A reader with this many bytes unsent skips the next receipts. Well above
  // what one read of the source can bring at once, so that only a reader
  // that falls behind skips.
  static constexpr int32_t kMaxUnsentBytes = 262144;

  TextServer(Platform& platform, TextServerConfig config);

  void Start() override;
  void Stop() override;
  void Deliver(const ReceiptRecord& frame) override;
  const std::string& Name() const override { return name_; }
  OutputCounters Counters() const override;
  size_t ReaderCount() const;

 private:
  struct Reader {
    bool ended = false;  // the reader closed its side
  };
  friend class ConnectionSlots<TextServer, Reader>;

  int FreePlace();
  void OnConnectionRequest(int32_t requestId);
  void OnSlotData(int index);
  // The reader may have ended its side only, and still reads: it stays until
  // a send finds it gone.
  void OnSlotClosed(int index) { readers_[index].ended = true; }
  void OnSlotError(int index, int number, const std::string& description);
  void OnSlotSendDrained(int /*index*/) {}  // the unsent bytes are all it needs
  void OnReaderGone(int index, const std::string& reason);

  const TextServerConfig config_;
  const std::string name_;
  TextListener listener_;
  ConnectionSlots<TextServer, Reader> readers_;
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  std::string text_;    // scratch
  std::string unread_;  // scratch
};

}  // namespace tavrik
