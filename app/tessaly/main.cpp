// The window program: one window over one job state.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "job/job-state.h"
#include "ui/qt/main-window.h"
#include "ui/window-model.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tessaly"));
  QApplication::setDesktopFileName(QStringLiteral("tessaly"));

  tessaly::JobState state;
  tessaly::WindowModel model;
  tessaly::JobContext context{state, model};
  tessaly::MainWindow window(context);
  // Closing ends the program at once: job, workers and downloads are not
  // waited for, and no destructor may join them.
  window.SetCloseAction([] {
    std::fflush(nullptr);
    std::_Exit(0);
  });
  window.show();
  const int status = QApplication::exec();
  std::fflush(nullptr);
  std::_Exit(status);
}
