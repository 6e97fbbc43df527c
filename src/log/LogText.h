#pragma once
// How log lines write values.
#include <string>

namespace tavrik {

inline std::string BoolText(bool value) {
  return value ? "True" : "False";
}

}  // namespace tavrik
