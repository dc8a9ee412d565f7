// tessaly-cli as a user runs it, against the simulator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "job-harness.h"

// The tables of cases below are aligned by hand, one row a case.
// clang-format off

extern char** environ;

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using testing::Gbk;
using testing::ScratchFolder;
using testing::Service;
using testing::WaitUntil;

std::string CliPath() {
  if (const char* path = std::getenv("TESSALY_CLI")) return path;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "tessaly-cli").string();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

// Runs the command with its output in files; ends it by its pid after 60 s.
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
              const std::vector<std::string>& extraEnvironment = {}) {
  std::vector<std::string> args = {CliPath()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  const std::string outPath = (folder / "stdout").string(), errPath = (folder / "stderr").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  CliRun run;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    return run;
  }
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + 60s;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "tessaly-cli did not end within 60 s";
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadFile(outPath);
  run.err = ReadFile(errPath);
  return run;
}

struct CliCase {
  const char* name;
  sim::SimDocument document;  // id empty: none served
  std::vector<std::string> arguments;  // "@" stands for the document's view address
  std::optional<std::string> expectedOut;  // exact bytes; none: not looked at
  int status;
  std::vector<std::string> errContains;  // UTF-8, in this order
};

sim::SimDocument WithType(sim::SimDocument document, const std::string& type) {
  document.docType = type;
  return document;
}

std::vector<CliCase> Cases() {
  sim::SimDocument sample;
  EXPECT_TRUE(sim::LoadSampleDocument(sim::DefaultSamplePath(), sample));
  const std::string sampleText = GbkToUtf8(sim::SampleDocumentText(sim::DefaultSamplePath()));
  sim::SimDocument broken = sim::GeneratedDocument("clibad", 3);
  broken.pages[1].fault = sim::Fault::kNotFound;
  sim::SimDocument text = WithType(sim::GeneratedDocument("clitxt", 1), "txt");
  text.textDocumentAddress = "http://127.0.0.1:1/file.txt";
  return {
      {"the bundled sample", sample, {"--no-open", "@"}, sampleText, 0,
       {"正在提取...", "已提取：", "（第1页/共", "转换中...", "转换完成"}},
      {"gbk output, 7 pages, 3 threads", sim::GeneratedDocument("cli7", 7), {"-t", "3", "--encoding", "gbk", "@"},
       sim::GeneratedDocumentText("cli7", 7, false), 0, {}},
      {"trimmed, quiet", sim::GeneratedDocument("clitrim", 2), {"--trim", "-q", "@"},
       GbkToUtf8(sim::GeneratedDocumentText("clitrim", 2, true)), 0, {}},
      {"unknown type", WithType(sim::GeneratedDocument("cliDOC", 1), "DOC"), {"@"}, "提取失败", 1,
       {"温馨提示： 提取失败"}},
      {"a page that cannot be read", broken, {"-q", "@"},
       GbkToUtf8(sim::GeneratedPageFile("clibad", 1, false) + sim::GeneratedPageFile("clibad", 3, false)), 4,
       {"第2页提取失败"}},
      {"text download refused", text, {"-q", "--no-open", "@"}, std::nullopt, 3, {"下载失败"}},
      {"thread count 0", {}, {"-t", "0", "x"}, "", 2, {"from 1 to 20", "--help"}},
      {"thread count 21", {}, {"--threads=21", "x"}, "", 2, {"from 1 to 20"}},
      {"thread count x", {}, {"-t", "x", "x"}, "", 2, {"\"x\""}},
      {"no address", {}, {"--trim"}, "", 2, {"no document address"}},
      {"two addresses", {}, {"a", "b"}, "", 2, {"only one"}},
      {"unknown option", {}, {"--frobnicate", "x"}, "", 2, {"unknown option --frobnicate"}},
      {"bad encoding", {}, {"--encoding", "latin1", "x"}, "", 2, {"utf-8 or gbk"}},
  };
}

void PrintTo(const CliCase& row, std::ostream* out) { *out << row.name; }

