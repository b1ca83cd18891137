// The rebuild as a site meets it, against the private server: what must never
// happen to the working database — refused runs that change nothing, a process
// killed at any step, other programs at work meanwhile, links and Cyrillic names.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "maintenance/DatabaseHeader.h"
#include "maintenance/DatabaseShutdown.h"
#include "maintenance/RebuildChecks.h"
#include "maintenance/Workflow.h"
#include "platform/posix/Fd.h"
#include "tests/cli/Site.h"

namespace {

using namespace clitest;

// Every entry of a folder with its bytes (regular files) or its kind, to prove that
// nothing changed.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] =
        entry.is_regular_file() ? ReadFile(entry.path().string())
                                : "kind " + std::to_string(static_cast<int>(entry.status().type()));
  }
  return files;
}

std::size_t SideFilesUnder(const std::string& folder) {
  std::size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string ext = entry.path().extension().string();
    if (ext == ".qvnbasebackup" || ext == ".qvntempbase" || ext == ".qvnshutdown") ++count;
  }
  return count;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The header as the server's statistics service prints it.
TDatabaseHeader HeaderOf(const std::string& path) {
  fbtest::ServerSettings server = fbtest::Server();
  return ReadDatabaseHeader("127.0.0.1", path, "SYSDBA", server.password, server.port);
}

// The server's own service tool, for what the program never does to a database.
std::string ServiceTool(const std::string& arguments) {
  fbtest::ServerSettings server = fbtest::Server();
  std::string output;
  RunConsoleCommand("fbsvcmgr 127.0.0.1/" + std::to_string(server.port) +
                        ":service_mgr user SYSDBA password " + server.password + " " + arguments,
                    output);
  return output;
}

std::string Query(const testfiles::TempDir& dir, const std::string& path, const std::string& sql) {
  return fbtest::RunSql(dir, "CONNECT " + fbtest::Connect(path) + ";\n" + sql + "\n");
}

// Runs the program in the background until it reaches `point`, then calls `meanwhile`
// and lets it go on.
RunResult RunPausedAt(Site& site, const std::string& arguments, const std::string& point,
                      const std::string& pauses, const std::function<void()>& meanwhile,
                      const std::string& environment = "") {
  fs::remove_all(pauses);  // no marks of an earlier pause
  fs::create_directories(pauses);
  RunResult run;
  std::thread program([&] {
    run = site.Run(arguments, "QVN_TEST_PAUSE_AT=" + point + " QVN_TEST_PAUSE_DIR='" + pauses +
                                  "' " + environment);
  });
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!platform::FileExists(pauses + "/" + point + ".reached") &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  meanwhile();
  WriteFile(pauses + "/" + point + ".go", "");
  program.join();
  return run;
}

