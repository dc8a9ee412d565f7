#include "download/download-task.h"

#include "download/segmented-downloader.h"

namespace tessaly {

Text DownloadFailureText(DownloadFailure failure) {
  switch (failure) {
    case DownloadFailure::None:
      return "";
    case DownloadFailure::NoRangeSupport:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xB7\xFE\xCE\xF1\xC6\xF7\xB2\xBB\xD6\xA7\xB3"
             "\xD6\xB7\xD6\xB6\xCE\xCF\xC2\xD4\xD8";  // 下载失败：服务器不支持分段下载
    case DownloadFailure::NoSize:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xB7\xFE\xCE\xF1\xC6\xF7\xC3\xBB\xD3\xD0\xB8"
             "\xF8\xB3\xF6\xCE\xC4\xBC\xFE\xB4\xF3\xD0\xA1";  // 下载失败：服务器没有给出文件大小
    case DownloadFailure::SizeTimedOut:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xB7\xFE\xCE\xF1\xC6\xF7\xC3\xBB\xD3\xD0\xBC"
             "\xB0\xCA\xB1\xBB\xD8\xB4\xF0\xCE\xC4\xBC\xFE\xB4\xF3\xD0\xA1";  // 下载失败：服务器没有及时回答文件大小
    case DownloadFailure::NoFileName:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xB5\xC3\xB2\xBB\xB5\xBD\xCE\xC4\xBC\xFE\xC3"
             "\xFB";  // 下载失败：得不到文件名
    case DownloadFailure::WorkFile:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xCE\xDE\xB7\xA8\xBD\xA8\xC1\xA2\xC1\xD9\xCA"
             "\xB1\xCE\xC4\xBC\xFE";  // 下载失败：无法建立临时文件
    case DownloadFailure::LostRanges:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xD3\xD0\xB7\xD6\xB6\xCE\xC3\xBB\xD3\xD0\xCD"
             "\xEA\xD5\xFB\xCA\xD5\xB5\xBD";  // 下载失败：有分段没有完整收到
    case DownloadFailure::MoveFailed:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xCE\xDE\xB7\xA8\xB0\xD1\xCE\xC4\xBC\xFE\xD2"
             "\xC6\xB5\xBD\xC4\xBF\xB1\xEA\xCE\xBB\xD6\xC3";  // 下载失败：无法把文件移到目标位置
    case DownloadFailure::Cancelled:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xCF\xC2\xD4\xD8\xD2\xD1\xC8\xA1\xCF\xFB";  // 下载失败：下载已取消
    case DownloadFailure::Aborted:
      return "\xCF\xC2\xD4\xD8\xCA\xA7\xB0\xDC\xA3\xBA\xCF\xC2\xD4\xD8\xD2\xD1\xD6\xD0\xD6\xB9";  // 下载失败：下载已中止
  }
  return "";
}

void DownloadStatus::SetSizes(std::int64_t total, std::int64_t done) {
  totalSize64_ = total;
  bytesDone64_ = done;
  totalSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(total & 0xFFFFFFFF));
  bytesDone = static_cast<std::int32_t>(static_cast<std::uint32_t>(done & 0xFFFFFFFF));
}

std::int32_t DownloadStatus::ProgressPercent() const {
  if (totalSize64_ <= 0 || bytesDone64_ <= 0) return 0;
  const double percent =
      static_cast<double>(bytesDone64_) / static_cast<double>(totalSize64_) * 100.0;
  return static_cast<std::int32_t>(RoundHalfUp(percent));
}

DownloadTaskState::~DownloadTaskState() { StopDownloadThreads(*this); }

bool WaitWhileHeld(DownloadTaskState& task) {
  if (task.holding.load()) {
    std::unique_lock lock(task.gateLock);
    task.gateChanged.wait(lock, [&] { return !task.holding.load() || task.stopRequested.load(); });
  }
  return !task.stopRequested.load();
}

Text WorkFilePath(const Text& finalPath) { return finalPath + ".tmp"; }

Text JoinFolderAndName(const Text& folder, const Text& name) {
  Text joined = folder + "/" + name;
  while (joined.find("//") != Text::npos) joined = ReplaceText(joined, "//", "/");
  return joined;
}

}  // namespace tessaly
