// The whole plain-text path through tessaly-cli: view page, file server,
// download, rename, opening.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>

#include "../download/download-fixture.h"
#include "job-harness.h"

extern char** environ;

namespace tessaly {
namespace {

using namespace std::chrono_literals;

std::string CliBinary() {
  if (const char* path = std::getenv("TESSALY_CLI")) return path;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" /
          "tessaly-cli")
      .string();
}

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Exit status of the command; it is ended by its pid after 30 s.
int RunCliQuietly(std::vector<std::string> args, const std::string& openCommand) {
  args.insert(args.begin(), CliBinary());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back("TESSALY_OPEN_COMMAND=" + openCommand);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -2;
    }
    std::this_thread::sleep_for(5ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

TEST(TextDocumentCli, TitledFileIsDownloadedRenamedAndOpened) {
  testing::ScratchFolder scratch("txtcli");
  sim::FileServer files(testing::Service().Server());
  const std::string content = testing::PatternContent(25000);
  sim::ServedFile file;
  file.content = content;
  const std::string address = files.Serve("/txtcli/x.txt", file);

  sim::SimDocument document = sim::GeneratedDocument("clitxtok", 1);
  document.docType = "txt";
  document.title = testing::Gbk("报告");
  document.textDocumentAddress = address;
  testing::Service().AddDocument(document);
  testing::Service().ExportEnvironment();

  // The opener records each path it is given, one a line.
  const auto openLog = scratch.path() / "opened";
  const auto opener = scratch.path() / "opener.sh";
  {
    std::ofstream script(opener);
    script << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << openLog.string() << "'\n";
  }
  std::filesystem::permissions(opener, std::filesystem::perms::owner_all);

  const auto out = scratch.path() / "out";
  std::filesystem::create_directories(out);
  const auto folder = out / "提取出的文件";
  const std::vector<std::string> args = {
      "-q", "-t", "8", "-o", out.string(), sim::DocService::ViewAddress("clitxtok")};
  auto openedLines = [&](std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    std::string log;
    while (std::chrono::steady_clock::now() < end) {
      log = Slurp(openLog);
      if (static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')) >= count) break;
      std::this_thread::sleep_for(10ms);
    }
    return log;
  };

  ASSERT_EQ(RunCliQuietly(args, opener.string()), 0);
  EXPECT_EQ(Slurp(folder / "报告.txt"), content);
  EXPECT_FALSE(std::filesystem::exists(folder / "x.txt"));
  EXPECT_EQ(openedLines(1), (folder / "报告.txt").string() + "\n");

  // Again: the new file keeps the server's name; the first 报告.txt is opened.
  ASSERT_EQ(RunCliQuietly(args, opener.string()), 0);
  EXPECT_EQ(Slurp(folder / "x.txt"), content);
  EXPECT_EQ(Slurp(folder / "报告.txt"), content);
  EXPECT_EQ(openedLines(2),
            (folder / "报告.txt").string() + "\n" + (folder / "报告.txt").string() + "\n");

  int ranged = 0;
  for (const auto& request : files.RequestsFor("/txtcli/x.txt")) {
    ranged += request.method == "GET" && request.HasHeader("Range");
  }
  EXPECT_EQ(ranged, 6);
}

}  // namespace
}  // namespace tessaly
