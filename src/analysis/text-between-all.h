// Every text standing between a left marker and the next right marker.
#pragma once

#include <string_view>

#include "support/text.h"

namespace tessaly {

// Markers match without regard to ASCII letter case; items are trimmed of
// half- and full-width spaces and empty items are left out.
TextList TextBetweenAll(std::string_view source, std::string_view left, std::string_view right);

}  // namespace tessaly
