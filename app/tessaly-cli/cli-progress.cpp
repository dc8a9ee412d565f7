#include "cli-progress.h"

#include "support/codepage.h"

namespace tessaly::cli {

void ProgressPrinter::Observe(const ControlChange& change) {
  if (quiet_ || change.property != Property::Text) return;
  if (change.control != Control::标签4 && change.control != Control::标签3) return;
  (change.control == Control::标签4 ? status_ : counter_) = change.text;
  if (terminal_) {
    const Text line = counter_.empty() ? status_ : status_ + " " + counter_;
    std::fprintf(out_, "\r%s\x1b[K", GbkToUtf8(line).c_str());
    lineOpen_ = true;
  } else if (!change.text.empty()) {
    std::fprintf(out_, "%s\n", GbkToUtf8(change.text).c_str());
  }
  std::fflush(out_);
}

void ProgressPrinter::MessageBox(const Text& text, const Text& title) {
  Finish();
  std::fprintf(out_, "%s %s\n", GbkToUtf8(title).c_str(), GbkToUtf8(text).c_str());
  std::fflush(out_);
}

void ProgressPrinter::Finish() {
  if (!lineOpen_) return;
  std::fprintf(out_, "\n");
  std::fflush(out_);
  lineOpen_ = false;
}

}  // namespace tessaly::cli
