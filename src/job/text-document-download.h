// A plain-text document: its file is fetched by the segmented downloader into
// the output folder beside the program, renamed after the title and opened.
#pragma once

#include <string_view>

#include "download/download-task.h"
#include "job/job-state.h"

namespace tessaly::texts {
inline constexpr std::string_view kDownloaded = "\xD2\xD1\xCC\xE1\xC8\xA1\xA3\xBA";  // 已提取：
inline constexpr std::string_view kOpening = "\xD5\xFD\xD4\xDA\xB4\xF2\xBF\xAA...";  // 正在打开...
// 提取出的文件
inline constexpr std::string_view kTextFileRoot =
    "\xCC\xE1\xC8\xA1\xB3\xF6\xB5\xC4\xCE\xC4\xBC\xFE";
}  // namespace tessaly::texts

namespace tessaly {

// ProgramDirectory() + "/提取出的文件/".
Text TextDocumentFolder();

// The path the downloaded file is renamed to: its folder, the title made safe
// as a file name (it comes from the network), ".txt".
Text RenamedTextDocumentPath(const Text& downloadedPath, const Text& title);

// Downloads on `task`, polling every 100 ms: "已提取：N%" on 标签4, then
// "正在打开...", the rename and the opening. A download that fails ends the
// polling at once: its reason goes to the job's result record and into the
// result box, and nothing is renamed or opened. A job stop aborts the download.
void DownloadTextDocument(JobContext& ctx, const Text& textDocumentAddress,
                          DownloadTaskState& task);

// The same on a task state of its own for this one download.
void DownloadTextDocument(JobContext& ctx, const Text& textDocumentAddress);

}  // namespace tessaly
