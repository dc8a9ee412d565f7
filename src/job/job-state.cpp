#include "job/job-state.h"

#include <algorithm>

namespace tessaly {

Text PageFilePath(const JobState& state, std::int32_t page) {
  return state.pageFolder + "\xCE\xC4\xBF\xE2_" + IntegerToText(page) + ".txt";  // 文库_
}

void NoteFailedPage(JobState& state, std::int32_t page) {
  std::lock_guard lock(state.resultMutex);
  state.result.failedPages.push_back(page);
}

std::vector<std::int32_t> FailedPages(JobState& state) {
  std::lock_guard lock(state.resultMutex);
  std::vector<std::int32_t> pages = state.result.failedPages;
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

}  // namespace tessaly
