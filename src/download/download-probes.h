// What the server is asked before a download is planned.
#pragma once

#include <cstdint>

#include "download/download-task.h"

namespace tessaly {

inline constexpr int kHeadProbeSeconds = 5;

// A HEAD for the first two bytes answered with 206.
bool ProbeRangeSupport(const Text& address);

// The Content-Length of a 200 answer to HEAD; -1 when there is no usable size,
// -2 when no answer came within `seconds`.
std::int64_t ProbeContentLength(const Text& address, int seconds = kHeadProbeSeconds);

// Sets the task's totalSize and fileName; true when both are usable.
bool ProbeSizeAndName(DownloadTaskState& task, const Text& address);

}  // namespace tessaly
