// Saving the page pictures of a paged document as numbered PNG files in a
// folder named after the document, then opening that folder.
#pragma once

#include "job/job-state.h"

namespace tessaly {

// On the job thread, after the page text has been joined. Files go into the
// program's folder + "/提取到的图片/" + title; an empty title means that folder
// itself, and a title that cannot be one folder name (a separator, "..", a
// character the file system refuses) means a folder named by date and time.
void SavePageImages(JobContext& ctx);

// The program's folder + "/提取到的图片".
Text ImageRootFolder(const Text& programDirectory);

// The folder the images of a document with this title go to, without a
// trailing separator. `timeName` names the fallback folder.
Text ImageFolderFor(const Text& programDirectory, const Text& title, const Text& timeName);

// Writes `bytes` as a new file, never replacing or following anything already
// at that path. False when the path exists or the file cannot be written.
bool WriteNewFile(const Text& path, std::string_view bytes, bool& pathTaken);

}  // namespace tessaly
