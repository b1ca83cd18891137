#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/Process.h"
#include "platform/SystemError.h"
#include "support/tools.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string ChildPath() {
#ifdef _WIN32
  return platform::ExecutableDir() + "qvn_testchild.exe";
#else
  return platform::ExecutableDir() + "qvn_testchild";
#endif
}

std::string Child(const std::string& args) { return "\"" + ChildPath() + "\" " + args; }

// Windows console programs end their lines in CR LF; compare the text alone.
std::string WithoutCr(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
  return s;
}

TEST(RunConsoleCommand, SilentChildGivesEmptyOutput) {
  std::string output = "left over";
  EXPECT_TRUE(RunConsoleCommand(Child("empty"), output));
  EXPECT_EQ(output, "");
}

TEST(RunConsoleCommand, LongOutputArrivesWholeAndInOrder) {
  for (int lines : {100, 20000}) {  // 1 000 bytes over several reads; 200 000 bytes
    std::string output;
    ASSERT_TRUE(RunConsoleCommand(Child("count " + std::to_string(lines)), output));
    std::string expected;
    char line[32];
    for (int i = 0; i < lines; ++i) {
      std::snprintf(line, sizeof line, "line %04d\n", i);
      expected += line;
    }
    EXPECT_EQ(WithoutCr(output), expected) << lines << " lines";
  }
}

TEST(RunConsoleCommand, StdoutAndStderrShareOneTextInArrivalOrder) {
  std::string output;
  ASSERT_TRUE(RunConsoleCommand(Child("both"), output));
  EXPECT_EQ(output, "out0;err0;out1;err1;out2;err2;out3;err3;out4;err4;");
}

TEST(RunConsoleCommand, ChildReadingInputFailsAtOnceInsteadOfBlocking) {
  std::string output;
  ASSERT_TRUE(RunConsoleCommand(Child("readstdin"), output));
  EXPECT_EQ(WithoutCr(output), "read returned -1\n");
}

TEST(RunConsoleCommand, MissingProgramRaisesFileNotFoundAndLeavesOutput) {
  std::string output = "untouched";
  std::string missing = "\"" + platform::ExecutableDir() + "no_such_program.exe\" -h";
  try {
    RunConsoleCommand(missing, output);
    FAIL() << "no failure raised";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), platform::FileNotFoundCode());
    EXPECT_NE(e.Message().find(platform::SystemErrorText(platform::FileNotFoundCode())),
              std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(output, "untouched");
}

TEST(RunConsoleCommand, QuotedArgumentsArriveIntact) {
  std::string output;
  ASSERT_TRUE(RunConsoleCommand(Child("args \"C:\\My DB\\base.fdb\" -h"), output));
  EXPECT_EQ(WithoutCr(output), "[C:\\My DB\\base.fdb]\n[-h]\n");
}

#ifdef _WIN32
TEST(RunConsoleCommand, OemCyrillicComesBackAsText) {
  std::string output;
  ASSERT_TRUE(RunConsoleCommand(Child("cp866"), output));
  EXPECT_EQ(output, "Привет, мир");
}

TEST(RunConsoleCommand, ConversionStopsAtTheFirstZeroByte) {
  std::string output;
  ASSERT_TRUE(RunConsoleCommand(Child("nul"), output));
  EXPECT_EQ(output, std::string("ab\0\x84\xA0", 5));
}
#else
// The command line is never handed to a shell: blanks and shell metacharacters in
// a path or an argument are plain characters.
TEST(RunConsoleCommand, ShellMetacharactersAreNeverInterpreted) {
  std::string base = "/tmp/qvn_child_$HOME_`id`;x_XXXXXX";
  std::vector<char> dirName(base.begin(), base.end());
  dirName.push_back('\0');
  ASSERT_NE(::mkdtemp(dirName.data()), nullptr);
  std::string dir = dirName.data();
  std::string copy = dir + "/test child $(touch pwned);";
  {
    std::ifstream in(ChildPath(), std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
  }
  ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);

  std::string output;
  ASSERT_TRUE(RunConsoleCommand(
      "\"" + copy + "\" args \"$HOME\" \"`id`\" \"a;b\" \"x y\" '$(touch pwned2)'", output));
  EXPECT_EQ(output, "[$HOME]\n[`id`]\n[a;b]\n[x y]\n['$(touch]\n[pwned2)']\n");
  EXPECT_NE(::access("pwned", F_OK), 0);
  EXPECT_NE(::access("pwned2", F_OK), 0);
  ::unlink(copy.c_str());
  ::rmdir(dir.c_str());
}

// Descriptors of ours (the pipe's read end above all) must not reach the child:
// it sees the three standard ones plus whatever this process inherited without
// close-on-exec from whoever started it.
TEST(RunConsoleCommand, OnlyStandardDescriptorsOfOursReachTheChild) {
  std::string expected = "0\n1\n2\n";
  for (int fd = 3; fd < 4096; ++fd) {
    int flags = ::fcntl(fd, F_GETFD);
    if (flags != -1 && !(flags & FD_CLOEXEC)) expected += std::to_string(fd) + "\n";
  }
  std::string output;
  ASSERT_TRUE(RunConsoleCommand(Child("fds"), output));
  EXPECT_EQ(output, expected);
}
#endif

}  // namespace
