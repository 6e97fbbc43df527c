#pragma once
// Receiver of every finished frame, called on the event thread right after
// the frame's part went to the clients. Must not keep the record's views.
#include "frames/FrameRecord.h"

namespace tavrik {

class FrameListener {
 public:
  virtual ~FrameListener() = default;
  virtual void OnFrame(const FrameRecord& frame) = 0;
};

}  // namespace tavrik