// Refusals decided on the path and the file alone: nothing in the folder changes.
TEST_F(Site, RefusedRunsChangeNothing) {
  struct Case {
    const char* name;
    std::function<std::string()> setUp;  // makes the files; returns the path to optimize
    std::string locked;                  // another run holds the lock of this path
    std::string refusal;                 // part of the message
  };
  const std::string folder = dir_.File("QORD/DB/");
  auto file = [&](const std::string& name) {
    return [&, name] {
      WriteFile(folder + name, testfiles::PatternBytes(100000));
      return folder + name;
    };
  };
  const std::string sideName = "нельзя оптимизировать: его имя совпадает с именем служебного файла";
  const std::string running = "уже оптимизируется другой копией программы";
  const std::string notAFile = "не является файлом базы данных";
  for (const Case& c : std::vector<Case>{
           {"temporary name", file("ZARVO.qvntempbase"), "", sideName},
           {"backup name", file("ZARVO.QVNBASEBACKUP"), "", sideName},
           {"state name", file("ZARVO.qvnshutdown"), "", sideName},
           {"second run", file("ZARVO.FDB"), "ZARVO.FDB", running},
           {"another database of the same stem", file("ZARVO.FDB"), "ZARVO.GDB", running},
           {"trailing blank", file("ZARVO.FDB "), "", "заканчивается пробелом"},
           {"hard link",
            [&] {
              WriteFile(folder + "ZARVO.FDB", "x");
              fs::create_hard_link(folder + "ZARVO.FDB", folder + "COPY.FDB");
              return folder + "ZARVO.FDB";
            },
            "", "есть другие имена (жёсткие ссылки: 2)"},
           {"FIFO",
            [&] {
              ::mkfifo((folder + "ZARVO.FDB").c_str(), 0600);
              return folder + "ZARVO.FDB";
            },
            "", notAFile},
           {"device",
            [&] {
              fs::create_symlink("/dev/null", folder + "ZARVO.FDB");
              return folder + "ZARVO.FDB";
            },
            "", notAFile},
           // The server would write the backup or the new database wherever a link
           // at a side file's name points, and the swap would move the link in.
           {"link at the temporary name",
            [&] {
              file("ZARVO.FDB")();
              fs::create_symlink(dir_.File("elsewhere/new.fdb"), folder + "ZARVO.qvntempbase");
              return folder + "ZARVO.FDB";
            },
            "", "ссылка на другой файл или папку"},
           {"link at the backup name",
            [&] {
              file("ZARVO.FDB")();
              fs::create_symlink(dir_.File("elsewhere/copy.fbk"), folder + "ZARVO.qvnbasebackup");
              return folder + "ZARVO.FDB";
            },
            "", "ссылка на другой файл или папку"}}) {
    SCOPED_TRACE(c.name);
    std::string path = c.setUp();
    auto before = Snapshot(folder);
    std::unique_ptr<platform::NamedLock> lock;
    if (!c.locked.empty()) lock = TakeRebuildLock(RealDatabasePath(folder + c.locked));

    RunResult run = Run("optimize --json '" + path + "'");
    EXPECT_EQ(run.status, 3) << "refused before anything was changed";
    EXPECT_TRUE(Has(run.err, c.refusal)) << run.err;
    EXPECT_TRUE(Has(run.err, "Рабочая база данных не изменена.")) << run.err;
    const std::string reason = c.refusal == running ? "busy" : "path";
    EXPECT_EQ(run.out.rfind("{\"outcome\":\"failure\",\"reason\":\"" + reason + "\",\"message\":\"", 0),
              0u)
        << run.out;
    EXPECT_TRUE(Snapshot(folder) == before);
    EXPECT_TRUE(Has(ReadFile(dir_.File("QORD/LogFiles/QVNOptimizeDB.log")),
                    platform::Utf8ToCp1251("Ошибка оптимизации: ")))
        << "the refusal is in the log";
    EXPECT_FALSE(fs::exists(dir_.File("elsewhere")));
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
}

// A database that another program works with, or that somebody put in a mode of
// its own, is refused and left exactly in that mode, with its data.
TEST_F(Site, DatabasesInUseOrInAModeOfTheirOwnAreLeftAsTheyAre) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> setUp;
    std::string refusal;
    const char* reason;
  };
  std::unique_ptr<fbtest::Attachment> held;
  for (const Case& c : std::vector<Case>{
           {"attached",
            [&](const std::string& db) { held = std::make_unique<fbtest::Attachment>(db); },
            "работает другая программа", "busy"},
           {"shutdown",
            [&](const std::string& db) {
              ServiceTool("action_properties dbname " + db +
                          " prp_shutdown_mode prp_sm_full prp_force_shutdown 0");
            },
            "не в рабочем режиме (force write, full shutdown)", "path"},
           {"readonly",
            [&](const std::string& db) {
              ServiceTool("action_properties dbname " + db + " prp_access_mode prp_am_readonly");
            },
            "не в рабочем режиме", "path"},
           // The server would refuse the shutdown ("Target shutdown mode is invalid").
           {"filecopy",
            [&](const std::string& db) { Query(dir_, db, "ALTER DATABASE BEGIN BACKUP;"); },
            "заблокирована для копирования файла (force write, backup lock)", "path"},
           {"shadow",
            [&](const std::string& db) {
              Query(dir_, db, "CREATE SHADOW 1 '" + db + ".shadow';\nCOMMIT;");
            },
            "есть теневая копия", "path"}}) {
    SCOPED_TRACE(c.name);
    std::string db = dir_.File(std::string("QORD/DB/") + c.name + ".FDB");
    fbtest::CreateDatabase(dir_, db, 100);
    std::string content = fbtest::Content(dir_, db);
    c.setUp(db);
    std::string attributes = HeaderOf(db).attributes;

    RunResult run = Run("optimize --json '" + db + "'");
    EXPECT_EQ(run.status, 3) << "refused before anything was changed";
    EXPECT_TRUE(Has(run.out, c.refusal)) << run.out;
    EXPECT_EQ(run.out.rfind(std::string("{\"outcome\":\"failure\",\"reason\":\"") + c.reason + "\"", 0),
              0u)
        << run.out;
    EXPECT_EQ(HeaderOf(db).attributes, attributes);
    EXPECT_EQ(fbtest::PageSizeOf(db), 4096u);
    held.reset();
    if (std::string(c.name) == "filecopy") Query(dir_, db, "ALTER DATABASE END BACKUP;");
    ServiceTool("action_properties dbname " + db + " prp_online_mode prp_sm_normal");
    EXPECT_EQ(fbtest::Content(dir_, db), content);
    EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
  }
}

