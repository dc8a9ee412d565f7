// The work file a download is written into, and putting it in place.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/text.h"

namespace tessaly {

// Creates the folders of `path`, then the file, and sets its length (sparse,
// 64-bit). 1 on success, else the system's error number; a file that could not
// be given its length is removed.
int PreallocateFile(const Text& path, std::int64_t size);

// Writes `bytes` at `offset` into an existing file without truncating it.
// False when the file is missing or the write falls short.
bool WriteAt(const Text& path, std::int64_t offset, std::string_view bytes);

// Renames the work file over the final path (replacing a file there); when the
// rename is refused, copies and deletes. True when the final file is in place
// and the work file is gone.
bool MoveWorkFile(const Text& workPath, const Text& finalPath);

}  // namespace tessaly
