#include "job/page-image-saving.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "job/job-gate.h"
#include "job/job-texts.h"
#include "support/file-system.h"
#include "support/time-format.h"
#include "web/http-object-request.h"

namespace tessaly {

Text ImageRootFolder(const Text& programDirectory) {
  Text root = programDirectory;
  if (root.empty() || root.back() != '/') root += kPathSeparator;
  return root + Text(texts::kImageRoot);
}

Text ImageFolderFor(const Text& programDirectory, const Text& title, const Text& timeName) {
  const Text root = ImageRootFolder(programDirectory);
  if (title.empty()) return root;
  if (IsUsableName(title)) return root + Text(kPathSeparator) + title;
  return root + Text(kPathSeparator) + timeName;
}

bool WriteNewFile(const Text& path, std::string_view bytes, bool& pathTaken) {
  pathTaken = false;
  int fd = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0644);
  if (fd < 0) {
    pathTaken = (errno == EEXIST);
    return false;
  }
  bool ok = true;
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

namespace {

Text ImagePath(const Text& folder, std::int64_t n) {
  return folder + Text(kPathSeparator) + IntegerToText(n) + ".png";
}

}  // namespace

void SavePageImages(JobContext& ctx) {
  JobState& state = ctx.state;
  WindowModel& window = ctx.window;
  const std::int64_t count = static_cast<std::int64_t>(state.ImageAddressList.size());

  Text folder;
  bool ready = UnlessStopped(state, [&] {
    state.progressPercent = 0;
    window.SetWidth(Control::标签2, 0);
    window.SetText(Control::标签4, Text(texts::kSavingImages));
    const Text programDirectory = ProgramDirectory();
    const Text timeName = FormatTime(std::nullopt, 3, 0);
    folder = ImageFolderFor(programDirectory, state.title, timeName);
    const Text timeFolder = ImageRootFolder(programDirectory) + Text(kPathSeparator) + timeName;
    if (!EnsureDirectory(folder) && !state.title.empty() && folder != timeFolder) {
      folder = timeFolder;
      EnsureDirectory(folder);
    }
  });
  if (!ready) return;

  std::int64_t n = 1;
  for (std::int64_t l = 1; l <= count; ++l) {
    while (FileExists(ImagePath(folder, n))) ++n;
    Bytes image = HttpObjectRequest(state.ImageAddressList[static_cast<std::size_t>(l - 1)]);
    bool saved = UnlessStopped(state, [&] {
      bool taken = false;
      // Something that appeared at n since the look above keeps its number too.
      while (!WriteNewFile(ImagePath(folder, n), image, taken) && taken) ++n;
      const std::int64_t p =
          RoundHalfUp(static_cast<double>(l) / static_cast<double>(count) * 100.0);
      state.progressPercent = static_cast<std::int32_t>(p);
      window.SetText(Control::标签4, Text(texts::kSavingImages) + IntegerToText(p) + "%");
      window.SetText(Control::标签3, Text(texts::kCounterOpen) + IntegerToText(l) +
                                         Text(texts::kImageCounterMiddle) + IntegerToText(count) +
                                         Text(texts::kImageCounterClose));
      window.SetWidth(Control::标签2,
                      ProgressFillWidth(static_cast<double>(p), window.Width(Control::外形框2)));
    });
    if (!saved) return;
    ++n;
  }

  UnlessStopped(state, [&] { window.OpenInShell(folder); });
}

}  // namespace tessaly
