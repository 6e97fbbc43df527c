#pragma once
// This machine's host name, as links to its web port name it; "localhost"
// when the system gives none.
#include <string>

namespace tavrik {

std::string LocalHostName();

}  // namespace tavrik