class CliTable : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliTable, Row) {
  const CliCase& row = GetParam();
  ScratchFolder scratch("cli");
  if (!row.document.id.empty()) Service().AddDocument(row.document);
  Service().ExportEnvironment();
  std::vector<std::string> arguments = row.arguments;
  for (auto& a : arguments) {
    if (a == "@") a = sim::DocService::ViewAddress(row.document.id);
  }
  arguments.insert(arguments.begin(), {"-o", scratch.path().string()});
  const CliRun run = RunCli(arguments, scratch.path());
  EXPECT_EQ(run.status, row.status) << run.err;
  if (row.expectedOut) {
    EXPECT_EQ(run.out, *row.expectedOut);
  }
  std::size_t from = 0;
  for (const auto& piece : row.errContains) {
    const std::size_t at = run.err.find(piece, from);
    EXPECT_NE(at, std::string::npos) << "\"" << piece << "\" not in order in:\n" << run.err;
    if (at != std::string::npos) from = at + piece.size();
  }
  if (row.status == 0 && std::find(row.arguments.begin(), row.arguments.end(), "-q") == row.arguments.end()) {
    EXPECT_NE(run.err.find("\n"), std::string::npos);  // one line per change
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, CliTable, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CliCase>& info) {
                           std::string name = std::to_string(info.index) + "_";
                           for (const char* c = info.param.name; *c; ++c) {
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           }
                           return name;
                         });

TEST(Cli, ImagesFolderOpenedThroughTheOpenCommand) {
  ScratchFolder scratch("cliopen");
  sim::SimDocument document = sim::GeneratedDocument("cliimg", 2);
  document.title = Gbk("图片");
  Service().AddDocument(document);
  Service().ExportEnvironment();
  const auto opener = scratch.path() / "opener.sh";
  {
    std::ofstream script(opener);
    script << "#!/bin/sh\nprintf '%s' \"$1\" > \"" << (scratch.path() / "opened.part").string() << "\"\nmv \""
           << (scratch.path() / "opened.part").string() << "\" \"" << (scratch.path() / "opened").string() << "\"\n";
  }
  std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  const auto out = scratch.path() / "out";
  std::filesystem::create_directories(out);

  const CliRun noOpen = RunCli({"-q", "--images", "--no-open", "-o", out.string(),
                                sim::DocService::ViewAddress("cliimg")},
                               scratch.path(), {"TESSALY_OPEN_COMMAND=" + opener.string()});
  EXPECT_EQ(noOpen.status, 0) << noOpen.err;
  const CliRun run = RunCli({"-q", "--images", "-o", out.string(), sim::DocService::ViewAddress("cliimg")},
                            scratch.path(), {"TESSALY_OPEN_COMMAND=" + opener.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  const auto folder = out / "提取到的图片" / "图片";
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(scratch.path() / "opened"); }, 10s));
  EXPECT_EQ(ReadFile(scratch.path() / "opened"), folder.string());
  // Generated documents have one picture over the threshold in two pages; the
  // second run numbers on.
  EXPECT_EQ(ReadFile(folder / "1.png"), sim::MakePng(1201, 1));
  EXPECT_EQ(ReadFile(folder / "2.png"), sim::MakePng(1201, 1));
  EXPECT_FALSE(std::filesystem::exists(folder / "3.png"));
}

TEST(Cli, HelpNamesEveryOptionVariableAndStatus) {
  ScratchFolder scratch("clihelp");
  const CliRun run = RunCli({"--help"}, scratch.path());
  EXPECT_EQ(run.status, 0);
  for (const char* word : {"--threads", "-t,", "--keep-blank-lines", "--trim", "--images", "--output-dir", "-o,",
                           "--no-open", "--encoding", "--quiet", "-q,", "--help", "--version", "TESSALY_CONNECT_TO",
                           "TESSALY_CA_BUNDLE", "TESSALY_OPEN_COMMAND", "TMPDIR", "  0  ", "  1  ", "  2  ",
                           "  3  ", "  4  "}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
  const CliRun version = RunCli({"--version"}, scratch.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tessaly-cli 1.3\n");
}

TEST(Cli, InterruptStopsTheJobAndKeepsTheTextSoFar) {
  ScratchFolder scratch("cliint");
  sim::SimDocument document = sim::GeneratedDocument("cliint", 20);
  for (auto& page : document.pages) {
    page.slowAnswers = 1;
    page.slowDelay = 800ms;
  }
  Service().AddDocument(document);
  Service().ExportEnvironment();
  Service().ClearRequests();
  std::vector<std::string> args = {CliPath(), "-q", "-t", "2", "-o", scratch.path().string(),
                                   sim::DocService::ViewAddress("cliint")};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  ASSERT_TRUE(WaitUntil([] { return testing::RequestsWithPathPrefix("/sim/content/cliint/") >= 2; }));
  kill(pid, SIGINT);
  int status = 0;
  bool ended = WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 20s);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_LT(testing::RequestsWithPathPrefix("/sim/content/cliint/"), 20u);
}

}  // namespace
}  // namespace tessaly
// clang-format on
