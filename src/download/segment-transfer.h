// The segment threads: claim a range, fetch it, write it in place.
#pragma once

#include <cstdint>
#include <string_view>

#include "download/download-task.h"
#include "download/range-plan.h"

namespace tessaly {

class HttpRequestObject;

inline constexpr int kRangeAttempts = 3;

// The header lines of a range request, in the order they go on the wire
// (after Host).
inline constexpr std::string_view kRangeAccept = "*/*";
inline constexpr std::string_view kRangeAcceptLanguage = "zh-cn";
inline constexpr std::string_view kRangeAcceptEncoding = "gzip, deflate";
inline constexpr std::string_view kRangeUserAgent =
    "Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)";

// Thread entry of segment thread `number` (1-based). The manager has already
// counted it in runningSegments; it counts itself out when it ends.
void SegmentWorker(DownloadTaskState& task, std::int32_t number);

// The first unclaimed range, or "" when none is left. Holds rangeLock for 10 ms
// per claim, which paces the whole download.
Text ClaimNextRange(DownloadTaskState& task);

// Up to three attempts; the body is written only when the answer is exactly
// the range asked for. A range that never arrives counts in lostRanges.
void FetchRange(DownloadTaskState& task, const Text& range);
// The same on the caller's request object.
void FetchRange(DownloadTaskState& task, const Text& range, HttpRequestObject& request);

// A range answer is usable only as 206 with a Content-Range naming exactly the
// asked bytes and the probed total, and a body of exactly that length. libcurl
// hands over a 200 with the whole file without complaint, so we check.
bool AcceptRangeAnswer(const ByteRange& asked, std::int64_t totalSize, int status,
                       std::string_view contentRange, std::size_t bodyLength);

}  // namespace tessaly
