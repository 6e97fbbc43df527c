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

TextServer::TextServer(Platform& platform, TextServerConfig config)
    : config_(std::move(config)),
      name_(config_.address.empty() ? "Text server port " + std::to_string(config_.port)
                                    : "Text server " + config_.address + ":" + std::to_string(config_.port)),
      listener_(platform, name_, [this](int32_t requestId) { OnConnectionRequest(requestId); }),
      readers_(platform, *this, kMaxReaders) {
  for (size_t i = 0; i < kMaxReaders; ++i) readers_.Add();
}

void TextServer::Start() { listener_.Listen(config_.address, config_.port); }

void TextServer::Stop() {
  try {
    listener_.Close();
    for (int i = 0; i < readers_.Count(); ++i) readers_.SocketAt(i).Close();
  } catch (const std::exception&) {
  }
}

// A reader that ended its side may be gone for good, unnoticed until a send:
// with every place taken, it gives its place up to a new one.
int TextServer::FreePlace() {
  for (int i = 0; i < readers_.Count(); ++i) {
    if (readers_.SocketAt(i).State() == SocketState::kClosed) return i;
  }
  for (int i = 0; i < readers_.Count(); ++i) {
    if (!readers_[i].ended) continue;
    OnReaderGone(i, "closed by the reader");
    return i;
  }
  return -1;
}

void TextServer::OnConnectionRequest(int32_t requestId) {
  const int index = FreePlace();
  if (index < 0) {
    // Every place taken: the request is closed when this handler returns.
    Log(LogLevel::kError, name_ + ": reader refused, " + std::to_string(kMaxReaders) + " connected already.");
    return;
  }
  try {
    readers_.Accept(index, requestId);
    readers_[index].ended = false;
    Log(LogLevel::kError, name_ + ": reader " + readers_.SocketAt(index).RemoteHost() + " connected.");
  } catch (const std::exception& e) {
    Log(LogLevel::kError, name_ + ": cannot accept a reader: " + e.what());
  }
}

void TextServer::OnSlotData(int index) {
  try {
    readers_.SocketAt(index).Read(unread_);  // readers have nothing to say
  } catch (const std::exception&) {
  }
}

void TextServer::OnSlotError(int index, int /*number*/, const std::string& description) {
  OnReaderGone(index, readers_[index].ended ? "closed by the reader" : description);
}

void TextServer::OnReaderGone(int index, const std::string& reason) {
  Log(LogLevel::kError, name_ + ": reader " + readers_.SocketAt(index).RemoteHost() + " disconnected: " + reason);
  try {
    readers_.SocketAt(index).Close();
  } catch (const std::exception&) {
  }
}

void TextServer::Deliver(const ReceiptRecord& frame) {
  if (!frame.text) return;
  FormatReceipt(frame.text->text, config_.format, text_);
  if (text_.empty()) return;
  Payload receipt;  // made once, shared by every reader
  for (int i = 0; i < readers_.Count(); ++i) {
    if (!Reading(readers_.SocketAt(i))) continue;
    if (readers_.UnsentBytes(i) >= kMaxUnsentBytes) {
      ++dropped_;
      continue;
    }
    if (!receipt) receipt = MakePayload(text_);
    try {
      readers_.Send(i, receipt);
      ++sent_;
    } catch (const std::exception& e) {
      OnReaderGone(i, e.what());
    }
  }
}

size_t TextServer::ReaderCount() const {
  size_t count = 0;
  for (int i = 0; i < readers_.Count(); ++i) count += Reading(readers_.SocketAt(i)) ? 1 : 0;
  return count;
}

OutputCounters TextServer::Counters() const {
  return {listener_.IsListening(), 0, sent_, dropped_};
}

}  // namespace tavrik
