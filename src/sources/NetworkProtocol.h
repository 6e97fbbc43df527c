#pragma once

namespace tavrik {

enum class NetworkProtocol { kTcp, kUdp };

}  // namespace tavrik
