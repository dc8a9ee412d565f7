// The file server of a plain-text document, on a TestServer: HEAD and ranged
// GET over a file held in memory, with the faults a download must survive
// scripted per file.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "test-server.h"

namespace tessaly::sim {

struct ServedFile {
  std::string content;
  // The whole Content-Disposition value; none sent when empty.
  std::string contentDisposition;

  // false: every request, the range probe included, gets 200 and the whole file.
  bool rangeSupport = true;
  // false: HEAD without a Range gets 200 and no Content-Length.
  bool contentLength = true;
  // HEAD without a Range is never answered.
  bool stallSizeProbe = false;

  enum class RangeFault {
    kNone,
    kWholeFile200,  // ranged GETs get 200 and the whole file (the probe still 206)
    kShifted,       // 206 with the bytes (and Content-Range) from one byte later
    kShortBody,     // 206 with the right Content-Range but the last byte missing
  };
  RangeFault rangeFault = RangeFault::kNone;
  // GET ranges starting at these offsets are never answered the first time /
  // never at all.
  std::set<std::int64_t> stallOnce;
  std::set<std::int64_t> stallAlways;
};

class FileServer {
 public:
  // Registers nothing yet; the server must outlive this object's routes.
  explicit FileServer(TestServer& server) : server_(server) {}

  // Serves `file` at `path` (query ignored) and returns its http address.
  std::string Serve(const std::string& path, ServedFile file);

  // The requests recorded for `path`, in arrival order.
  std::vector<RecordedRequest> RequestsFor(const std::string& path) const;

 private:
  TestServer& server_;
};

// The reply for one request to `file`; exposed so other simulators can serve
// files the same way. `served` keeps track of stall-once ranges.
struct FileReplyState {
  std::mutex mutex;
  std::set<std::int64_t> stalledOnce;
};
ScriptedReply FileReply(const ServedFile& file, FileReplyState& state,
                        const RecordedRequest& request);

}  // namespace tessaly::sim
