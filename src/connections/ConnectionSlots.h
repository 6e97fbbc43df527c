#pragma once
// The numbered connection slots of a TCP server. Owns each slot's socket and
// the receiver of its events, which hands them to the owner with the slot's
// number; counts the connections accepted into each slot, so that a handler
// can tell that its slot changed hands meanwhile; and keeps each slot's bytes
// handed to the socket and not yet sent, the measure of a slow reader. The
// owner chooses which slot a connection takes and keeps its own state per
// slot in State. Owned by its server; event thread only.
//
// Owner handles, by slot number, OnSlotData(index), OnSlotClosed(index) (the
// peer closed), OnSlotError(index, number, description) and
// OnSlotSendDrained(index) (the unsent bytes went down); it may keep them
// private and befriend ConnectionSlots<Owner, State>. They are called
// directly, not through a virtual call.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace tavrik {

template <typename Owner, typename State>
class ConnectionSlots {
 public:
  // Room for maxSlots is made at once: a slot added later moves none.
  ConnectionSlots(Platform& platform, Owner& owner, size_t maxSlots) : platform_(platform), owner_(owner) {
    slots_.reserve(maxSlots);
  }
  ConnectionSlots(const ConnectionSlots&) = delete;
  ConnectionSlots& operator=(const ConnectionSlots&) = delete;

  int Count() const { return static_cast<int>(slots_.size()); }
  // Slots added from now on get their sockets from make (TLS ones), not
  // from the platform.
  void SetSocketFactory(std::function<std::unique_ptr<Socket>()> make) { makeSocket_ = std::move(make); }
  // A new slot with a closed socket; returns its number.
  int Add() {
    const int index = Count();
    Slot& slot = slots_.emplace_back();
    slot.events = std::make_unique<Events>(*this, index);
    slot.socket = makeSocket_ ? makeSocket_() : platform_.CreateSocket();
    slot.socket->SetEvents(slot.events.get());
    return index;
  }

  State& operator[](int index) { return At(index).state; }
  const State& operator[](int index) const { return At(index).state; }
  Socket& SocketAt(int index) { return *At(index).socket; }
  const Socket& SocketAt(int index) const { return *At(index).socket; }
  // Counts the connections accepted into the slot.
  uint32_t Connection(int index) const { return At(index).connection; }
  int64_t UnsentBytes(int index) const { return At(index).unsentBytes; }

  // The slot's socket takes the request: a new connection, nothing unsent.
  void Accept(int index, int32_t requestId) {
    Slot& slot = At(index);
    ++slot.connection;
    slot.unsentBytes = 0;
    slot.socket->Accept(requestId);
  }
  // Queues the parts on the slot's socket; they count as unsent until the
  // socket reports them sent.
  void Send(int index, std::span<const Payload> parts) {
    Slot& slot = At(index);
    slot.socket->Send(parts);
    for (const Payload& part : parts) slot.unsentBytes += static_cast<int64_t>(part.size());
  }
  void Send(int index, const Payload& part) {
    Slot& slot = At(index);
    slot.socket->Send(part);
    slot.unsentBytes += static_cast<int64_t>(part.size());
  }

 private:
  class Events final : public SocketEvents {
   public:
    Events(ConnectionSlots& slots, int index) : slots_(slots), index_(index) {}
    void OnData() override { slots_.owner_.OnSlotData(index_); }
    void OnSendProgress(int32_t /*bytesSent*/, int32_t bytesRemaining) override { Drained(bytesRemaining); }
    void OnSendComplete() override { Drained(0); }
    void OnClosed() override { slots_.owner_.OnSlotClosed(index_); }
    void OnError(int number, const std::string& description) override {
      slots_.owner_.OnSlotError(index_, number, description);
    }

   private:
    void Drained(int64_t bytesRemaining) {
      slots_.At(index_).unsentBytes = bytesRemaining;
      slots_.owner_.OnSlotSendDrained(index_);
    }

    ConnectionSlots& slots_;
    int index_;
  };
  struct Slot {
    std::unique_ptr<Events> events;  // declared first: the socket goes first
    std::unique_ptr<Socket> socket;
    int64_t unsentBytes = 0;
    uint32_t connection = 0;
    State state;
  };

  Slot& At(int index) { return slots_[static_cast<size_t>(index)]; }
  const Slot& At(int index) const { return slots_[static_cast<size_t>(index)]; }

  Platform& platform_;
  Owner& owner_;
  std::function<std::unique_ptr<Socket>()> makeSocket_;
  std::vector<Slot> slots_;
};

}  // namespace tavrik
