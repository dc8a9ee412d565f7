#include "download/download-probes.h"

#include <charconv>

#include "download/remote-file-name.h"
#include "web/request-object.h"

namespace tessaly {

namespace {

std::int64_t ParseContentLength(const Text& value) {
  if (value.empty()) return -1;
  std::int64_t size = -1;
  const auto result = std::from_chars(value.data(), value.data() + value.size(), size);
  if (result.ec != std::errc() || result.ptr != value.data() + value.size() || size < 0) {
    return -1;
  }
  return size;
}

}  // namespace

bool ProbeRangeSupport(const Text& address) {
  HttpRequestObject request;
  if (!request.Open("HEAD", address, false)) return false;
  request.SetRequestHeader("Range", "bytes=0-1");
  request.Send();
  return request.Status() == 206;
}

std::int64_t ProbeContentLength(const Text& address, int seconds) {
  HttpRequestObject request;
  if (!request.Open("HEAD", address, true)) return -1;
  request.Send();
  if (!request.WaitForResponse(seconds)) return -2;
  if (request.Status() != 200) return -1;
  return ParseContentLength(request.GetResponseHeader("Content-Length"));
}

Text ProbeFileName(const Text& address, int seconds) {
  HttpRequestObject request;
  if (!request.Open("HEAD", address, true)) return "";
  request.Send();
  if (!request.WaitForResponse(seconds)) return "";
  const Text quoted = DispositionFileName(request.GetResponseHeader("Content-Disposition"));
  if (!quoted.empty()) return CleanFileName(DecodeFileName(quoted));
  return AddressFileName(address);
}

Text ProbeFileName(const Text& address) { return ProbeFileName(address, kHeadProbeSeconds); }

bool ProbeSizeAndName(DownloadTaskState& task, const Text& address) {
  task.totalSize = ProbeContentLength(address, task.headProbeSeconds);
  if (task.totalSize < 0) return false;
  task.fileName = ProbeFileName(address, task.headProbeSeconds);
  return !task.fileName.empty();
}

}  // namespace tessaly
