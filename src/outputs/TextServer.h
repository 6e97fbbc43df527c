#pragma once
// A plain TCP server that streams every receipt's text to each connected
// reader (at most kMaxReaders). A reader still busy with earlier receipts
// skips whole receipts, so a slow one never holds up the others or the relay.
// A reader that ends its side of the connection still gets every receipt
// until it closes. A port it cannot listen on is tried again (see
// RetryingListener). Owns its listener and the readers' sockets; event
// thread only.
#include <memory>
#include <string>
#include <vector>

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
    bool ended = false;  // the reader closed its side
  };

  Reader* FreePlace();
  void OnConnectionRequest(int32_t requestId);
  void OnReaderData(Reader& reader);
  void OnReaderGone(Reader& reader, const std::string& reason);

  Platform& platform_;
  const TextServerConfig config_;
  const std::string name_;
  TextListener listener_;
  std::vector<Reader> readers_;
  uint64_t sent_ = 0;
  uint64_t dropped_ = 0;
  std::string text_;    // scratch
  std::string unread_;  // scratch
};

}  // namespace tavrik
