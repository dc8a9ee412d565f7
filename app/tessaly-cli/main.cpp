// tessaly-cli: one job on the window model, without a window.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli-options.h"
#include "cli-progress.h"
#include "job/job-state.h"
#include "job/job-texts.h"
#include "support/codepage.h"
#include "support/file-system.h"
#include "ui/extract-button.h"
#include "ui/stop-job.h"
#include "ui/window-model.h"

namespace {

using namespace tessaly;

int Fail(const std::string& message) {
  std::fprintf(stderr, "tessaly-cli: %s\nTry 'tessaly-cli --help'.\n", message.c_str());
  return 2;
}

void WriteAll(std::FILE* out, const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fflush(out);
}

}  // namespace

int main(int argc, char** argv) {
  cli::CliOptions options;
  std::string error;
  if (!cli::ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), options, error))
    return Fail(error);
  if (options.help) {
    WriteAll(stdout, cli::kUsage);
    return 0;
  }
  if (options.version) {
    WriteAll(stdout, cli::kVersion);
    return 0;
  }

  // Blocked before any thread exists, so only the stop thread below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  const Text directory = options.outputDirectory.empty() ? FromSystemPath(".")
                                                         : FromSystemPath(options.outputDirectory);
  if (!DirectoryExists(directory))
    return Fail("the output folder \"" + options.outputDirectory + "\" does not exist");
  {
    char buffer[4096];
    const std::string absolute = options.outputDirectory.empty()
                                     ? (getcwd(buffer, sizeof buffer) ? buffer : ".")
                                     : options.outputDirectory;
    SetProgramDirectory(FromSystemPath(absolute));
  }

  JobState state;
  WindowModel window;
  JobContext ctx{state, window};
  window.FillThreadCountBox();
  window.SetText(Control::编辑框2, Utf8ToGbk(options.address));
  window.SetSelectedIndex(Control::组合框1, options.threads - 1);
  window.SetChecked(Control::选择框1, !options.keepBlankLines);
  window.SetChecked(Control::选择框2, options.trimLines);
  window.SetChecked(Control::选择框3, options.extractImages);

  cli::ProgressPrinter progress(stderr, isatty(STDERR_FILENO) == 1, options.quiet);
  window.AddObserver([&](const ControlChange& change) { progress.Observe(change); });
  window.SetMessageBoxHandler(
      [&](const Text& text, const Text& title) { progress.MessageBox(text, title); });
  if (!options.open) window.SetOpenHook([](const Text&) {});

  bool interrupted = false;
  std::mutex stopMutex;
  std::thread stopThread([&] {
    int signal = 0;
    if (sigwait(&stopSignals, &signal) != 0) return;
    std::lock_guard lock(stopMutex);
    interrupted = true;
    // The caption says whether a job runs, as in the window.
    if (window.GetText(Control::按钮1) == texts::kStop) ClickExtractButton(ctx);
  });
  stopThread.detach();

  {
    std::lock_guard lock(stopMutex);
    ClickExtractButton(ctx);
  }
  WaitForJobThread(ctx);
  std::lock_guard lock(stopMutex);
  progress.Finish();

  const Text result = window.GetText(Control::编辑框1);
  WriteAll(stdout, options.encoding == cli::Encoding::kGbk ? result : GbkToUtf8(result));

  const std::vector<std::int32_t> failedPages = FailedPages(state);
  for (std::int32_t page : failedPages) {
    std::fprintf(stderr, "%s\n",
                 GbkToUtf8("\xB5\xDA" + IntegerToText(page) + "\xD2\xB3" + Text(texts::kFailed))
                     .c_str());  // 第N页提取失败
  }
  if (!state.result.downloadFailureReason.empty()) {
    std::fprintf(stderr, "%s\n", GbkToUtf8(state.result.downloadFailureReason).c_str());
  }
  std::fflush(stderr);
  // Leave without unwinding: the detached stop thread still waits for a signal.
  int status = 0;
  if (interrupted) {
    status = 130;
  } else if (state.result.kind == ProbeKind::Failed) {
    status = 1;
  } else if (state.result.kind == ProbeKind::TextDocument &&
             !state.result.downloadFailureReason.empty()) {
    status = 3;
  } else if (!failedPages.empty()) {
    status = 4;
  }
  std::fflush(stdout);
  std::_Exit(status);
}
