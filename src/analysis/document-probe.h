// Reading a document's view page for its identity and type, and collecting the
// addresses of its page contents and page pictures.
#pragma once

#include <cstdint>

#include "analysis/probe-kind.h"
#include "job/job-state.h"
#include "support/text.h"

namespace tessaly {

// Pages listed on one view page.
inline constexpr std::int64_t kPagesPerViewPage = 50;
// The page count is the server's word: a larger one is taken as this many, so
// a page claiming 10^12 pages costs 199 batch fetches, not 2 * 10^10.
inline constexpr std::int64_t kMaxTotalPageNum = 10000;

// Fetches the address as typed and fills docId, title, textDocumentAddress
// (kind 2), pageAddressList (kind 1) and, with extractImages, ImageAddressList.
// Runs on the job thread; a stop ends the batch fetching early.
ProbeKind DocumentProbe(JobContext& ctx, const Text& documentAddress, TextList& pageAddressList);

// The lists of the first view page, then of every batch page after it.
void HarvestPageAddresses(JobContext& ctx, const Text& page, const Text& docId,
                          std::int64_t totalPageNum, TextList& pageAddressList);

// How many batch pages follow the first view page for that page count.
std::int64_t BatchPageCount(std::int64_t totalPageNum);

// "http://" + host + "/view/" + docId + ".html?from=search&pn=" + pn.
Text BatchPageAddress(const Text& docId, std::int64_t pn);
// "https://" + host + "/view/" + docId + ".html".
Text CanonicalViewAddress(const Text& docId);

}  // namespace tessaly
