#include "job/text-document-download.h"

#include <chrono>
#include <thread>

#include "download/remote-file-name.h"
#include "download/segmented-downloader.h"
#include "job/job-gate.h"
#include "support/file-system.h"

namespace tessaly {

Text TextDocumentFolder() {
  return JoinFolderAndName(ProgramDirectory(), Text(texts::kTextFileRoot)) + Text(kPathSeparator);
}

Text RenamedTextDocumentPath(const Text& downloadedPath, const Text& title) {
  const std::size_t slash = downloadedPath.rfind('/');
  const Text folder = slash == Text::npos ? Text() : downloadedPath.substr(0, slash + 1);
  return folder + CleanFileName(title) + ".txt";
}

void DownloadTextDocument(JobContext& ctx, const Text& textDocumentAddress,
                          DownloadTaskState& task) {
  JobState& state = ctx.state;
  WindowModel& window = ctx.window;
  const Text folder = TextDocumentFolder();
  // A folder that cannot be made shows up as a failed download.
  EnsureDirectory(folder);

  SegmentedDownloader downloader(task);
  downloader.Configure({textDocumentAddress, folder, state.threadCount});
  downloader.Start();

  DownloadStatus status;
  for (;;) {
    status = downloader.QueryStatus();
    if (status.phase == DownloadPhase::Done || status.phase == DownloadPhase::Failed) break;
    const bool shown = UnlessStopped(state, [&] {
      state.progressPercent = status.ProgressPercent();
      window.SetText(Control::标签4,
                     Text(texts::kDownloaded) + IntegerToText(state.progressPercent) + "%");
    });
    if (!shown) return;  // the downloader's destructor stops the transfer
    window.ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  if (status.phase == DownloadPhase::Failed) {
    const Text reason = DownloadFailureText(status.failure);
    {
      std::lock_guard lock(state.resultMutex);
      state.result.downloadFailureReason = reason;
    }
    UnlessStopped(state, [&] { window.SetText(Control::编辑框1, reason); });
    return;
  }

  UnlessStopped(state, [&] {
    state.progressPercent = status.ProgressPercent();
    window.SetText(Control::标签4, Text(texts::kOpening));
    const Text renamed = RenamedTextDocumentPath(status.filePath, state.title);
    // Refused when a file of that name exists: the download keeps the server's
    // name and the older file of the title is the one opened.
    RenameToFullPath(status.filePath, renamed);
    window.OpenInShell(renamed);
  });
}

void DownloadTextDocument(JobContext& ctx, const Text& textDocumentAddress) {
  DownloadTaskState task;
  DownloadTextDocument(ctx, textDocumentAddress, task);
}

}  // namespace tessaly
