#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/ConsoleProcess.h"

#include "platform/Process.h"
#include "platform/SystemError.h"
#include "support/tools.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Whether process `id` has ended within `limit` (a zombie nobody reaps counts as ended).
bool EndsWithin(unsigned long id, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
#ifdef _WIN32
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process) return true;
    DWORD waited = ::WaitForSingleObject(process, 100);
    ::CloseHandle(process);
    if (waited == WAIT_OBJECT_0) return true;
#else
    if (::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH) return true;
    std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
    std::string pid, name, state;
    if (stat >> pid >> name >> state && state == "Z") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
#endif
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
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

// A program that never ends its output, by hanging itself or through an heir that
// inherited the pipe, is ended with its heirs at the time limit and a failure is raised.
TEST(RunConsoleCommand, TimeLimitEndsTheChildAndItsHeirs) {
#ifdef _WIN32
  const std::uint32_t timeoutCode = ERROR_TIMEOUT;
#else
  const std::uint32_t timeoutCode = ETIMEDOUT;
#endif
  for (const char* mode : {"hang", "grandchild"}) {
    SCOPED_TRACE(mode);
    std::string command = Child(mode);
    std::string output;
    try {
      platform::RunConsoleProcess(command, output, std::chrono::seconds(2));
      FAIL() << "no failure raised";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode(), timeoutCode);
      EXPECT_EQ(e.Message(), "Программа не завершила работу за 2 с и была остановлена: " + command);
    }
    ASSERT_EQ(output.rfind("pid ", 0), 0u) << output;
    unsigned long id = std::stoul(output.substr(4));
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(EndsWithin(id, std::chrono::seconds(10))) << "process " << id << " still runs";
  }
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
