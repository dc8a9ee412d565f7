// One program's worth of job state and window model for a test, with every
// change, message box and opened path recorded in order.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "doc-service.h"
#include "job/job-state.h"
#include "job/job-texts.h"
#include "support/codepage.h"
#include "support/file-system.h"
#include "ui/extract-button.h"
#include "ui/window-model.h"
#include "web/web-settings.h"

namespace tessaly::testing {

inline sim::DocService& Service() {
  static sim::DocService service;
  // The CA file is written on first use, so before any test moves TMPDIR.
  static const bool started = service.Start() && !service.CaBundlePath().empty();
  if (!started) ADD_FAILURE() << "document service did not start";
  return service;
}

inline Text Gbk(const char* utf8) { return Utf8ToGbk(utf8); }

// A folder of its own per test, removed afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() /
            ("tessaly-job-test-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }
  std::vector<std::string> Entries(const std::filesystem::path& under = {}) const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_ / under, error)) {
      names.push_back(std::filesystem::relative(entry.path(), path_).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

struct Recorded {
  enum class Kind { Change, MessageBox, Open, PendingEvents } kind;
  ControlChange change;
  Text text, title;
};

class JobHarness {
 public:
  JobHarness() : ctx{state, window} {
    Service().ExportEnvironment();
    ReloadWebSettingsForTesting();
    window.FillThreadCountBox();
    window.AddObserver([this](const ControlChange& change) {
      std::lock_guard lock(mutex_);
      log_.push_back({Recorded::Kind::Change, change, {}, {}});
    });
    window.SetMessageBoxHandler([this](const Text& text, const Text& title) {
      std::lock_guard lock(mutex_);
      log_.push_back({Recorded::Kind::MessageBox, {}, text, title});
    });
    window.SetOpenHook([this](const Text& path) {
      std::lock_guard lock(mutex_);
      log_.push_back({Recorded::Kind::Open, {}, path, {}});
    });
  }

  void Configure(const std::string& address, int threads, bool keepBlankLines = false,
                 bool trim = false, bool images = false) {
    window.SetText(Control::编辑框2, address);
    window.SetSelectedIndex(Control::组合框1, threads - 1);
    window.SetChecked(Control::选择框1, !keepBlankLines);
    window.SetChecked(Control::选择框2, trim);
    window.SetChecked(Control::选择框3, images);
  }

  // Starts the job as the Extract button does and waits until its thread ends.
  void Run() {
    ClickExtractButton(ctx);
    WaitForJobThread(ctx);
  }

  std::vector<Recorded> Log() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  std::size_t LogSize() const {
    std::lock_guard lock(mutex_);
    return log_.size();
  }

  // Captions of one control in the order they were set.
  std::vector<Text> TextsOf(Control control) const {
    std::vector<Text> texts;
    for (const auto& entry : Log()) {
      if (entry.kind == Recorded::Kind::Change && entry.change.control == control &&
          entry.change.property == Property::Text) {
        texts.push_back(entry.change.text);
      }
    }
    return texts;
  }

  std::vector<Text> Opened() const {
    std::vector<Text> paths;
    for (const auto& entry : Log()) {
      if (entry.kind == Recorded::Kind::Open) paths.push_back(entry.text);
    }
    return paths;
  }

  JobState state;
  WindowModel window;
  JobContext ctx;

 private:
  mutable std::mutex mutex_;
  std::vector<Recorded> log_;
};

// Polls `condition` every 5 ms for at most `timeout`.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

inline std::size_t RequestsWithPathPrefix(const std::string& prefix) {
  std::size_t count = 0;
  for (const auto& request : Service().Requests()) count += request.Path().rfind(prefix, 0) == 0;
  return count;
}

}  // namespace tessaly::testing
