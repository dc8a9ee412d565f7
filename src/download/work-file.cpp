#include "download/work-file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/file-system.h"

namespace tessaly {

int PreallocateFile(const Text& path, std::int64_t size) {
  const std::size_t slash = path.rfind('/');
  if (slash != Text::npos && slash > 0) EnsureDirectory(path.substr(0, slash + 1));
  if (size < 0) return EINVAL;
  const std::string systemPath = ToSystemPath(path);
  const int fd = ::open(systemPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  int result = 1;
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) result = errno;
  if (::close(fd) != 0 && result == 1) result = errno;
  if (result != 1) ::unlink(systemPath.c_str());
  return result;
}

bool WriteAt(const Text& path, std::int64_t offset, std::string_view bytes) {
  // No O_CREAT: a work file that vanished must not come back without the
  // ranges already counted in it.
  const int fd = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool MoveWorkFile(const Text& workPath, const Text& finalPath) {
  const std::string from = ToSystemPath(workPath);
  const std::string to = ToSystemPath(finalPath);
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (!CopyFile(workPath, finalPath, false)) return false;
  return ::unlink(from.c_str()) == 0;
}

}  // namespace tessaly
