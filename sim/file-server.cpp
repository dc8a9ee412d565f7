#include "file-server.h"

#include <charconv>

namespace tessaly::sim {

namespace {

struct ParsedRange {
  bool present = false;
  bool valid = false;
  std::int64_t first = 0;
  std::int64_t last = -1;  // -1: open
};

bool ParseNumber(std::string_view digits, std::int64_t& value) {
  if (digits.empty()) return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  return std::from_chars(digits.data(), digits.data() + digits.size(), value).ec == std::errc();
}

ParsedRange ParseRangeHeader(const RecordedRequest& request) {
  ParsedRange range;
  if (!request.HasHeader("Range")) return range;
  range.present = true;
  const std::string header = request.Header("Range");
  std::string_view value = header;
  constexpr std::string_view kUnit = "bytes=";
  if (value.substr(0, kUnit.size()) != kUnit) return range;
  value.remove_prefix(kUnit.size());
  const std::size_t dash = value.find('-');
  if (dash == std::string_view::npos || !ParseNumber(value.substr(0, dash), range.first)) {
    return range;
  }
  const std::string_view tail = value.substr(dash + 1);
  if (!tail.empty() && !ParseNumber(tail, range.last)) return range;
  range.valid = range.last < 0 || range.last >= range.first;
  return range;
}

ScriptedReply WithLength(ScriptedReply reply, std::size_t length, bool head) {
  reply.headers.emplace_back("Content-Length", std::to_string(length));
  reply.addContentLength = false;
  if (head) reply.body.clear();
  return reply;
}

}  // namespace

ScriptedReply FileReply(const ServedFile& file, FileReplyState& state,
                        const RecordedRequest& request) {
  const bool head = request.method == "HEAD";
  const ParsedRange range = ParseRangeHeader(request);
  const auto size = static_cast<std::int64_t>(file.content.size());

  // Built only when sent: copying a large file per range request would cost
  // more than the transfer being measured.
  auto whole = [&file, head] {
    ScriptedReply reply;
    reply.status = 200;
    if (!head) reply.body = file.content;
    if (!file.contentDisposition.empty()) {
      reply.headers.emplace_back("Content-Disposition", file.contentDisposition);
    }
    return reply;
  };

  if (!range.present) {
    if (head && file.stallSizeProbe) return ScriptedReply::Stall();
    if (head && !file.contentLength) {
      ScriptedReply reply = whole();
      reply.addContentLength = false;
      return reply;
    }
    return WithLength(whole(), file.content.size(), head);
  }
  if (!file.rangeSupport) return WithLength(whole(), file.content.size(), head);
  if (!head) {
    {
      std::lock_guard lock(state.mutex);
      if (file.stallAlways.count(range.first) != 0) return ScriptedReply::Stall();
      if (file.stallOnce.count(range.first) != 0 && state.stalledOnce.insert(range.first).second) {
        return ScriptedReply::Stall();
      }
    }
    if (file.rangeFault == ServedFile::RangeFault::kWholeFile200) {
      return WithLength(whole(), file.content.size(), false);
    }
  }
  if (!range.valid || range.first >= size) {
    ScriptedReply refused = ScriptedReply::Status(416);
    refused.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
    return refused;
  }

  std::int64_t first = range.first;
  std::int64_t last = range.last < 0 || range.last >= size ? size - 1 : range.last;
  if (!head && file.rangeFault == ServedFile::RangeFault::kShifted && first + 1 < size) {
    ++first;
    if (last + 1 < size) ++last;
  }
  std::string body = file.content.substr(static_cast<std::size_t>(first),
                                         static_cast<std::size_t>(last - first + 1));
  if (!head && file.rangeFault == ServedFile::RangeFault::kShortBody && !body.empty()) {
    body.pop_back();
  }
  ScriptedReply partial;
  partial.status = 206;
  partial.headers.emplace_back("Accept-Ranges", "bytes");
  partial.headers.emplace_back(
      "Content-Range",
      "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size));
  if (!file.contentDisposition.empty()) {
    partial.headers.emplace_back("Content-Disposition", file.contentDisposition);
  }
  const std::size_t length = body.size();
  partial.body = std::move(body);
  return WithLength(std::move(partial), length, head);
}

std::string FileServer::Serve(const std::string& path, ServedFile file) {
  auto served = std::make_shared<const ServedFile>(std::move(file));
  auto state = std::make_shared<FileReplyState>();
  server_.Route(path, [served, state](const RecordedRequest& request) {
    return FileReply(*served, *state, request);
  });
  return server_.HttpBase() + path;
}

std::vector<RecordedRequest> FileServer::RequestsFor(const std::string& path) const {
  std::vector<RecordedRequest> found;
  for (RecordedRequest& request : server_.Requests()) {
    if (request.Path() == path) found.push_back(std::move(request));
  }
  return found;
}

}  // namespace tessaly::sim
