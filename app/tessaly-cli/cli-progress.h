// The status and counter labels of the window, written to standard error.
#pragma once

#include <cstdio>

#include "ui/window-model.h"

namespace tessaly::cli {

class ProgressPrinter {
 public:
  // On a terminal one line is rewritten in place; otherwise every change of a
  // label's text is a line of its own. Quiet prints only message boxes.
  ProgressPrinter(std::FILE* out, bool terminal, bool quiet)
      : out_(out), terminal_(terminal), quiet_(quiet) {}

  // Called on whichever thread changed the model; the model never calls two
  // observers at once.
  void Observe(const ControlChange& change);
  void MessageBox(const Text& text, const Text& title);
  // Ends the updating line.
  void Finish();

 private:
  std::FILE* out_;
  bool terminal_;
  bool quiet_;
  Text status_, counter_;
  bool lineOpen_ = false;
};

}  // namespace tessaly::cli
