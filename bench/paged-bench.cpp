// Paged documents on the in-process simulator, no added latency: whole jobs
// against the pacing floor, the per-page cost of a large page, peak memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "doc-service.h"
#include "job/job-state.h"
#include "pagetext/page-decode.h"
#include "pagetext/page-layout.h"
#include "support/file-system.h"
#include "ui/extract-button.h"
#include "web/web-settings.h"

namespace {

using namespace tessaly;

sim::DocService& Service() {
  static sim::DocService service;
  static const bool started = [] {
    const bool ok = service.Start();
    service.ExportEnvironment();
    ReloadWebSettingsForTesting();
    return ok;
  }();
  (void)started;
  return service;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The pauses the job cannot avoid: twenty starts 100 ms apart before the wait
// begins, and every claim (one per page plus each worker's last, empty one)
// holding the lock for 10 ms.
double PacingFloorSeconds(int pages, int threads) {
  const int workers = std::min(pages, threads);
  return std::max(workers * 0.100, (pages + workers) * 0.010);
}

// range(1) 1: the page contents over plain http, to show what TLS costs.
void BM_PagedJob(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const int threads = 20;
  const bool plainHttp = state.range(1) == 1;
  const std::string id = (plainHttp ? "plain" : "gen") + std::to_string(pages);
  Service();
  if (plainHttp) {
    sim::SimDocument document = sim::GeneratedDocument(id, pages);
    document.contentScheme = "http";
    Service().AddDocument(document);
  }
  const Text expected = sim::GeneratedDocumentText(id, pages, false);
  double wall = 0;
  long maxRssKb = 0;
  for (auto _ : state) {
    JobState job;
    WindowModel window;
    JobContext ctx{job, window};
    window.FillThreadCountBox();
    window.SetText(Control::编辑框2, sim::DocService::ViewAddress(id));
    window.SetSelectedIndex(Control::组合框1, threads - 1);
    const auto start = std::chrono::steady_clock::now();
    ClickExtractButton(ctx);
    WaitForJobThread(ctx);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    wall += seconds;
    state.SetIterationTime(seconds);
    if (window.GetText(Control::编辑框1) != expected) state.SkipWithError("wrong text");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    maxRssKb = usage.ru_maxrss;
  }
  const double floor = PacingFloorSeconds(pages, threads);
  state.counters["floor_s"] = floor;
  state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
  state.counters["over_floor_pct"] =
      (wall / static_cast<double>(state.iterations()) / floor - 1.0) * 100.0;
  state.counters["peak_rss_MiB"] = static_cast<double>(maxRssKb) / 1024.0;
}
BENCHMARK(BM_PagedJob)
    ->Args({20, 0})
    ->Args({200, 0})
    ->Args({1000, 0})
    ->Args({20, 1})
    ->Args({200, 1})
    ->Args({1000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Cutting, layout and the page file of a 2000-item page, no network.
void BM_LargePageOffline(benchmark::State& state) {
  const std::string content = sim::PageContentJson(sim::LargePage(2000), 1);
  const Text folder = MakePrivateTempDirectory("paged-bench-");
  const Text path = folder + "page.txt";
  double cpu = 0;
  for (auto _ : state) {
    const double before = ThreadCpuSeconds();
    const Text text = LayoutPageItems(content);
    const Text file = PageFileText(text, PageTextOptions{true, false});
    WriteWholeFile(path, file);
    cpu += ThreadCpuSeconds() - before;
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["cpu_ms_per_page"] = cpu / static_cast<double>(state.iterations()) * 1000.0;
  DeleteFile(path);
  RemoveDirectory(folder);
}
BENCHMARK(BM_LargePageOffline)->Unit(benchmark::kMicrosecond);

// The same page through DecodePage: the fetch over loopback included, https
// (range 0) or http (range 1).
void BM_LargePageDecode(benchmark::State& state) {
  sim::SimDocument document;
  document.id = state.range(0) == 1 ? "large2000plain" : "large2000";
  if (state.range(0) == 1) document.contentScheme = "http";
  document.pages.push_back(sim::LargePage(2000));
  Service().AddDocument(document);
  JobState job;
  WindowModel window;
  JobContext ctx{job, window};
  job.PageAddressList = {sim::DocService::ContentAddress(document, 1)};
  job.pageFolder = MakePrivateTempDirectory("paged-bench-");
  job.progressLock = std::make_unique<std::mutex>();
  job.deleteBlankLines = true;
  double cpu = 0;
  for (auto _ : state) {
    job.pageCount = 1;
    job.pagesDone = 0;
    const double before = ThreadCpuSeconds();
    if (DecodePage(ctx, 1, PageFetchPolicy{}) != PageOutcome::kText)
      state.SkipWithError("page not read");
    cpu += ThreadCpuSeconds() - before;
  }
  state.counters["cpu_ms_per_page"] = cpu / static_cast<double>(state.iterations()) * 1000.0;
  DeleteFile(PageFilePath(job, 1));
  RemoveDirectory(job.pageFolder);
}
BENCHMARK(BM_LargePageDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
