// A whole download against the local file server, measured against the floor
// that the 10 ms pause per claim sets (about 100 ranges a second).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "download/range-plan.h"
#include "download/segmented-downloader.h"
#include "file-server.h"
#include "support/file-system.h"
#include "test-server.h"

namespace tessaly {
namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double PeakMemoryMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Download(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto threads = static_cast<std::int32_t>(state.range(1));
  sim::TestServer server{sim::TestServer::Options{true, false}};
  if (!server.Start()) {
    state.SkipWithError("no local server");
    return;
  }
  sim::FileServer files(server);
  sim::ServedFile file;
  file.content.resize(size);
  for (std::size_t i = 0; i < size; ++i) file.content[i] = static_cast<char>(i * 7 + 1);
  const std::string address = files.Serve("/bench/x.txt", std::move(file));
  const Text folder = MakePrivateTempDirectory("tessaly-bench-");

  const double ranges = static_cast<double>(
      BuildRangePlan(static_cast<std::int64_t>(size), kDefaultBlockSize).size());
  const double floorSeconds = ranges * 0.010;
  double wall = 0;
  double cpu = 0;
  bool ok = true;
  for (auto _ : state) {
    DownloadTaskState task;
    SegmentedDownloader downloader(task);
    downloader.Configure({address, folder, threads});
    const double cpuBefore = CpuSeconds();
    const auto begun = std::chrono::steady_clock::now();
    downloader.Start();
    DownloadStatus status = downloader.QueryStatus();
    while (status.phase != DownloadPhase::Done && status.phase != DownloadPhase::Failed) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      status = downloader.QueryStatus();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    cpu += CpuSeconds() - cpuBefore;
    wall += seconds;
    state.SetIterationTime(seconds);
    ok = ok && status.phase == DownloadPhase::Done &&
         status.BytesDone64() == static_cast<std::int64_t>(size);
    DeleteFile(status.filePath);
  }
  if (!ok) state.SkipWithError("download did not complete");
  const double n = static_cast<double>(state.iterations());
  state.counters["floor_s"] = floorSeconds;
  state.counters["vs_floor"] = wall / n / floorSeconds;
  // CPU of the whole process, the in-process server included.
  state.counters["cpu_pct"] = cpu / wall * 100.0;
  state.counters["peak_MiB"] = PeakMemoryMiB();
  state.SetBytesProcessed(static_cast<std::int64_t>(size) * state.iterations());
  server.Stop();
  std::error_code ignored;
  std::filesystem::remove_all(ToSystemPath(folder), ignored);
}

BENCHMARK(BM_Download)
    ->ArgNames({"bytes", "threads"})
    ->Args({1 << 20, 1})
    ->Args({1 << 20, 8})
    ->Args({1 << 20, 20})
    ->Args({10 << 20, 1})
    ->Args({10 << 20, 8})
    ->Args({10 << 20, 20})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
