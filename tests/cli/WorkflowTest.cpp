#include <gtest/gtest.h>

#include "maintenance/DatabaseHeader.h"
#include "maintenance/RebuildChecks.h"
#include "maintenance/Workflow.h"
#include "platform/FileOps.h"
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

// The header as the server's statistics service prints it (captured from the
// private server), and what the rebuild reads from it.
std::vector<std::string> HeaderLines(const std::string& attributes) {
  return {"", "Database \"/opt/QORD/DB/ZARVO.FDB\"", "Gstat execution time Wed Dec  9 01:11:52 2026",
          "", "Database header page information:", "\tFlags\t\t\t0", "\tGeneration\t\t7",
          "\tPage size\t\t4096", "\tODS version\t\t12.0", "\tOldest transaction\t1",
          "\tNext transaction\t4", "\tNext attachment ID\t3",
          "\tImplementation\t\tHW=AMD/Intel/x64 little-endian OS=Linux CC=gcc",
          "\tAttributes\t\t" + attributes, "", "    Variable header data:", "\t*END*", ""};
}

TEST(DatabaseHeader, ReadsPageSizeCountersAndMode) {
  TDatabaseHeader header = ParseDatabaseHeader(HeaderLines("force write"));
  EXPECT_EQ(header.pageSize, 4096u);
  EXPECT_EQ(header.nextTransaction, 4u);
  EXPECT_EQ(header.nextAttachment, 3u);
  EXPECT_TRUE(header.Online());
  for (const char* mode : {"force write, single-user maintenance", "full shutdown",
                           "multi-user maintenance"})
    EXPECT_FALSE(ParseDatabaseHeader(HeaderLines(mode)).Online()) << mode;

  std::vector<std::string> lines = HeaderLines("");
  EXPECT_TRUE(ParseDatabaseHeader(lines).Online());
  for (std::size_t i : {4u, 7u, 10u, 11u}) {  // the header line, the page size, a counter
    std::vector<std::string> missing = lines;
    missing.erase(missing.begin() + static_cast<std::ptrdiff_t>(i));
    EXPECT_THROW(ParseDatabaseHeader(missing), Exception) << lines[i];
  }
  lines[11] = "\tNext attachment ID\t99999999999999999999999";  // past 64 bits
  EXPECT_THROW(ParseDatabaseHeader(lines), Exception);
}

// What the rebuild reads from the server before it goes on: the backup's output and
// the working database's header.
TEST(RebuildChecks, BackupOutputAndDatabaseModeDecideWhetherToGoOn) {
  const std::string closing = "gbak:closing file, committing, and finishing. 1024 bytes written";
  struct OutputCase {
    std::vector<std::string> lines;
    const char* refusal;  // nullptr: passes
  };
  for (const OutputCase& c :
       {OutputCase{{"gbak:writing tables", "gbak:writing shadow files ", closing, ""}, nullptr},
        OutputCase{{"gbak:writing tables", ""}, "Резервная копия не была доведена до конца"},
        OutputCase{{"gbak: ERROR:I/O error during \"open\"", closing},
                   "Сервер сообщил об ошибке при создании резервной копии: gbak: ERROR:"},
        OutputCase{{"gbak:Exiting before completion due to errors", ""},
                   "Сервер сообщил об ошибке при создании резервной копии"},
        OutputCase{{"gbak:text for attribute 1 is too large in put_asciz(), truncating to 255 bytes",
                    closing},
                   "Сервер сообщил об ошибке при создании резервной копии: gbak:text for"},
        OutputCase{{"gbak:writing shadow files", "gbak:    writing shadow file /db.shd", closing},
                   "У базы данных есть теневая копия (shadow)"},
        // Names a user chose that hold the tool's words decide nothing.
        OutputCase{{"gbak:    writing data for table \"ERROR: Exiting before completion\"",
                    "gbak:    writing index \"truncating to closing file, committing, and finishing\"",
                    "gbak:    writing privilege for user ERROR:", closing},
                   nullptr},
        OutputCase{{"gbak:    writing data for table \"closing file, committing, and finishing\"", ""},
                   "Резервная копия не была доведена до конца"}}) {
    try {
      CheckBackupOutput(c.lines);
      EXPECT_EQ(c.refusal, nullptr) << c.lines[0];
    } catch (const Exception& e) {
      ASSERT_NE(c.refusal, nullptr) << e.Message();
      EXPECT_EQ(e.Message().rfind(c.refusal, 0), 0u) << e.Message();
    }
  }

  struct ModeCase {
    const char* attributes;
    const char* refusal;
  };
  for (const ModeCase& c : {ModeCase{"force write", nullptr}, ModeCase{"", nullptr},
                            ModeCase{"force write, full shutdown", "не в рабочем режиме"},
                            ModeCase{"single-user maintenance", "не в рабочем режиме"},
                            ModeCase{"force write, read only", "не в рабочем режиме"},
                            ModeCase{"force write, backup lock", "заблокирована для копирования файла"},
                            ModeCase{"backup merge", "заблокирована для копирования файла"}}) {
    TDatabaseHeader header;
    header.attributes = c.attributes;
    try {
      CheckDatabaseMode("/db", header);
      EXPECT_EQ(c.refusal, nullptr) << c.attributes;
    } catch (const Exception& e) {
      ASSERT_NE(c.refusal, nullptr) << e.Message();
      EXPECT_NE(e.Message().find(c.refusal), std::string::npos) << e.Message();
    }
  }
}

TEST(RebuildChecks, RoomForTheBackupAndTheNewFile) {
  testfiles::TempDir dir;
  testfiles::WriteFile(dir.File("base.fdb"), "x");
  std::uint64_t free = platform::FreeSpaceBeside(dir.File("base.fdb")).value_or(0);
  ASSERT_GT(free, RoomNeededForRebuild(0));
  EXPECT_NO_THROW(CheckRoomForRebuild(dir.File("base.fdb"), 0));
  try {
    CheckRoomForRebuild(dir.File("base.fdb"), free / 2);
    FAIL() << "a file half the free space cannot be rebuilt beside itself";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("Недостаточно места на диске для оптимизации базы данных \"" +
                               dir.File("base.fdb") + "\": нужно не менее " +
                               std::to_string((RoomNeededForRebuild(free / 2) + 1048575) >> 20) +
                               " МБ, свободно "),
              std::string::npos)
        << e.Message();
  }
}

}  // namespace
