#pragma once
// The viewer page of the web port: one self-contained HTML document (style
// and script inline, nothing fetched from elsewhere), so that it works on a
// counter screen without internet access.
#include <string_view>

namespace tavrik {

std::string_view ViewerPage();

}  // namespace tavrik
