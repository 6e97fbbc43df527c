// Preloaded into the relay by the MQTT test: name lookups of the host
// "slowbroker" take 3 s, as with a slow DNS server. The first one then fails
// for the time being, the later ones find 127.0.0.1. Every other lookup is
// left to the C library.
#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {
std::atomic<int> slowLookups{0};
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
  using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
  if (node != nullptr && std::strcmp(node, "slowbroker") == 0) {
    sleep(3);
    if (slowLookups++ == 0) return EAI_AGAIN;
    node = "127.0.0.1";
  }
  return next(node, service, hints, result);
}