// The server stops while the backup runs: the operator is told that the server does
// not answer, not that another program is at work; the database stays shut down
// until the next start, once the server is back, brings it back online (a JSON notice
// on stderr, beside the progress).
TEST_F(Site, ServerStoppedDuringTheBackupIsToldAsTheServerGone) {
  // A server of our own, which the test may stop.
  const std::string script = "'" + std::string(QVN_SOURCE_DIR) + "/scripts/fbserver.sh' ";
  const std::string folder = "'" + dir_.File("server") + "'";
  const std::string start = "QVN_FB_SERVER=" + server_.kind + " " + script + "start " + folder;
  auto shell = [](const std::string& command) {
    std::string output;
    if (std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
      ::pclose(pipe);
    }
    return output;
  };
  std::string settings = shell(start);
  struct Stop {
    std::function<void()> stop;
    ~Stop() { stop(); }
  } stop{[&] { shell(script + "stop " + folder); }};
  std::smatch port, password;
  ASSERT_TRUE(std::regex_search(settings, port, std::regex("QVN_FB_PORT=([0-9]+)"))) << settings;
  ASSERT_TRUE(std::regex_search(settings, password, std::regex("QVN_FB_PASSWORD=([A-Za-z0-9]+)")))
      << settings;
  WriteIni(password[1], std::stoi(port[1]));
  const std::string connect = "'127.0.0.1/" + port[1].str() + ":" + database_ +
                              "' USER 'SYSDBA' PASSWORD '" + password[1].str() + "'";
  fbtest::RunSql(dir_, "CREATE DATABASE " + connect + " PAGE_SIZE 4096;\nCREATE TABLE T (I "
                       "INTEGER);\nINSERT INTO T VALUES (1);\nCOMMIT;\n");
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));

  RunResult run = RunPausedAt(*this, "optimize '" + database_ + "'", "backup-running",
                              dir_.File("pauses"), [&] { shell(script + "stop " + folder); });
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(StartsALine(run.err, "Создание резервной копии -> ")) << run.err;
  EXPECT_TRUE(Has(run.err, "<# EIBInterBaseError #>\r\nНет связи с сервером Firebird на этом "
                           "компьютере"))
      << run.err;
  EXPECT_TRUE(Has(run.err, "\r\nБаза данных \"" + database_ +
                               "\" осталась закрытой для других программ: сервер Firebird не "
                               "отвечает"))
      << run.err;
  EXPECT_FALSE(Has(run.err, "другая программа") || Has(run.err, "Закройте")) << run.err;

  settings = shell(start);
  ASSERT_TRUE(std::regex_search(settings, port, std::regex("QVN_FB_PORT=([0-9]+)"))) << settings;
  ASSERT_TRUE(std::regex_search(settings, password, std::regex("QVN_FB_PASSWORD=([A-Za-z0-9]+)")));
  WriteIni(password[1], std::stoi(port[1]));
  RunResult again = Run("optimize --json '" + database_ + "'");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err.rfind("{\"notice\":\"recovery\",\"message\":\"Предыдущая оптимизация", 0),
            0u)
      << again.err;
  std::istringstream lines(again.err);
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(line.size() > 2 && line.front() == '{' && line.substr(line.size() - 2) == "}\r")
        << "a JSON line: " << line;
}

