// One page of a paged document: fetch its content data, lay out its text,
// write its page file and advance the progress display.
#pragma once

#include <cstdint>

#include "job/job-state.h"
#include "support/text.h"

namespace tessaly {

// What became of a page. Only a blank page and a page with text count as read.
enum class PageOutcome {
  kText,        // the page file holds the page's lines
  kBlank,       // the item list was there but gave no line
  kNoAnswer,    // no complete response within the attempts
  kHttpError,   // a status outside 200..299
  kNoItemList,  // a response without the item list
};

struct PageFetchPolicy {
  int attempts = 3;
  double attemptSeconds = 5.0;
};

struct PageFetch {
  bool answered = false;
  int status = 0;
  Bytes body;  // up to the first zero byte
};

// A plain GET with the request object's own defaults, each attempt abandoned
// after attemptSeconds without a complete response.
PageFetch FetchPageContent(const Text& address, const PageFetchPolicy& policy);

// Records a page that could not be read in the job's result, writes the page
// file (empty for such a page) and always advances the progress.
PageOutcome DecodePage(JobContext& ctx, std::int32_t page, const PageFetchPolicy& policy);
inline void DecodePage(JobContext& ctx, std::int32_t page) {
  DecodePage(ctx, page, PageFetchPolicy{});
}

// The progress step of a finished page, under progressLock: percent, the
// status and counter captions and the bar, then pagesDone.
void AdvancePageProgress(JobContext& ctx);

}  // namespace tessaly
