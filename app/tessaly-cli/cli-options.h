// The command line of tessaly-cli.
#pragma once

#include <string>
#include <vector>

namespace tessaly::cli {

enum class Encoding { kUtf8, kGbk };

struct CliOptions {
  std::string address;  // as given (the locale's UTF-8)
  int threads = 5;
  bool keepBlankLines = false;
  bool trimLines = false;
  bool extractImages = false;
  std::string outputDirectory;  // empty: the current directory
  bool open = true;
  Encoding encoding = Encoding::kUtf8;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// False with `error` set on bad usage.
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error);

extern const char* const kUsage;
extern const char* const kVersion;

}  // namespace tessaly::cli
