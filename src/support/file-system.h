// Paths and folders. Paths are GBK texts inside the program and UTF-8 at the
// operating system; every helper here converts at that edge.
#pragma once

#include <string>
#include <string_view>

#include "support/text.h"

namespace tessaly {

// The one path separator of the program.
inline constexpr std::string_view kPathSeparator = "/";

// True when the whole directory path exists afterwards. Missing directories
// are created from the root down; a path with a component that IsUsableName
// refuses is refused as a whole.
bool EnsureDirectory(const Text& path);

// A system folder by kind (0 counts as 3), ending in kPathSeparator; empty for
// an unknown kind or a folder that cannot be found. Kind 11, the temporary
// folder, honours TMPDIR.
Text SpecialFolderPath(int kind);

// Byte-exact splits: empty when the separator is missing.
Text TextAfterLast(std::string_view text, std::string_view separator);
Text TextBeforeFirst(std::string_view text, std::string_view separator);

// An absolute path that names a file: it starts with the separator and its
// last component is a file name (not empty, not "." or "..").
bool IsFullFilePath(const Text& path);

// Moves a file to a full file path; never replaces an existing file.
bool RenameToFullPath(const Text& oldPath, const Text& newPath);

// A folder or file name that every platform accepts: no < > : " / \ | ? * or
// control characters, no trailing dot or space, not a reserved device name
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension), not "." or
// "..", not empty, and valid GBK.
bool IsUsableName(const Text& name);

// GBK path <-> the operating system's UTF-8 path.
std::string ToSystemPath(const Text& path);
Text FromSystemPath(std::string_view systemPath);

bool FileExists(const Text& path);       // a regular file
bool DirectoryExists(const Text& path);  // a directory

// The whole file, or false (and empty contents) when it cannot be read.
bool ReadWholeFile(const Text& path, Bytes& contents);
// The whole file, empty when it cannot be read.
Bytes ReadWholeFile(const Text& path);
// Creates or truncates the file and writes all of `contents`.
bool WriteWholeFile(const Text& path, std::string_view contents);
bool DeleteFile(const Text& path);
// Copies the contents; with failIfExists an existing target is left alone.
bool CopyFile(const Text& from, const Text& to, bool failIfExists = false);
// Removes an empty directory (a trailing separator is allowed).
bool RemoveDirectory(const Text& path);

// Folder of the running executable, without a trailing separator ("/" for the
// root); SetProgramDirectory overrides it (an empty text restores the default).
Text ProgramDirectory();
void SetProgramDirectory(const Text& directory);

// A new directory only this user can enter (mode 0700) inside
// SpecialFolderPath(11), named prefix plus a random part, ending in the
// separator; empty on failure.
Text MakePrivateTempDirectory(const Text& prefix);

}  // namespace tessaly
