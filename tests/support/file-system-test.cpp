#include "support/file-system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/codepage.h"

namespace tessaly {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (hadOld_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakePrivateTempDirectory("fs-test-");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + ToSystemPath(root_) + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  Text root_;
};

TEST(IsUsableNameTest, FollowsTheStrictestPlatform) {
  struct Case {
    const char* name;
    bool usable;
  };
  const Case cases[] = {
      {"report.txt", true},
      {"a b", true},
      {"", false},
      {".", false},
      {"..", false},
      {"...x", true},
      {"a<b", false},
      {"a>b", false},
      {"a:b", false},
      {"a\"b", false},
      {"a/b", false},
      {"a\\b", false},
      {"a|b", false},
      {"a?b", false},
      {"a*b", false},
      {"a\tb", false},
      {"a\x01\x62", false},
      {"trailing.", false},
      {"trailing ", false},
      {" leading", true},
      {"CON", false},
      {"con", false},
      {"Con.txt", false},
      {"nul.tar.gz", false},
      {"PRN", false},
      {"aux", false},
      {"COM1", false},
      {"lpt9.log", false},
      {"COM0", true},
      {"COM10", true},
      {"CONSOLE", true},
      {"xcon", true},
      // 文库: GBK, fine.
      {"\xCE\xC4\xBF\xE2", true},
      // A double-byte character whose trailing byte is 0x5C or 0x7C is no separator.
      {"\x95\x5C", true},
      {"\x81\x7C\x61", true},
      // A lone lead byte at the end, or a lead byte before a control byte: not GBK.
      {"abc\xB0", false},
      {"\xB0\x0A", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsUsableName(c.name), c.usable) << "name: " << c.name;
  }
}

TEST_F(FileSystemTest, EnsureDirectoryCreatesEveryLevelWithOrWithoutSeparator) {
  const Text a = root_ + "a";
  EXPECT_TRUE(EnsureDirectory(a + "/b"));
  EXPECT_TRUE(DirectoryExists(a));
  EXPECT_TRUE(DirectoryExists(a + "/b"));
  EXPECT_TRUE(EnsureDirectory(root_ + "c/d/"));
  EXPECT_TRUE(DirectoryExists(root_ + "c/d"));
  EXPECT_TRUE(EnsureDirectory(root_ + "c/d/"));  // already there
  // 提取到的图片: a GBK name reaches the system as UTF-8.
  const Text chinese = root_ + "\xCC\xE1\xC8\xA1\xB5\xBD\xB5\xC4\xCD\xBC\xC6\xAC";
  EXPECT_TRUE(EnsureDirectory(chinese));
  struct stat st {};
  EXPECT_EQ(::stat((ToSystemPath(root_) + "提取到的图片").c_str(), &st), 0);
  EXPECT_TRUE(EnsureDirectory("/"));
}

TEST_F(FileSystemTest, EnsureDirectoryRefusesWhatCannotBeCreated) {
  ASSERT_TRUE(WriteWholeFile(root_ + "file", "x"));
  EXPECT_FALSE(EnsureDirectory(root_ + "file"));
  EXPECT_FALSE(EnsureDirectory(root_ + "file/sub"));
  EXPECT_FALSE(EnsureDirectory("/proc/no-such-dir/x"));
  EXPECT_FALSE(EnsureDirectory(""));
  // Names another platform would refuse are refused here too, and nothing is made.
  EXPECT_FALSE(EnsureDirectory(root_ + "ok/bad:name"));
  EXPECT_FALSE(DirectoryExists(root_ + "ok"));
  EXPECT_FALSE(EnsureDirectory(root_ + "x/../y"));
  EXPECT_FALSE(EnsureDirectory(root_ + "aux"));
  EXPECT_FALSE(EnsureDirectory(root_ + "dot./z"));
}

TEST(SpecialFolderPathTest, TemporaryFolderHonoursTmpdirAndEndsInSeparator) {
  {
    ScopedEnv env("TMPDIR", "/var/tmp");
    EXPECT_EQ(SpecialFolderPath(11), "/var/tmp/");
  }
  {
    ScopedEnv env("TMPDIR", "/var/tmp/");
    EXPECT_EQ(SpecialFolderPath(11), "/var/tmp/");
  }
  {
    ScopedEnv env("TMPDIR", nullptr);
    EXPECT_EQ(SpecialFolderPath(11), "/tmp/");
  }
  {
    ScopedEnv env("TMPDIR", "relative");
    EXPECT_EQ(SpecialFolderPath(11), "/tmp/");
  }
  EXPECT_EQ(SpecialFolderPath(13), "");
  EXPECT_EQ(SpecialFolderPath(-1), "");
  EXPECT_EQ(SpecialFolderPath(2), "");
  EXPECT_EQ(SpecialFolderPath(9), "/usr/");
}

TEST_F(FileSystemTest, ShellFoldersComeFromTheXdgSettingsAndMustExist) {
  const std::string home = ToSystemPath(root_) + "home";
  ScopedEnv homeEnv("HOME", home.c_str());
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  ScopedEnv data("XDG_DATA_HOME", nullptr);
  ScopedEnv cache("XDG_CACHE_HOME", nullptr);
  const Text gbkHome = FromSystemPath(home);
  EXPECT_EQ(SpecialFolderPath(3), "");  // no Desktop yet
  ASSERT_TRUE(EnsureDirectory(gbkHome + "/Desktop"));
  EXPECT_EQ(SpecialFolderPath(3), gbkHome + "/Desktop/");
  EXPECT_EQ(SpecialFolderPath(0), gbkHome + "/Desktop/");

  // user-dirs.dirs names the documents folder (here 文档).
  ASSERT_TRUE(EnsureDirectory(gbkHome + "/.config"));
  ASSERT_TRUE(WriteWholeFile(gbkHome + "/.config/user-dirs.dirs",
                             "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/文档\"\n"));
  EXPECT_EQ(SpecialFolderPath(1), "");
  ASSERT_TRUE(EnsureDirectory(gbkHome + "/\xCE\xC4\xB5\xB5"));
  EXPECT_EQ(SpecialFolderPath(1), gbkHome + "/\xCE\xC4\xB5\xB5/");

  ASSERT_TRUE(EnsureDirectory(gbkHome + "/.cache"));
  EXPECT_EQ(SpecialFolderPath(12), gbkHome + "/.cache/");
  ASSERT_TRUE(EnsureDirectory(gbkHome + "/.local/share/applications"));
  EXPECT_EQ(SpecialFolderPath(8), gbkHome + "/.local/share/");
  EXPECT_EQ(SpecialFolderPath(6), gbkHome + "/.local/share/applications/");
  EXPECT_EQ(SpecialFolderPath(7), "");
}

TEST(PathSplitTest, TextAfterLastAndBeforeFirst) {
  struct Case {
    const char* text;
    const char* separator;
    const char* afterLast;
    const char* beforeFirst;
  };
  const Case cases[] = {
      {"/x/y.txt", "/", "y.txt", ""},
      {"C:\\x\\y.txt", "\\", "y.txt", "C:"},
      {"C:\\x\\y.txt", "y.txt", "", "C:\\x\\"},
      {"no separator", "/", "", ""},
      {"a/", "/", "", "a"},
      {"", "/", "", ""},
      {"abc", "", "", ""},
      {"aXbxc", "x", "c", "aXb"},  // exact bytes: X is not x
      {"a--b--c", "--", "c", "a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextAfterLast(c.text, c.separator), c.afterLast) << c.text << " | " << c.separator;
    EXPECT_EQ(TextBeforeFirst(c.text, c.separator), c.beforeFirst)
        << c.text << " | " << c.separator;
  }
}

TEST(IsFullFilePathTest, AbsolutePathNamingAFile) {
  struct Case {
    const char* path;
    bool full;
  };
  const Case cases[] = {
      {"/f", true},      {"/tmp/a.txt", true}, {"/tmp/dir/", false}, {"relative/f.txt", false},
      {"f.txt", false},  {"", false},          {"/", false},         {"/tmp/..", false},
      {"/tmp/.", false}, {"C:\\f.txt", false}, {"./f", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsFullFilePath(c.path), c.full) << c.path;
}

TEST_F(FileSystemTest, RenameNeverReplacesAnExistingFile) {
  const Text from = root_ + "work.tmp";
  const Text to = root_ + "\xCE\xC4\xBF\xE2.txt";  // 文库.txt
  ASSERT_TRUE(WriteWholeFile(from, "new"));
  EXPECT_TRUE(RenameToFullPath(from, to));
  EXPECT_FALSE(FileExists(from));
  EXPECT_EQ(ReadWholeFile(to), "new");

  ASSERT_TRUE(WriteWholeFile(from, "second"));
  EXPECT_FALSE(RenameToFullPath(from, to));
  EXPECT_EQ(ReadWholeFile(to), "new");
  EXPECT_EQ(ReadWholeFile(from), "second");

  EXPECT_FALSE(RenameToFullPath(from, "relative.txt"));
  EXPECT_FALSE(RenameToFullPath(from, root_ + "dir/"));
  EXPECT_FALSE(RenameToFullPath(from, root_ + "bad?.txt"));
  EXPECT_FALSE(RenameToFullPath(root_ + "missing", root_ + "other.txt"));
  EXPECT_TRUE(FileExists(from));
}

TEST_F(FileSystemTest, WholeFilesCopiesAndDeletion) {
  const Text path = root_ + "data.bin";
  const std::string binary("a\0b\xFF\r\n", 6);
  EXPECT_TRUE(WriteWholeFile(path, binary));
  Bytes read;
  EXPECT_TRUE(ReadWholeFile(path, read));
  EXPECT_EQ(read, binary);
  EXPECT_TRUE(WriteWholeFile(path, "short"));  // truncates
  EXPECT_EQ(ReadWholeFile(path), "short");

  EXPECT_TRUE(CopyFile(path, root_ + "copy"));
  EXPECT_EQ(ReadWholeFile(root_ + "copy"), "short");
  ASSERT_TRUE(WriteWholeFile(root_ + "copy", "kept"));
  EXPECT_FALSE(CopyFile(path, root_ + "copy", true));
  EXPECT_EQ(ReadWholeFile(root_ + "copy"), "kept");
  EXPECT_TRUE(CopyFile(path, root_ + "copy", false));
  EXPECT_EQ(ReadWholeFile(root_ + "copy"), "short");

  EXPECT_TRUE(DeleteFile(path));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(DeleteFile(path));
  EXPECT_FALSE(ReadWholeFile(path, read));
  EXPECT_TRUE(read.empty());
  EXPECT_FALSE(ReadWholeFile(root_, read));  // a directory is no file
  EXPECT_FALSE(WriteWholeFile(root_ + "no/such/dir/f", "x"));

  ASSERT_TRUE(EnsureDirectory(root_ + "empty"));
  EXPECT_FALSE(DeleteFile(root_ + "empty"));
  EXPECT_FALSE(FileExists(root_ + "empty"));
  EXPECT_TRUE(RemoveDirectory(root_ + "empty/"));
  EXPECT_FALSE(DirectoryExists(root_ + "empty"));
  EXPECT_FALSE(RemoveDirectory(root_));  // not empty
}

TEST(ProgramDirectoryTest, FolderOfTheExecutableUnlessOverridden) {
  const Text dir = ProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_FALSE(EndsWith(dir, kPathSeparator));
  EXPECT_TRUE(FileExists(dir + "/support-tests"));
  SetProgramDirectory("/srv/out/");
  EXPECT_EQ(ProgramDirectory(), "/srv/out");
  SetProgramDirectory("");
  EXPECT_EQ(ProgramDirectory(), dir);
}

TEST(PrivateTempDirectoryTest, OnlyTheUserMayEnter) {
  const Text a = MakePrivateTempDirectory("tessaly-");
  const Text b = MakePrivateTempDirectory("tessaly-");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  EXPECT_NE(a, b);
  EXPECT_TRUE(StartsWith(a, SpecialFolderPath(11) + "tessaly-"));
  EXPECT_TRUE(EndsWith(a, kPathSeparator));
  struct stat st {};
  ASSERT_EQ(::stat(ToSystemPath(a).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(RemoveDirectory(a));
  EXPECT_TRUE(RemoveDirectory(b));
  EXPECT_EQ(MakePrivateTempDirectory("bad/prefix"), "");
  ScopedEnv env("TMPDIR", "/proc/nonexistent");
  EXPECT_EQ(MakePrivateTempDirectory("x"), "");
}

}  // namespace
}  // namespace tessaly
