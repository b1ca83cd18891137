#include <gtest/gtest.h>

#include "platform/ConsoleProcess.h"

namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> args;
};

TEST(SplitCommandLine, FollowsTheWindowsRuntimeRules) {
  const SplitCase cases[] = {
      {R"(C:\QORD\FIREBIRD\bin\gstat.exe "C:\QORD\DB\ZARVO.FDB" -h)",
       {R"(C:\QORD\FIREBIRD\bin\gstat.exe)", R"(C:\QORD\DB\ZARVO.FDB)", "-h"}},
      {R"(tool "C:\My DB\base.fdb" -h)", {"tool", R"(C:\My DB\base.fdb)", "-h"}},
      {"  a\t b  ", {"a", "b"}},
      {"", {}},
      {"   ", {}},
      {R"("")", {""}},
      {R"(a\\"b c")", {R"(a\b c)"}},
      {R"(a\"b)", {R"(a"b)"}},
      {R"(a\\\"b)", {R"(a\"b)"}},
      {R"("a""b")", {R"(a"b)"}},
      {R"(a\b\\c)", {R"(a\b\\c)"}},
      {R"("unterminated quote)", {"unterminated quote"}},
      {R"(x"y z"w)", {"xy zw"}},
      {"$HOME `id` a;b", {"$HOME", "`id`", "a;b"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(platform::SplitCommandLine(c.line), c.args) << c.line;
  }
}

}  // namespace
