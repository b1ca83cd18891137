#include <gtest/gtest.h>

#include "maintenance/Workflow.h"
#include "support/Exceptions.h"
#include "tests/fbclient/TestFiles.h"

namespace {

std::string RefusalOf(const std::string& path) {
  try {
    CheckDatabasePath(path);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<accepted>";
}

TEST(CheckDatabasePath, RefusesWhatIsNotALocalExistingFile) {
  const std::string local = "База данных должна находиться НА ЭТОМ КОМПЬЮТЕРЕ!!!";
  EXPECT_EQ(RefusalOf("s:\\db\\base.fdb"), local);
  EXPECT_EQ(RefusalOf("S:\\db\\base.fdb"), local);
  EXPECT_EQ(RefusalOf("\\\\server\\share\\base.fdb"), local + "\r\nСетевые пути НЕ ДОПУСКАЮТСЯ!!!");
  EXPECT_EQ(RefusalOf("D:\\db\\base.fdb"), "Файл \"D:\\db\\base.fdb\" не найден на этом компьютере!");
  EXPECT_EQ(RefusalOf("S:"), "Файл \"S:\" не найден на этом компьютере!");  // no backslash

  testfiles::TempDir dir;
  EXPECT_EQ(RefusalOf(dir.Dir()), "Файл \"" + dir.Dir() + "\" не найден на этом компьютере!")
      << "a directory is not a file";
  testfiles::WriteFile(dir.File("base.fdb"), "x");
  EXPECT_EQ(RefusalOf(dir.File("base.fdb")), "<accepted>");
}

}  // namespace
