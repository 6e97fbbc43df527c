#include "outputs/TextServer.h"

#include "log/Log.h"
#include "outputs/ReceiptFormat.h"
#include "receipt/ReceiptText.h"

namespace tavrik {
namespace {

// Connected, or half-closed by the reader, which still reads.
bool Reading(const Socket& socket) {
  const SocketState state = socket.State();
  return state == SocketState::kConnected || state == SocketState::kClosing;
}

}  // namespace

class TextServer::ReaderEvents final : public SocketEvents {
 public:
  ReaderEvents(TextServer& server, Reader& reader) : server_(server), reader_(reader) {}
  void OnData() override { server_.OnReaderData(reader_); }
  void OnSendProgress(int32_t /*bytesSent*/, int32_t bytesRemaining) override { reader_.unsentBytes = bytesRemaining; }
  void OnSendComplete() override { reader_.unsentBytes = 0; }
  // The reader may have ended its side only, and still reads: it stays until
  // a send finds it gone.
  void OnClosed() override { reader_.ended = true; }
  void OnError(int /*number*/, const std::string& description) override {
    server_.OnReaderGone(reader_, reader_.ended ? "closed by the reader" : description);
  }

 private:
  TextServer& server_;
  Reader& reader_;
};

TextServer::TextServer(Platform& platform, TextServerConfig config)
    : platform_(platform),
      config_(std::move(config)),
      name_(config_.address.empty() ? "Text server port " + std::to_string(config_.port)
                                    : "Text server " + config_.address + ":" + std::to_string(config_.port)),
      listener_(platform, name_, [this](int32_t requestId) { OnConnectionRequest(requestId); }),
      readers_(kMaxReaders) {
  for (Reader& reader : readers_) {
    reader.events = std::make_unique<ReaderEvents>(*this, reader);
    reader.socket = platform.CreateSocket();
    reader.socket->SetEvents(reader.events.get());
  }
}

TextServer::~TextServer() {
  for (Reader& reader : readers_) reader.socket->SetEvents(nullptr);
}

void TextServer::Start() { listener_.Listen(config_.address, config_.port); }

void TextServer::Stop() {
  try {
    listener_.Close();
    for (Reader& reader : readers_) reader.socket->Close();
  } catch (const std::exception&) {
  }
}

// A reader that ended its side may be gone for good, unnoticed until a send:
// with every place taken, it gives its place up to a new one.
TextServer::Reader* TextServer::FreePlace() {
  for (Reader& reader : readers_) {
    if (reader.socket->State() == SocketState::kClosed) return &reader;
  }
  for (Reader& reader : readers_) {
    if (!reader.ended) continue;
    OnReaderGone(reader, "closed by the reader");
    return &reader;
  }
  return nullptr;
}

void TextServer::OnConnectionRequest(int32_t requestId) {
  Reader* const reader = FreePlace();
  if (!reader) {
    // Every place taken: the request is closed when this handler returns.
    Log(LogLevel::kError, name_ + ": reader refused, " + std::to_string(kMaxReaders) + " connected already.");
    return;
  }
  try {
    reader->socket->Accept(requestId);
    reader->unsentBytes = 0;
    reader->ended = false;
    Log(LogLevel::kError, name_ + ": reader " + reader->socket->RemoteHost() + " connected.");
  } catch (const std::exception& e) {
    Log(LogLevel::kError, name_ + ": cannot accept a reader: " + e.what());
  }
}

void TextServer::OnReaderData(Reader& reader) {
  try {
    reader.socket->Read(unread_);  // readers have nothing to say
  } catch (const std::exception&) {
  }
}

void TextServer::OnReaderGone(Reader& reader, const std::string& reason) {
  Log(LogLevel::kError, name_ + ": reader " + reader.socket->RemoteHost() + " disconnected: " + reason);
  try {
    reader.socket->Close();
  } catch (const std::exception&) {
  }
}

void TextServer::Deliver(const ReceiptRecord& frame) {
  if (!frame.text) return;
  FormatReceipt(frame.text->text, config_.format, text_);
  if (text_.empty()) return;
  Payload receipt;  // made once, shared by every reader
  for (Reader& reader : readers_) {
    if (!Reading(*reader.socket)) continue;
    if (reader.unsentBytes >= kMaxUnsentBytes) {
      ++dropped_;
      continue;
    }
    if (!receipt) receipt = MakePayload(text_);
    try {
      reader.socket->Send(receipt);
      reader.unsentBytes += static_cast<int32_t>(receipt.size());
      ++sent_;
    } catch (const std::exception& e) {
      OnReaderGone(reader, e.what());
    }
  }
}

size_t TextServer::ReaderCount() const {
  size_t count = 0;
  for (const Reader& reader : readers_) count += Reading(*reader.socket) ? 1 : 0;
  return count;
}

OutputCounters TextServer::Counters() const {
  return {listener_.IsListening(), 0, sent_, dropped_};
}

}  // namespace tavrik