// A kill or a power cut at any step: the working name holds a whole database, the old
// or the rebuilt one; the next start of the program brings it back online, and the
// next run succeeds.
TEST_F(Site, KilledAtAnyStepLeavesAWholeDatabaseThatTheNextStartBringsBack) {
  fbtest::CreateDatabase(dir_, database_);
  const std::string content = fbtest::Content(dir_, database_);
  for (const char* point : {"shutdown", "backup-running", "backup", "restore-running", "restore",
                            "swap", "swapped"}) {
    SCOPED_TRACE(point);
    unsigned pageSize = fbtest::PageSizeOf(database_);
    RunResult run = Run("optimize '" + database_ + "'", std::string("QVN_TEST_STOP_AT=") + point);
    EXPECT_EQ(run.status, 86) << run.err;
    bool shutDown = std::string(point) != "swapped";
    EXPECT_EQ(HeaderOf(database_).Online(), !shutDown) << HeaderOf(database_).attributes;

    RunResult start = Run("stat '" + database_ + "'");
    EXPECT_EQ(start.status, 0) << start.err;
    EXPECT_EQ(Has(start.err, "База данных возвращена в рабочий режим; она не изменена."), shutDown)
        << start.err;
    EXPECT_TRUE(HeaderOf(database_).Online());
    EXPECT_EQ(fbtest::PageSizeOf(database_), shutDown ? pageSize : 16384u);
    EXPECT_EQ(fbtest::Content(dir_, database_), content);
  }
  RunResult run = Run("optimize '" + database_ + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
  EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
}

// Killed while the server waits for a program to leave before it shuts the database
// down: the shutdown comes after the run is gone, and a recovery made at once still
// leaves the database online.
TEST_F(Site, KilledWhileTheServerWaitsToShutDownIsBroughtBackAllTheSame) {
  fbtest::CreateDatabase(dir_, database_);
  const std::string content = fbtest::Content(dir_, database_);
  const std::string statePath = dir_.File("QORD/DB/ZARVO.qvnshutdown");
  fbtest::Attachment holder(database_);
  ASSERT_TRUE(holder.Attached()) << holder.Error();
  std::thread program([&] { Run("optimize '" + database_ + "'"); });
  std::optional<TShutdownState> state;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((!state || state->processId == 0) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (platform::FileExists(statePath)) state = ParseStateFile(ReadFile(statePath));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));  // the server is waiting now
  if (state && state->processId > 0) ::kill(static_cast<pid_t>(state->processId), SIGKILL);
  program.join();
  ASSERT_TRUE(state && state->processId > 0);
  // The program leaves while the recovery looks: the server shuts the database down.
  std::thread leave = fbtest::DetachLater(holder, std::chrono::seconds(1));
  RunResult recover = Run("recover '" + database_ + "'");
  leave.join();
  EXPECT_EQ(recover.status, 0) << recover.err;
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_TRUE(HeaderOf(database_).Online()) << HeaderOf(database_).attributes;
  EXPECT_FALSE(platform::FileExists(statePath));
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
}

