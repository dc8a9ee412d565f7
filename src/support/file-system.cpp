#include "support/file-system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

#include "support/codepage.h"

namespace tessaly {

namespace {

bool IsDirectory(const std::string& systemPath) {
  struct stat st {};
  return ::stat(systemPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Text WithTrailingSeparator(Text path) {
  if (!EndsWith(path, kPathSeparator)) path += kPathSeparator;
  return path;
}

// An environment variable as a GBK path; only absolute values count, as the
// XDG rules ask.
Text AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return FromSystemPath(value);
}

Text HomeDirectory() { return AbsoluteFromEnvironment("HOME"); }

Text XdgBase(const char* variable, std::string_view fallbackUnderHome) {
  Text base = AbsoluteFromEnvironment(variable);
  if (!base.empty()) return base;
  const Text home = HomeDirectory();
  if (home.empty()) return {};
  return WithTrailingSeparator(home) + Text(fallbackUnderHome);
}

// The user's folder from user-dirs.dirs (lines such as
// XDG_DOCUMENTS_DIR="$HOME/Documents"), else the usual folder under home.
Text XdgUserDirectory(std::string_view key, std::string_view fallbackUnderHome) {
  const Text home = HomeDirectory();
  const Text config = XdgBase("XDG_CONFIG_HOME", ".config");
  if (!config.empty()) {
    std::ifstream in(ToSystemPath(WithTrailingSeparator(config) + "user-dirs.dirs"));
    std::string line;
    while (std::getline(in, line)) {
      const Text prefix = Text(key) + "=\"";
      if (!StartsWith(line, prefix) || line.size() < prefix.size() + 1 || line.back() != '"') {
        continue;
      }
      std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
      if (StartsWith(value, "$HOME")) {
        if (home.empty()) return {};
        return ToSystemPath(home) == "/" ? FromSystemPath(value.substr(5))
                                         : home + FromSystemPath(value.substr(5));
      }
      if (!value.empty() && value[0] == '/') return FromSystemPath(value);
    }
  }
  if (home.empty()) return {};
  return WithTrailingSeparator(home) + Text(fallbackUnderHome);
}

// A shell folder is found only when it exists, as the system's shell-folder call
// without creation behaves.
Text ExistingFolder(const Text& path) {
  if (path.empty() || !IsDirectory(ToSystemPath(path))) return {};
  return WithTrailingSeparator(path);
}

bool IsReservedDeviceName(std::string_view base) {
  static constexpr std::string_view kPlain[] = {"con", "prn", "aux", "nul"};
  const Text lower = AsciiLowerText(base);
  for (std::string_view name : kPlain) {
    if (lower == name) return true;
  }
  if (lower.size() == 4 && (StartsWith(lower, "com") || StartsWith(lower, "lpt"))) {
    return lower[3] >= '1' && lower[3] <= '9';
  }
  return false;
}

bool IsValidGbk(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (!IsLeadByte(c) || i + 1 >= text.size()) return false;
    const auto t = static_cast<unsigned char>(text[i + 1]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    i += 2;
  }
  return true;
}

// The components between separators; empty ones (doubled separators) are
// skipped as the operating system skips them.
std::vector<Text> Components(std::string_view path) {
  std::vector<Text> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(kPathSeparator, start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + kPathSeparator.size();
  }
  return parts;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Copies into a target that must not exist yet; used where neither a no-replace
// rename nor a hard link is possible.
bool CopyToNewFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  const mode_t mode = ::fstat(in, &st) == 0 ? (st.st_mode & 07777) : 0644;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

std::mutex& ProgramDirectoryLock() {
  static std::mutex lock;
  return lock;
}
Text& ProgramDirectoryOverride() {
  static Text directory;
  return directory;
}

}  // namespace

std::string ToSystemPath(const Text& path) { return GbkToUtf8(path); }
Text FromSystemPath(std::string_view systemPath) { return Utf8ToGbk(systemPath); }

bool IsUsableName(const Text& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (!IsValidGbk(name)) return false;
  static constexpr std::string_view kRefused = "<>:\"/\\|?*";
  for (std::size_t i = 0; i < name.size(); i += CharWidthAt(name, i)) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || kRefused.find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  // A trailing byte of a double-byte character is never 0x20 or 0x2E.
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsReservedDeviceName(std::string_view(name).substr(0, name.find('.')));
}

bool EnsureDirectory(const Text& path) {
  if (path.empty()) return false;
  const bool absolute = StartsWith(path, kPathSeparator);
  const std::vector<Text> parts = Components(path);
  for (const Text& part : parts) {
    if (!IsUsableName(part)) return false;
  }
  Text current = absolute ? Text(kPathSeparator) : Text();
  for (const Text& part : parts) {
    current += part;
    const std::string systemPath = ToSystemPath(current);
    if (::mkdir(systemPath.c_str(), 0777) != 0) {
      if (errno != EEXIST || !IsDirectory(systemPath)) return false;
    }
    current += kPathSeparator;
  }
  return IsDirectory(ToSystemPath(current.empty() ? Text(".") : current));
}

Text SpecialFolderPath(int kind) {
  if (kind == 0) kind = 3;
  switch (kind) {
    case 1:  // documents
      return ExistingFolder(XdgUserDirectory("XDG_DOCUMENTS_DIR", "Documents"));
    case 2:  // favourites: desktops here keep bookmarks in files, not in a folder
      return {};
    case 3:  // desktop
      return ExistingFolder(XdgUserDirectory("XDG_DESKTOP_DIR", "Desktop"));
    case 4:  // fonts
      return ExistingFolder("/usr/share/fonts");
    case 5:  // start menu
    case 6:  // start-menu programs
      return ExistingFolder(WithTrailingSeparator(XdgBase("XDG_DATA_HOME", ".local/share")) +
                            "applications");
    case 7:  // start-up
      return ExistingFolder(WithTrailingSeparator(XdgBase("XDG_CONFIG_HOME", ".config")) +
                            "autostart");
    case 8:  // application data
      return ExistingFolder(XdgBase("XDG_DATA_HOME", ".local/share"));
    case 9:  // the system's own folder
      return WithTrailingSeparator("/usr");
    case 10:  // the system's libraries
      return WithTrailingSeparator("/usr/lib");
    case 11: {  // temporary folder: like the system call, not checked for existence
      const Text tmp = AbsoluteFromEnvironment("TMPDIR");
      return WithTrailingSeparator(tmp.empty() ? Text("/tmp") : tmp);
    }
    case 12:  // internet cache
      return ExistingFolder(XdgBase("XDG_CACHE_HOME", ".cache"));
    default:
      return {};
  }
}

Text TextAfterLast(std::string_view text, std::string_view separator) {
  if (separator.empty() || separator.size() > text.size()) return {};
  const std::size_t at = text.rfind(separator);
  if (at == std::string_view::npos) return {};
  return Text(text.substr(at + separator.size()));
}

Text TextBeforeFirst(std::string_view text, std::string_view separator) {
  if (separator.empty()) return {};
  const std::size_t at = text.find(separator);
  if (at == std::string_view::npos) return {};
  return Text(text.substr(0, at));
}

// The drive-letter rule ("C:\..." naming a file) becomes: absolute, and the
// last component is a file name.
bool IsFullFilePath(const Text& path) {
  if (!StartsWith(path, kPathSeparator) || EndsWith(path, kPathSeparator)) return false;
  const Text name = TextAfterLast(path, kPathSeparator);
  return !name.empty() && name != "." && name != "..";
}

bool RenameToFullPath(const Text& oldPath, const Text& newPath) {
  if (!IsFullFilePath(newPath)) return false;
  for (const Text& part : Components(newPath)) {
    if (!IsUsableName(part)) return false;
  }
  const std::string from = ToSystemPath(oldPath);
  const std::string to = ToSystemPath(newPath);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  const int renameError = errno;
  if (renameError != EINVAL && renameError != ENOSYS && renameError != ENOTSUP &&
      renameError != EXDEV) {
    return false;
  }
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // link() fails on an existing target, which keeps the no-replace promise.
  if (renameError != EXDEV && ::link(from.c_str(), to.c_str()) == 0) {
    return ::unlink(from.c_str()) == 0;
  }
  if (errno == EEXIST) return false;
  if (!CopyToNewFile(from, to)) return false;
  return ::unlink(from.c_str()) == 0;
}

bool FileExists(const Text& path) {
  struct stat st {};
  return !path.empty() && ::stat(ToSystemPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const Text& path) { return !path.empty() && IsDirectory(ToSystemPath(path)); }

bool ReadWholeFile(const Text& path, Bytes& contents) {
  contents.clear();
  const int fd = ::open(ToSystemPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  contents.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!ok) contents.clear();
  return ok;
}

Bytes ReadWholeFile(const Text& path) {
  Bytes contents;
  ReadWholeFile(path, contents);
  return contents;
}

bool WriteWholeFile(const Text& path, std::string_view contents) {
  const int fd = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, contents);
  return (::close(fd) == 0) && written;
}

bool DeleteFile(const Text& path) {
  struct stat st {};
  const std::string systemPath = ToSystemPath(path);
  if (::lstat(systemPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(systemPath.c_str()) == 0;
}

bool CopyFile(const Text& from, const Text& to, bool failIfExists) {
  if (failIfExists) return CopyToNewFile(ToSystemPath(from), ToSystemPath(to));
  Bytes contents;
  return ReadWholeFile(from, contents) && WriteWholeFile(to, contents);
}

bool RemoveDirectory(const Text& path) {
  return !path.empty() && ::rmdir(ToSystemPath(path).c_str()) == 0;
}

Text ProgramDirectory() {
  {
    std::lock_guard<std::mutex> guard(ProgramDirectoryLock());
    if (!ProgramDirectoryOverride().empty()) return ProgramDirectoryOverride();
  }
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  const std::string exe(buffer.data(), static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? Text(kPathSeparator) : FromSystemPath(exe.substr(0, slash));
}

void SetProgramDirectory(const Text& directory) {
  Text cleaned = directory;
  while (cleaned.size() > 1 && EndsWith(cleaned, kPathSeparator)) {
    cleaned.resize(cleaned.size() - kPathSeparator.size());
  }
  std::lock_guard<std::mutex> guard(ProgramDirectoryLock());
  ProgramDirectoryOverride() = cleaned;
}

Text MakePrivateTempDirectory(const Text& prefix) {
  if (!prefix.empty() && !IsUsableName(prefix)) return {};
  std::string pattern = ToSystemPath(SpecialFolderPath(11) + prefix) + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return WithTrailingSeparator(FromSystemPath(pattern));
}

}  // namespace tessaly
