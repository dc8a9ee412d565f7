// What the view page says the document is, and so which way the job goes.
#pragma once

namespace tessaly {

enum class ProbeKind : int {
  Failed = 0,
  PagedDocument = 1,
  TextDocument = 2,
  SlideDocument = 3,
};

}  // namespace tessaly