// Another program attaches, with or without a commit, while the rebuild runs: the
// server shuts it out, or its commit is in the database that stands at the end.
TEST_F(Site, OtherProgramsAreShutOutOrStopTheRebuild) {
  fbtest::CreateDatabase(dir_, database_, 20000);
  // Tables enough that the backup's output outgrows the server's buffer: the backup
  // stays attached while the program is held at its first line.
  Query(dir_, database_,
        "SET TERM ^;\nEXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 60) DO BEGIN "
        "EXECUTE STATEMENT 'CREATE TABLE EXTRA' || I || ' (ID INTEGER)'; I = I + 1; END END^\n"
        "SET TERM ;^\nCOMMIT;");
  const std::string content = fbtest::Content(dir_, database_);
  struct Case {
    const char* point;
    bool commit;
    bool holdsThePlace;  // stays attached, taking the one place the backup needs
  };
  const std::string insert = "INSERT INTO FUEL VALUES (-1, 'committed meanwhile', 1);\nCOMMIT;";
  // During the backup a second SYSDBA gets in on Classic and SuperClassic, and right
  // after it on every server: the server's count of transactions tells, and the
  // rebuild refuses.
  for (const Case& c : {Case{"shutdown", true, true}, Case{"backup-running", false, false},
                        Case{"backup-running", true, false}, Case{"backup-ended", true, false},
                        Case{"restore-running", true, false}, Case{"restore", true, false}}) {
    SCOPED_TRACE(std::string(c.point) + (c.commit ? " with a commit" : ""));
    unsigned pageSize = fbtest::PageSizeOf(database_);
    std::string other;
    std::unique_ptr<fbtest::Attachment> stays;
    RunResult run = RunPausedAt(*this, "optimize '" + database_ + "'", c.point,
                                dir_.File(std::string("pause-") + c.point), [&] {
                                  other = Query(dir_, database_, c.commit ? insert : "");
                                  if (c.holdsThePlace)
                                    stays = std::make_unique<fbtest::Attachment>(database_);
                                });
    stays.reset();
    if (c.holdsThePlace) {
      // The program in the one place kept the server from bringing the database back
      // online; the next start does, once it has gone.
      EXPECT_TRUE(Has(run.err, "осталась закрытой для других программ")) << run.err;
      EXPECT_TRUE(Has(Run("stat '" + database_ + "'").err, "возвращена в рабочий режим"));
    }
    const bool shutOut = Has(other, "shutdown");
    const bool committed = c.commit && !shutOut && !Has(other, "Statement failed");
    std::string row = Query(dir_, database_, "SELECT NAME FROM FUEL WHERE ID = -1;");
    EXPECT_TRUE(HeaderOf(database_).Online());
    EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
    EXPECT_EQ(Has(row, "committed meanwhile"), committed) << other << row;
    if (c.holdsThePlace || !shutOut) {
      EXPECT_TRUE(committed || !c.commit) << other;
      EXPECT_EQ(run.status, 3);
      EXPECT_TRUE(Has(run.err, "К базе данных подключилась другая программа")) << run.err;
      EXPECT_EQ(fbtest::PageSizeOf(database_), pageSize);
    } else {
      EXPECT_TRUE(shutOut) << "the server let another program in:\n" << other;
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(fbtest::PageSizeOf(database_), 16384u);
    }
    Query(dir_, database_, "DELETE FROM FUEL WHERE ID = -1;\nCOMMIT;");
    EXPECT_EQ(fbtest::Content(dir_, database_), content);
  }
}

