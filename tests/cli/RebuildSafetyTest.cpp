// The rebuild as a site meets it, against the private server: what must never
// happen to the working database — refused runs that change nothing, a process
// killed at any step, another program attaching meanwhile, links and Cyrillic names.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "maintenance/RebuildChecks.h"
#include "maintenance/Workflow.h"
#include "tests/cli/Site.h"

namespace {

using namespace clitest;

// Every file of a folder with its bytes, to prove that nothing changed.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  return files;
}

std::size_t SideFilesUnder(const std::string& folder) {
  std::size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string ext = entry.path().extension().string();
    if (ext == ".qvnbasebackup" || ext == ".qvntempbase") ++count;
  }
  return count;
}

TEST_F(Site, RefusedRunsChangeNothing) {
  struct Case {
    const char* name;
    std::string file;      // the database, in QORD/DB
    bool holdLock;         // another run holds this database
    std::string refusal;   // the start of the message
  };
  const std::string sideName = "нельзя оптимизировать: его имя совпадает с именем служебного файла";
  const std::string running = "уже оптимизируется другой копией программы";
  for (const Case& c : {Case{"temporary name", "ZARVO.qvntempbase", false, sideName},
                        Case{"backup name", "ZARVO.QVNBASEBACKUP", false, sideName},
                        Case{"second run", "ZARVO.FDB", true, running}}) {
    SCOPED_TRACE(c.name);
    std::string path = dir_.File("QORD/DB/" + c.file);
    WriteFile(path, testfiles::PatternBytes(100000));
    auto before = Snapshot(dir_.File("QORD/DB"));
    std::unique_ptr<platform::NamedLock> lock;
    if (c.holdLock) lock = TakeRebuildLock(RealDatabasePath(path));

    RunResult run = Run("optimize --json '" + path + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.refusal), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Рабочая база данных не изменена."), std::string::npos) << run.err;
    EXPECT_EQ(run.out.rfind("{\"outcome\":\"failure\",\"message\":\"", 0), 0u) << run.out;
    EXPECT_TRUE(Snapshot(dir_.File("QORD/DB")) == before);
    fs::remove(path);
  }
}

// A kill or a power cut at any step: the working name holds a whole database, the old
// or the rebuilt one, and the next run cleans up and succeeds.
TEST_F(Site, KilledAtAnyStepLeavesAWholeDatabase) {
  fbtest::CreateDatabase(dir_, database_);
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  const std::string content = fbtest::Content(dir_, database_);
  const std::string temp = dir_.File("QORD/DB/ZARVO.qvntempbase");
  for (const char* point :
       {"backup-running", "backup", "restore-running", "restore", "swap", "swapped"}) {
    SCOPED_TRACE(point);
    ASSERT_TRUE(fbtest::WaitUntilFree(database_));
    unsigned pageSize = fbtest::PageSizeOf(database_);
    RunResult run = Run("optimize '" + database_ + "'", std::string("QVN_TEST_STOP_AT=") + point);
    EXPECT_EQ(run.status, 86) << run.err;
    // The server may still finish what the killed run started.
    ASSERT_TRUE(fbtest::WaitUntilFree(database_));
    if (platform::FileExists(temp)) {
      ASSERT_TRUE(fbtest::WaitUntilFree(temp));
    }
    unsigned expected = std::string(point) == "swapped" ? 16384u : pageSize;
    EXPECT_EQ(fbtest::PageSizeOf(database_), expected);
    EXPECT_EQ(fbtest::Content(dir_, database_), content);
  }
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  RunResult run = Run("optimize '" + database_ + "'");
  // Right after a restore the server's own first work on the database can land in
  // the backup's window on a loaded machine: the rebuild then stops as for another
  // program (a false alarm, safe). The database stays whole; a second run goes through.
  if (run.status == 1 && run.err.find("подключалась другая программа") != std::string::npos) {
    EXPECT_EQ(fbtest::Content(dir_, database_), content);
    ASSERT_TRUE(fbtest::WaitUntilFree(database_));
    run = Run("optimize '" + database_ + "'");
  }
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
  EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
}

// Another program attaches and commits while the backup or the restore runs, or is
// still attached when the swap comes: its work is not in the backup, so the rebuilt
// file must neither replace the working one nor be offered for a rename by hand.
TEST_F(Site, AnotherProgramAttachingMeanwhileStopsTheRebuild) {
  fbtest::CreateDatabase(dir_, database_, 20000);
  struct Case {
    const char* point;
    bool staysAttached;
  };
  for (const Case& c : {Case{"backup-running", false}, Case{"restore-running", false},
                        Case{"restore", true}}) {
    SCOPED_TRACE(c.point);
    ASSERT_TRUE(fbtest::WaitUntilFree(database_));
    const std::string pauses = dir_.File(std::string("pause-") + c.point);
    fs::create_directories(pauses);
    RunResult run;
    std::thread program([&] {
      run = Run("optimize '" + database_ + "'", std::string("QVN_TEST_PAUSE_AT=") + c.point +
                                                    " QVN_TEST_PAUSE_DIR='" + pauses + "'");
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!platform::FileExists(pauses + "/" + c.point + ".reached") &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string committed = fbtest::RunSql(
        dir_, "CONNECT " + fbtest::Connect(database_) +
                  ";\nINSERT INTO FUEL VALUES (-1, 'committed meanwhile', 1);\nCOMMIT;\n");
    std::unique_ptr<fbtest::Attachment> stays;
    if (c.staysAttached) stays = std::make_unique<fbtest::Attachment>(database_);
    WriteFile(pauses + "/" + c.point + ".go", "");
    program.join();
    stays.reset();

    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("подключалась другая программа"), std::string::npos) << run.err;
    ASSERT_TRUE(fbtest::WaitUntilFree(database_));
    EXPECT_EQ(fbtest::PageSizeOf(database_), 4096u) << "the working file was not replaced";
    EXPECT_NE(fbtest::RunSql(dir_, "CONNECT " + fbtest::Connect(database_) +
                                       ";\nSELECT NAME FROM FUEL WHERE ID = -1;\n")
                  .find("committed meanwhile"),
              std::string::npos)
        << committed;
    EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
    fbtest::RunSql(dir_, "CONNECT " + fbtest::Connect(database_) +
                             ";\nDELETE FROM FUEL WHERE ID = -1;\nCOMMIT;\n");
  }
}

// The path of the database is a link into a Cyrillic folder: the real file is
// rebuilt beside itself, the link stays a link, and the server gets the name right.
TEST_F(Site, LinkIntoACyrillicFolderIsRebuiltBesideTheRealFile) {
  std::string real = dir_.File("QORD/Базы данных/АЗС №1.fdb");
  fs::create_directories(dir_.File("QORD/Базы данных"));
  fbtest::CreateDatabase(dir_, real);
  ASSERT_TRUE(fbtest::WaitUntilFree(real));
  std::string content = fbtest::Content(dir_, real);
  fs::create_symlink(real, database_);

  RunResult run = Run("optimize --json '" + database_ + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("{\"outcome\":\"success\",\"message\":\"" + std::string(kOptimizeSuccess) +
                              "\",\"database\":\"" + fs::canonical(real).string() +
                              "\",\"sizeBefore\":",
                          0),
            0u)
      << run.out;
  EXPECT_NE(run.out.find(",\"pageSizeBefore\":4096,\"pageSizeAfter\":16384,"), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(database_));
  EXPECT_EQ(fbtest::PageSizeOf(real), 16384u);
  EXPECT_EQ(fbtest::Content(dir_, real), content);
  EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
}

}  // namespace
