// The Qt face of the window model: one fixed-size window whose widgets mirror
// the model's controls and whose event handlers drive the job.
//
// Widgets are touched only on the window's thread. Model changes made on other
// threads are queued to it in the order the model delivered them; a change made
// on the window's thread itself is applied at once when nothing is queued ahead.
#pragma once

#include <QWidget>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "job/job-state.h"
#include "ui/window-model.h"

class QCloseEvent;
class QMessageBox;

namespace tessaly {

// Makes "微软雅黑" resolve to an installed CJK family; call before any widget.
void InstallWindowFonts();

// Client area of the 709 x 600 outer window less a Windows frame.
inline constexpr int kClientWidth = 693;
inline constexpr int kClientHeight = 561;

class MainWindow : public QWidget {
 public:
  // Runs the created-handler: fills the thread-count box and focuses the
  // address box. The context must outlive the window.
  explicit MainWindow(JobContext& context, QWidget* parent = nullptr);
  ~MainWindow() override;

  QWidget* ControlWidget(Control control) const {
    return widgets_[static_cast<std::size_t>(control)];
  }

  // What closing the window does after the job's threads were told to end;
  // the program sets it to end the process at once. None by default.
  void SetCloseAction(std::function<void()> action) { closeAction_ = std::move(action); }

  // The message box showing now for the job thread; nullptr when none.
  QMessageBox* OpenMessageBox() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct MessageGate;

  void BuildControls();
  void BindWidgets();
  void InstallModelHooks();

  void Observe(const ControlChange& change);
  // Runs `step` on the window's thread after every change delivered before it.
  void Enqueue(std::function<void()> step);
  void DrainQueue();
  void Apply(const ControlChange& change);
  void PlaceResultCaret();
  void WriteFromWidget(const std::function<void()>& write);

  void OnExtractStopClicked();
  void OnClearClicked();
  void OnAddressTextChanged();

  JobContext& context_;
  WindowModel& model_;
  std::array<QWidget*, kControlCount> widgets_{};
  std::function<void()> closeAction_;
  const std::thread::id windowThread_;
  int observerId_ = 0;

  // Changes waiting for the window's thread, in the model's order. One drain
  // is posted at a time and gives the event loop back after a short slice, so
  // a burst of worker changes never stalls the window.
  std::mutex queueMutex_;
  std::deque<std::function<void()>> queue_;
  bool drainPosted_ = false;
  // Window-thread only: a widget is writing its own state into the model, or
  // the model's state is being written into a widget.
  bool writingFromWidget_ = false;
  bool applyingModel_ = false;

  std::shared_ptr<MessageGate> messageGate_;
};

}  // namespace tessaly
