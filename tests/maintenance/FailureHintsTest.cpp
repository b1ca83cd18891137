#include <gtest/gtest.h>

#include <string>

#include "maintenance/FailureHints.h"

namespace {

// Which line a failure gets: the messages as the rebuild raises them, with the
// server's own texts (Firebird 3, checked against the private server; the Windows
// system texts as a Russian or English Windows gives them).
TEST(OperatorHint, NamesTheFailuresASiteMeets) {
  enum Kind { kNone, kPassword, kNoServer, kDiskFull, kNoFile, kInUse };
  struct Case {
    const char* message;
    Kind kind;
  };
  const Case cases[] = {
      {"Создание резервной копии -> Your user name and password are not defined. Ask your "
       "database administrator to set up a Firebird login. <# EIBInterBaseError #>",
       kPassword},
      {"Создание резервной копии -> Error occurred during login, please check server "
       "firebird.log for details <# EIBInterBaseError #>",
       kPassword},
      {"Создание резервной копии -> Unable to complete network request to host "
       "\"127.0.0.1\".\r\nFailed to establish a connection. <# EIBInterBaseError #>",
       kNoServer},
      {"Восстановление из резервной копии -> Error reading data from the connection. "
       "<# EIBInterBaseError #>",
       kNoServer},
      {"Создание резервной копии -> free disk space exhausted\r\nExiting before completion due "
       "to errors <# EIBInterBaseError #>",
       kDiskFull},
      {"Восстановление из резервной копии -> I/O error during \"write\" operation for file "
       "\"/data/ZARVO.qvntempbase\"\r\nError while trying to write to file\r\nNo space left on "
       "device <# EIBInterBaseError #>",
       kDiskFull},
      {"Восстановление из резервной копии -> I/O error during \"write\" operation for file "
       "\"C:\\QORD\\DB\\ZARVO.qvntempbase\"\r\nError while trying to write to file\r\n"
       "Недостаточно места на диске. <# EIBInterBaseError #>",
       kDiskFull},
      {"Создание резервной копии -> I/O error during \"open\" operation for file "
       "\"C:\\QORD\\DB\\ZARVO.FDB\"\r\nError while trying to open file\r\nThe system cannot "
       "find the file specified. <# EIBInterBaseError #>",
       kNoFile},
      {"Восстановление из резервной копии -> I/O error during \"open O_CREAT\" operation for "
       "file \"Z:\\ZARVO.qvntempbase\" <# EIBInterBaseError #>",
       kNoFile},
      {"Создание резервной копии -> database shutdown unsuccessful <# EIBInterBaseError #>",
       kInUse},
      {"Создание резервной копии -> lock time-out on wait transaction\r\nobject "
       "C:\\QORD\\DB\\ZARVO.FDB is in use <# EIBInterBaseError #>",
       kInUse},
      {"Восстановление из резервной копии -> could not drop database /data/ZARVO.FDB "
       "(database might be in use)\r\nExiting before completion due to errors "
       "<# EIBInterBaseError #>",
       kInUse},
      {"UNABLE TO COMPLETE NETWORK REQUEST TO HOST \"127.0.0.1\".", kNoServer},
      // The program's own messages already say what to do.
      {"Недостаточно места на диске для оптимизации базы данных \"C:\\QORD\\DB\\ZARVO.FDB\": "
       "нужно не менее 100 МБ, свободно 10 МБ. Освободите место на диске и повторите попытку. "
       "Рабочая база данных не изменена.",
       kNone},
      {"Файл C:\\QORD\\DB\\ZARVO.FDB занят! Закройте все программы, которые работают с этой "
       "базой данных!",
       kNone},
      {"Восстановление из резервной копии -> gbak: ERROR: unknown failure "
       "<# EIBInterBaseError #>",
       kNone},
      {"", kNone},
  };
  const std::string none = OperatorHint("");
  const std::string lines[] = {
      none,
      OperatorHint("Your user name and password are not defined."),
      OperatorHint("Unable to complete network request to host"),
      OperatorHint("No space left on device"),
      OperatorHint("Error while trying to open file"),
      OperatorHint("database shutdown unsuccessful"),
  };
  EXPECT_EQ(none, "");
  for (int i = 1; i < 6; ++i) {
    EXPECT_NE(lines[i].find("Рабочая база данных не изменена."), std::string::npos) << i;
    for (int j = 1; j < i; ++j) EXPECT_NE(lines[i], lines[j]) << i << " " << j;
  }
  for (const Case& c : cases) EXPECT_EQ(OperatorHint(c.message), lines[c.kind]) << c.message;
}

}  // namespace