// Back-to-back runs meet the server's own work of the run before (here also a
// linger that keeps the database open, database triggers and a sweep that falls
// due): none of them may be refused, and none waits for the linger to run out.
TEST_F(Site, TenBackToBackRebuildsOfALingeringDatabase) {
  fbtest::CreateDatabase(dir_, database_);
  // Database triggers and an automatic sweep that falls due in the rebuild: the
  // server's count of transactions must not take their work for another program's.
  Query(dir_, database_,
        "ALTER DATABASE SET LINGER TO 90;\nCREATE TABLE SESSIONS (N INTEGER);\nSET TERM ^;\n"
        "CREATE TRIGGER ON_CONNECT ON CONNECT AS BEGIN INSERT INTO SESSIONS VALUES "
        "(CURRENT_CONNECTION); END^\nCREATE TRIGGER ON_DISCONNECT ON DISCONNECT AS BEGIN INSERT "
        "INTO SESSIONS VALUES (-CURRENT_CONNECTION); END^\nSET TERM ;^\nCOMMIT;\n"
        "SET TRANSACTION NO AUTO UNDO;\nINSERT INTO FUEL VALUES (-2, 'rolled back', 0);\n"
        "ROLLBACK;\nCOMMIT;\nCOMMIT;\nCOMMIT;\nCOMMIT;\nCOMMIT;\nCOMMIT;");
  // The working file's permissions are the site's: the rebuilt file takes them over.
  fs::permissions(database_, fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::others_read);
  const std::string content = fbtest::Content(dir_, database_);
  ServiceTool("action_properties dbname " + database_ + " prp_sweep_interval 2");
  for (int i = 0; i < 10; ++i) {
    RunResult run = Run("optimize '" + database_ + "'");
    EXPECT_EQ(run.status, 0) << "run " << i << ": " << run.err;
  }
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
  EXPECT_TRUE(Has(Query(dir_, database_, "SELECT RDB$LINGER FROM RDB$DATABASE;"), "90"));
  EXPECT_EQ(fs::status(database_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
}

// The replace itself: refused (the working file held by something else), or done
// but not yet flushed to the disk; each reported as what it is.
TEST_F(Site, AReplaceThatFailsOrIsNotFlushedIsReportedAsItIs) {
  fbtest::CreateDatabase(dir_, database_);
  const std::string content = fbtest::Content(dir_, database_);

  platform::ScopedFd holder;
  RunResult refused = RunPausedAt(*this, "optimize '" + database_ + "'", "restore",
                                  dir_.File("pause-restore"), [&] {
                                    holder.Reset(::open(database_.c_str(), O_RDONLY));
                                    ::flock(holder.Get(), LOCK_SH);
                                  });
  holder.Reset();
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Has(refused.err, "Оптимизированная база данных не установлена на место рабочей"))
      << refused.err;
  // Where the server needs the file to itself to bring it back online (SuperServer),
  // the holder keeps it shut down, whole, until the next start; elsewhere it is back
  // at once.
  EXPECT_TRUE(Has(refused.err, "Файл базы данных цел и не изменён.") ||
              Has(refused.err, "Рабочая база данных не изменена."))
      << refused.err;
  EXPECT_FALSE(Has(refused.err, "вручную"));
  EXPECT_EQ(fbtest::PageSizeOf(database_), 4096u);
  EXPECT_EQ(Run("stat '" + database_ + "'").status, 0);
  EXPECT_TRUE(HeaderOf(database_).Online());

  RunResult unflushed = Run("optimize '" + database_ + "'", "QVN_TEST_FAIL_AT=folder-flush");
  EXPECT_EQ(unflushed.status, 1);
  EXPECT_TRUE(Has(unflushed.err, "установлена на место рабочей \"" + database_ +
                                     "\" и готова к работе"))
      << unflushed.err;
  EXPECT_FALSE(Has(unflushed.err, "не изменена")) << unflushed.err;
  EXPECT_EQ(fbtest::PageSizeOf(database_), 16384u);
  EXPECT_TRUE(HeaderOf(database_).Online());
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
  // The state file stays until a start sees the rebuilt database online: had the old
  // file come back, shut down, it would bring it back online.
  EXPECT_TRUE(platform::FileExists(dir_.File("QORD/DB/ZARVO.qvnshutdown")));
  EXPECT_EQ(Run("stat '" + database_ + "'").status, 0);
  EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
}

// The path of the database is a link into a Cyrillic folder: the real file is
// rebuilt beside itself, the link stays a link, and the server gets the name right.
TEST_F(Site, LinkIntoACyrillicFolderIsRebuiltBesideTheRealFile) {
  std::string real = dir_.File("QORD/Базы данных/АЗС №1.fdb");
  fs::create_directories(dir_.File("QORD/Базы данных"));
  fbtest::CreateDatabase(dir_, real);
  std::string content = fbtest::Content(dir_, real);
  fs::create_symlink(real, database_);

  RunResult run = Run("optimize --json '" + database_ + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("{\"outcome\":\"success\",\"reason\":null,\"message\":\"" +
                              std::string(kOptimizeSuccess) +
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

namespace {

using namespace clitest;

// "ZARVO.FDB" and "ZARVO.GDB" share the state file: a run of one, killed in full
// shutdown, is undone by a start that looks at the other; a database that somebody
// shut down again after that run is left in their hands.
TEST_F(Site, AStateFileUndoesOnlyTheShutdownItRecordsOfTheDatabaseItNames) {
  const std::string other = dir_.File("QORD/DB/ZARVO.GDB");
  fbtest::CreateDatabase(dir_, database_, 10);
  fbtest::CreateDatabase(dir_, other, 10);
  const std::string content = fbtest::Content(dir_, other);
  for (bool shutAgainByOthers : {false, true}) {
    SCOPED_TRACE(shutAgainByOthers ? "shut down again by somebody else" : "left by our run");
    EXPECT_EQ(Run("optimize '" + other + "'", "QVN_TEST_STOP_AT=restore").status, 86);
    ASSERT_TRUE(HeaderOf(other).FullShutdown());
    if (shutAgainByOthers) {
      ServiceTool("action_properties dbname " + other + " prp_online_mode prp_sm_normal");
      Query(dir_, other, "UPDATE FUEL SET NAME = NAME WHERE ID = 1;\nCOMMIT;");
      ServiceTool("action_properties dbname " + other +
                  " prp_shutdown_mode prp_sm_full prp_attachments_shutdown 0");
    }
    RunResult start = Run("stat '" + database_ + "'");
    EXPECT_EQ(start.status, 0) << start.err;
    EXPECT_EQ(Has(start.err, "База данных возвращена в рабочий режим"), !shutAgainByOthers)
        << start.err;
    EXPECT_EQ(HeaderOf(other).FullShutdown(), shutAgainByOthers);
    EXPECT_TRUE(HeaderOf(database_).Online());
    EXPECT_FALSE(platform::FileExists(dir_.File("QORD/DB/ZARVO.qvnshutdown")));
  }
  ServiceTool("action_properties dbname " + other + " prp_online_mode prp_sm_normal");
  EXPECT_EQ(fbtest::Content(dir_, other), content);
}

// The restore makes SYSDBA the owner of the new database: a database of another
// owner is refused before anything is touched, not handed to SYSDBA silently.
TEST_F(Site, ADatabaseOfAnotherOwnerIsRefusedAsItIs) {
  fbtest::CreateDatabase(dir_, database_, 10);
  Query(dir_, database_,
        "CREATE OR ALTER USER QVN_OWNER PASSWORD 'owner1';\nGRANT CREATE DATABASE TO USER "
        "QVN_OWNER;\nCOMMIT;");
  const std::string owned = dir_.File("QORD/DB/OWNED.FDB");
  std::string made = fbtest::RunSql(dir_, "CREATE DATABASE '" + fbtest::ServerName(server_.port) +
                                              ":" + owned +
                                              "' USER 'QVN_OWNER' PASSWORD 'owner1';\n"
                                              "CREATE TABLE T (I INTEGER);\nCOMMIT;\n");
  ASSERT_TRUE(platform::FileExists(owned)) << made;
  RunResult run = Run("optimize '" + owned + "'");
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(Has(run.err, "пользователь QVN_OWNER, а не SYSDBA")) << run.err;
  EXPECT_TRUE(HeaderOf(owned).Online());
  EXPECT_EQ(SideFilesUnder(dir_.File("QORD")), 0u);
}

// A key that fits the working database's 32 KB pages but not 16 KB ones: the rebuilt
// database keeps the larger pages rather than fail every rebuild.
TEST_F(Site, ADatabaseWithPagesLargerThanTheRebuildsKeepsThem) {
  std::string made = fbtest::RunSql(
      dir_, "CREATE DATABASE " + fbtest::Connect(database_) + " PAGE_SIZE 32768;\n"
            "CREATE TABLE WIDE (K VARCHAR(6000) CHARACTER SET OCTETS);\n"
            "CREATE INDEX WIDE_K ON WIDE (K);\nCOMMIT;\n"
            "INSERT INTO WIDE VALUES (CAST(LPAD('', 6000, 'x') AS VARCHAR(6000) CHARACTER SET "
            "OCTETS));\nCOMMIT;\n");
  if (fbtest::PageSizeOf(database_) != 32768u) GTEST_SKIP() << "no 32 KB pages on this server";
  RunResult run = Run("optimize '" + database_ + "'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fbtest::PageSizeOf(database_), 32768u);
  EXPECT_TRUE(Has(Query(dir_, database_, "SELECT CHAR_LENGTH(K) FROM WIDE;"), "6000"));
}

}  // namespace

namespace {

using namespace clitest;

// Ctrl+C or a stop of the service manager during the backup, SIGTERM during the
// restore: the run stops the way a failure does and the database is online as soon
// as the program has ended. Output into a pipe that closes ends nothing.
TEST_F(Site, SignalsEndARunCleanlyAndAClosedPipeEndsNothing) {
  fbtest::CreateDatabase(dir_, database_, 20000);
  const std::string content = fbtest::Content(dir_, database_);
  for (auto [point, signal] : {std::pair<const char*, int>{"backup-running", SIGINT},
                               {"restore-running", SIGTERM}, {"backup-running", SIGHUP}}) {
    SCOPED_TRACE(std::string(point) + " " + std::to_string(signal));
    const std::string pauses = dir_.File("pause");
    RunResult run = RunPausedAt(*this, "optimize '" + database_ + "'", point, pauses, [&] {
      ::kill(std::stoi(ReadFile(pauses + "/" + point + ".pid")), signal);
    });
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "Работа прервана по требованию завершить программу")) << run.err;
    EXPECT_TRUE(Has(run.err, "Рабочая база данных не изменена")) << run.err;
    EXPECT_TRUE(HeaderOf(database_).Online()) << HeaderOf(database_).attributes;
    EXPECT_FALSE(platform::FileExists(dir_.File("QORD/DB/ZARVO.qvnshutdown")));
    EXPECT_EQ(fbtest::PageSizeOf(database_), 4096u);
  }
  int piped = std::system(("QVN_QORD_ROOT='" + dir_.File("QORD") + "' '" +
                           dir_.File("bin/qvnoptimize") + "' optimize '" + database_ +
                           "' 2>&1 | head -c 20 >/dev/null")
                              .c_str());
  EXPECT_EQ(piped, 0);
  EXPECT_TRUE(HeaderOf(database_).Online());
  EXPECT_EQ(fbtest::PageSizeOf(database_), 16384u) << "the run went on to the end";
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
}

// `recover` after a run that was killed outright, and with nothing to undo.
TEST_F(Site, RecoverBringsBackWhatAKilledRunLeftAndNothingElse) {
  fbtest::CreateDatabase(dir_, database_, 100);
  EXPECT_EQ(Run("optimize '" + database_ + "'", "QVN_TEST_STOP_AT=backup-running").status, 86);
  ASSERT_FALSE(HeaderOf(database_).Online());
  RunResult recovered = Run("recover '" + database_ + "'");
  EXPECT_EQ(recovered.status, 0) << recovered.err;
  EXPECT_TRUE(Has(recovered.out, "База данных возвращена в рабочий режим")) << recovered.out;
  EXPECT_TRUE(HeaderOf(database_).Online());
  EXPECT_FALSE(platform::FileExists(dir_.File("QORD/DB/ZARVO.qvnshutdown")));

  RunResult again = Run("recover '" + database_ + "'");
  EXPECT_EQ(again.status, 0);
  EXPECT_TRUE(Has(again.out, "прерванной оптимизации нет")) << again.out;
  RunResult missing = Run("recover '" + dir_.File("QORD/DB/NONE.FDB") + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.err, "не найден")) << missing.err;
}

}  // namespace
