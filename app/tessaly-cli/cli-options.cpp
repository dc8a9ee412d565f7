#include "cli-options.h"

#include <charconv>

namespace tessaly::cli {

const char* const kVersion = "tessaly-cli 1.3\n";

const char* const kUsage =
    "Usage: tessaly-cli [options] ADDRESS\n"
    "Extracts the document at ADDRESS as the window's Extract button would and\n"
    "writes the final text of the result box to standard output: exactly that\n"
    "text, CR LF line ends as they are, no newline added.\n"
    "\n"
    "Options:\n"
    "  -t, --threads N        page workers (or download threads), 1 to 20; default 5\n"
    "      --keep-blank-lines keep blank lines (by default they are deleted)\n"
    "      --trim             remove the spaces at both ends of every line\n"
    "      --images           also save the page images as numbered PNG files in\n"
    "                         DIR/提取到的图片/<title>/ and open that folder\n"
    "  -o, --output-dir DIR   stands in for the program's folder: page images and\n"
    "                         downloaded text documents go below it; default: the\n"
    "                         current directory\n"
    "      --no-open          do not open the image folder or the downloaded file\n"
    "      --encoding ENC     standard output as utf-8 (default) or gbk\n"
    "  -q, --quiet            no progress on standard error\n"
    "      --help             this text\n"
    "      --version          the version\n"
    "\n"
    "Progress (the status and counter texts as they change) and the message box\n"
    "text go to standard error: one line per change when it is not a terminal, a\n"
    "single updating line when it is. Pages that could not be read are named there\n"
    "as \"第N页提取失败\" (also with --quiet). Ctrl+C stops the job as the Stop button\n"
    "would; the text so far is still written.\n"
    "\n"
    "Environment:\n"
    "  TESSALY_CONNECT_TO    HOST1:PORT1:HOST2:PORT2[,...] sends requests for\n"
    "                        HOST1:PORT1 to HOST2:PORT2 (Host header and TLS name\n"
    "                        stay HOST1), e.g. to a local simulator\n"
    "  TESSALY_CA_BUNDLE     PEM file of extra certificate authorities to trust\n"
    "  TESSALY_OPEN_COMMAND  command that opens folders and files (given the path\n"
    "                        as its one argument); default xdg-open\n"
    "  TMPDIR                where the job's private page-file folder is made\n"
    "                        (default /tmp)\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  提取失败: the document could not be read or is of no known type\n"
    "  2  bad usage\n"
    "  3  the plain-text document could not be downloaded\n"
    "  4  done, but some pages could not be read (no answer within three attempts,\n"
    "     an HTTP error status, or content without the item list)\n"
    "  130 stopped by Ctrl+C (or SIGTERM)\n";

namespace {

bool ParseThreads(const std::string& text, int& threads, std::string& error) {
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      value < 1 || value > 20) {
    error = "the thread count must be a whole number from 1 to 20, not \"" + text + "\"";
    return false;
  }
  threads = value;
  return true;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions& options,
                     std::string& error) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    std::string name = arg, inlineValue;
    bool hasInline = false;
    if (arg.rfind("--", 0) == 0) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
        hasInline = true;
      }
    }
    auto value = [&](std::string& out) {
      if (hasInline) {
        out = inlineValue;
        return true;
      }
      if (i + 1 >= arguments.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      out = arguments[++i];
      return true;
    };
    auto flag = [&](bool& field, bool to) {
      if (hasInline) {
        error = "option " + name + " takes no value";
        return false;
      }
      field = to;
      return true;
    };
    std::string text;
    if (arg == "--") {
      positional.insert(positional.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        arguments.end());
      break;
    } else if (name == "-t" || name == "--threads") {
      if (!value(text) || !ParseThreads(text, options.threads, error)) return false;
    } else if (arg.size() > 2 && arg.rfind("-t", 0) == 0 && arg[1] == 't') {
      if (!ParseThreads(arg.substr(2), options.threads, error)) return false;
    } else if (name == "--keep-blank-lines") {
      if (!flag(options.keepBlankLines, true)) return false;
    } else if (name == "--trim") {
      if (!flag(options.trimLines, true)) return false;
    } else if (name == "--images") {
      if (!flag(options.extractImages, true)) return false;
    } else if (name == "-o" || name == "--output-dir") {
      if (!value(options.outputDirectory)) return false;
      if (options.outputDirectory.empty()) {
        error = "the output folder must not be empty";
        return false;
      }
    } else if (name == "--no-open") {
      if (!flag(options.open, false)) return false;
    } else if (name == "--encoding") {
      if (!value(text)) return false;
      if (text == "utf-8" || text == "utf8" || text == "UTF-8") {
        options.encoding = Encoding::kUtf8;
      } else if (text == "gbk" || text == "GBK") {
        options.encoding = Encoding::kGbk;
      } else {
        error = "the encoding must be utf-8 or gbk, not \"" + text + "\"";
        return false;
      }
    } else if (name == "-q" || name == "--quiet") {
      if (!flag(options.quiet, true)) return false;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (options.help || options.version) return true;
  if (positional.size() != 1) {
    error =
        positional.empty() ? "no document address given" : "only one document address may be given";
    return false;
  }
  options.address = positional[0];
  return true;
}

}  // namespace tessaly::cli
