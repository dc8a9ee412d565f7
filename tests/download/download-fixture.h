// A local file server, a private output folder and a task state per test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "download/segmented-downloader.h"
#include "file-server.h"
#include "support/file-system.h"
#include "test-server.h"

namespace tessaly::testing {

// Bytes 1..251 repeating: a hole of zeros or a shifted block shows.
inline std::string PatternContent(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(1 + i % 251);
  return content;
}

inline sim::ServedFile File(std::string content) {
  sim::ServedFile file;
  file.content = std::move(content);
  return file;
}

inline const char* PhaseName(DownloadPhase phase) {
  static const char* const kNames[] = {"Idle",       "Running", "Paused", "Resumed",
                                       "Cancelling", "Failed",  "Done"};
  const auto index = static_cast<int>(phase);
  return index >= 0 && index < 7 ? kNames[index] : "?";
}

class DownloadFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    folder_ = MakePrivateTempDirectory("tessaly-download-");
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override {
    server_.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(ToSystemPath(folder_), ignored);
  }

  DownloadRequest Request(const std::string& address, int threads) const {
    DownloadRequest request;
    request.address = address;
    request.targetFolder = folder_;
    request.threadCount = threads;
    return request;
  }

  // Polls until the download has ended (Done or Failed) or `limit` passed.
  static DownloadStatus WaitForEnd(const SegmentedDownloader& downloader,
                                   std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    DownloadStatus status = downloader.QueryStatus();
    while (status.phase != DownloadPhase::Done && status.phase != DownloadPhase::Failed &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      status = downloader.QueryStatus();
    }
    return status;
  }

  DownloadStatus Download(const std::string& address, int threads,
                          std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    SegmentedDownloader downloader(task_);
    downloader.Configure(Request(address, threads));
    downloader.Start();
    return WaitForEnd(downloader, limit);
  }

  // Names of the files left in the output folder, sorted.
  std::vector<std::string> FolderListing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(ToSystemPath(folder_))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  sim::TestServer server_{sim::TestServer::Options{true, false}};
  sim::FileServer files_{server_};
  Text folder_;
  DownloadTaskState task_;
};

}  // namespace tessaly::testing

namespace tessaly {
inline void PrintTo(DownloadPhase phase, std::ostream* out) { *out << testing::PhaseName(phase); }
inline void PrintTo(DownloadFailure failure, std::ostream* out) {
  *out << "failure " << static_cast<int>(failure);
}
}  // namespace tessaly
