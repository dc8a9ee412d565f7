// The byte ranges a download is fetched in.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/text.h"

namespace tessaly {

inline constexpr std::int64_t kDefaultBlockSize = 10240;

// One range text per block: "start-end" (inclusive), the last one open
// ("start-") so the server sends whatever follows. Sizes up to one block give
// the single range "0-". Computed in 64-bit integers, exact for every size.
TextList BuildRangePlan(std::int64_t totalSize, std::int64_t blockSize);

// A range text read back. `last` is -1 for the open range.
struct ByteRange {
  std::int64_t first = 0;
  std::int64_t last = -1;
  bool IsOpen() const { return last < 0; }
};

// False for anything that is not "digits-" or "digits-digits" with last >= first.
bool ParseRange(std::string_view range, ByteRange& out);

// Bytes the range covers in a file of `totalSize`: the open range runs to the end.
std::int64_t RangeLength(const ByteRange& range, std::int64_t totalSize);

}  // namespace tessaly
