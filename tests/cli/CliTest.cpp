#include <gtest/gtest.h>

#include <algorithm>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "cli/JsonText.h"
#include "maintenance/FileNames.h"
#include "maintenance/Workflow.h"
#include "platform/Encoding.h"
#include "platform/FileOps.h"
#include "support/tools.h"
#include "tests/fbclient/FbTestServer.h"
#include "tests/fbclient/TestFiles.h"

#include "tests/cli/Site.h"

namespace {

using namespace clitest;
TEST_F(Site, RebuildKeepsTheDataAndLogsEveryStage) {
  fbtest::CreateDatabase(dir_, database_, 5000);
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  std::string content = fbtest::Content(dir_, database_);
  ASSERT_NE(content.find("5000"), std::string::npos) << content;
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  ASSERT_EQ(fbtest::PageSizeOf(database_), 4096u);

  std::int64_t sizeBefore = *platform::FileSizeOf(database_);
  RunResult run = Run("optimize '" + database_ + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  // The success line, then the before-and-after record.
  std::int64_t sizeAfter = *platform::FileSizeOf(database_);
  std::string sizes = "Размер файла базы данных: " + std::to_string(sizeBefore) + " -> " +
                      std::to_string(sizeAfter) + " байт";
  EXPECT_TRUE(std::regex_match(
      run.out, std::regex(std::string(kOptimizeSuccess) + "\r\n" + sizes +
                          "\r\nРазмер страницы: 4096 -> 16384 байт\r\nВремя: резервное копирование "
                          "\\d+,\\d{3} с; восстановление \\d+,\\d{3} с; замена файла "
                          "\\d+,\\d{3} с\r\n")))
      << run.out;
  // The restore stage lasts at least its one-second pause, many frames of the
  // viewer: its line must have been shown (a quick backup stage may pass unseen).
  EXPECT_NE(run.err.find(kStageRestore), std::string::npos) << run.err;

  EXPECT_EQ(fbtest::PageSizeOf(database_), 16384u);
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
  EXPECT_FALSE(Leftovers());

  const std::vector<std::string> expected = {
      "",
      "Программа запущена",
      "[соб.] Будет создана резервная копия базы данных \"" + database_ + "\"",
      "[соб.] Создание резервной копии завершено",
      "[соб.] База данных \"" + database_ + "\" будет восстановлена из резервной копии",
      "[соб.] Восстановление временной БД из резервной копии завершено",
      "[соб.] Восстановление из резервной копии завершено",
      "Итоги оптимизации:",
      sizes,
      "Размер страницы: 4096 -> 16384 байт",
  };
  std::vector<std::string> texts = LogTexts();
  // How soon the server shut everybody out after the backup: a figure of its own.
  auto gap = std::find_if(texts.begin(), texts.end(), [](const std::string& text) {
    return text.rfind("База данных закрыта полностью через ", 0) == 0;
  });
  ASSERT_TRUE(gap != texts.end() && gap == texts.begin() + 3) << ::testing::PrintToString(texts);
  texts.erase(gap);
  // The server's count of transactions, read in full shutdown four times: the backup
  // added what the calibration after it added.
  std::smatch counts;
  ASSERT_TRUE(std::regex_match(texts[3], counts,
                               std::regex("Счётчик транзакций подтвердил, что во время резервного "
                                          "копирования с базой данных работала только "
                                          "оптимизация: (\\d+), (\\d+), (\\d+), (\\d+)")))
      << texts[3];
  EXPECT_EQ(std::stoul(counts[4]) - std::stoul(counts[3]), std::stoul(counts[3]) - std::stoul(counts[2]));
  texts.erase(texts.begin() + 3);
  ASSERT_EQ(texts.size(), expected.size() + 2) << ::testing::PrintToString(texts);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.end() - 2), expected);
  EXPECT_EQ(texts[texts.size() - 2].rfind("Время: резервное копирование ", 0), 0u);
  EXPECT_EQ(texts.back(), "Выход из программы");
}

// Every row of every table and view of a database, one line each ("TABLE|value|...",
// NULL as <null>, a text blob as its text, any other blob as its length and hash),
// in the order of their non-blob values; then every generator's value and the
// procedure's report of one shift. Found from the system tables, so a table added
// to the demo database is compared without a word here.
std::string TableRows(const testfiles::TempDir& dir, const std::string& path) {
  return fbtest::RunSql(dir, "SET NAMES UTF8;\nCONNECT " + fbtest::Connect(path) + ";\n" + R"(SET LIST ON;
SET TERM ^;
EXECUTE BLOCK RETURNS (ROW_TEXT VARCHAR(8000) CHARACTER SET UTF8) AS
  DECLARE NAME VARCHAR(63);
  DECLARE COL VARCHAR(70);
  DECLARE BLOB_TYPE SMALLINT;
  DECLARE ALL_COLUMNS VARCHAR(4000);
  DECLARE KEY_COLUMNS VARCHAR(4000);
BEGIN
  FOR SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0
       ORDER BY 1 INTO NAME DO
  BEGIN
    ALL_COLUMNS = '''' || NAME || '''';
    KEY_COLUMNS = '''''';
    FOR SELECT '"' || TRIM(RF.RDB$FIELD_NAME) || '"', IIF(F.RDB$FIELD_TYPE = 261, F.RDB$FIELD_SUB_TYPE, NULL)
          FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE
         WHERE RF.RDB$RELATION_NAME = :NAME ORDER BY RF.RDB$FIELD_POSITION INTO COL, BLOB_TYPE DO
    BEGIN
      IF (BLOB_TYPE IS NULL) THEN
        KEY_COLUMNS = KEY_COLUMNS || ' || ''|'' || COALESCE(' || COL || ' || '''', ''<null>'')';
      ALL_COLUMNS = ALL_COLUMNS || ' || ''|'' || COALESCE(' ||
          CASE WHEN BLOB_TYPE IS NULL THEN COL || ' || '''''
               WHEN BLOB_TYPE = 1 THEN 'CAST(' || COL || ' AS VARCHAR(7000))'
               ELSE 'OCTET_LENGTH(' || COL || ') || '':'' || HASH(' || COL || ')' END || ', ''<null>'')';
    END
    FOR EXECUTE STATEMENT 'SELECT ' || ALL_COLUMNS || ' FROM "' || NAME || '" ORDER BY ' || KEY_COLUMNS
        INTO ROW_TEXT DO SUSPEND;
  END
  FOR SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0
       ORDER BY 1 INTO NAME DO
  BEGIN
    EXECUTE STATEMENT 'SELECT ''' || NAME || '|'' || GEN_ID("' || NAME || '", 0) FROM RDB$DATABASE'
        INTO ROW_TEXT;
    SUSPEND;
  END
END^
SET TERM ;^
SELECT FUEL, LITRES, AMOUNT FROM SHIFT_REPORT(7);
)");
}

// The database's metadata as the server's extract writes it, less the page size.
std::string Metadata(const std::string& path) {
  fbtest::ServerSettings server = fbtest::Server();
  std::string extract;
  EXPECT_TRUE(RunConsoleCommand("isql-fb -x -ch UTF8 -user SYSDBA -password '" + server.password +
                                    "' '" + fbtest::ServerName(server.port) + ":" + path + "'",
                                extract));
  return std::regex_replace(extract, std::regex("PAGE_SIZE [0-9]+ "), "");
}

// Where two long texts first part: "" when they are the same, else the line number
// and both lines.
std::string FirstDifference(const std::string& before, const std::string& after) {
  std::istringstream a(before), b(after);
  std::string lineA, lineB;
  for (int number = 1;; ++number) {
    bool moreA = static_cast<bool>(std::getline(a, lineA));
    bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "";
    if (moreA != moreB || lineA != lineB) {
      return "line " + std::to_string(number) + ": before «" + (moreA ? lineA : "<end>") +
             "», after «" + (moreB ? lineB : "<end>") + "»";
    }
  }
}

// The progress events on stderr: the backup's tables, then the restore's records,
// each stage's figures never going back and ending at its total.
void ExpectProgressEndsAtTheTotals(const std::string& err) {
  std::regex event(R"re(\{"stage":"(backup|restore)","done":(\d+),"total":(\d+)\})re");
  std::map<std::string, std::vector<std::pair<long long, long long>>> stages;
  std::vector<std::string> order;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_TRUE(!line.empty() && line.back() == '\r') << "CR LF: " << line;
    line.pop_back();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, event)) << line;
    if (order.empty() || order.back() != m[1]) order.push_back(m[1]);
    stages[m[1]].emplace_back(std::stoll(m[2]), std::stoll(m[3]));
  }
  ASSERT_EQ(order, (std::vector<std::string>{"backup", "restore"})) << err;
  for (const auto& [stage, figures] : stages) {
    for (std::size_t i = 1; i < figures.size(); ++i) {
      EXPECT_GE(figures[i].first, figures[i - 1].first) << stage << "\n" << err;
      EXPECT_EQ(figures[i].second, figures[0].second) << stage << "\n" << err;
    }
    EXPECT_EQ(figures.back().first, figures.back().second) << stage << "\n" << err;
  }
  EXPECT_GE(stages["restore"].back().second, 20000) << "the sale rows alone";
}

// The demo database is shaped like a site's: Windows-1251, PXW_CYRL-collated indexed
// Cyrillic columns, text blobs, domains, a view, an exception, a role with grants, a
// computed column, generators, triggers and a procedure.
TEST_F(Site, RebuildKeepsEveryRowAndTheMetadataOfASiteLikeDatabase) {
  std::string make = std::string(QVN_SOURCE_DIR) + "/scripts/make-demo-db.sh '" QVN_FB_DIR "' '" +
                     database_ + "' 20000 >'" + dir_.File("make.log") + "' 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << ReadFile(dir_.File("make.log"));
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  std::string rows = TableRows(dir_, database_);
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  std::string metadata = Metadata(database_);
  ASSERT_EQ(rows.find("Statement failed"), std::string::npos) << rows;
  for (const char* sample : {"|Шульц Э. Я.|Смена №3 принята.", "\n79: приём топлива", "GEN_SHIFTS|2000"}) {
    ASSERT_NE(rows.find(sample), std::string::npos) << sample;
  }
  for (const char* sample : {"DEFAULT CHARACTER SET WIN1251", "COLLATE PXW_CYRL",
                             "'Объём продажи должен быть больше нуля'", "GRANT R_CASHIER TO KASSIR"}) {
    ASSERT_NE(metadata.find(sample), std::string::npos) << sample << "\n" << metadata;
  }
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));

  RunResult run = Run("optimize --json '" + database_ + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("{\"outcome\":\"success\"", 0), 0u) << run.out;
  ExpectProgressEndsAtTheTotals(run.err);
  EXPECT_EQ(fbtest::PageSizeOf(database_), 16384u);
  EXPECT_EQ(FirstDifference(rows, TableRows(dir_, database_)), "");
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  EXPECT_EQ(FirstDifference(metadata, Metadata(database_)), "");
  EXPECT_FALSE(Leftovers());
}

TEST_F(Site, DatabaseHeldOpenIsRefusedAndNothingIsTouched) {
  fbtest::CreateDatabase(dir_, database_);
  fbtest::Attachment holder(database_);
  ASSERT_TRUE(holder.Attached());
  const std::string content = fbtest::Content(dir_, database_);

  RunResult run = Run("optimize '" + database_ + "'");
  EXPECT_EQ(run.status, 3) << "refused before anything was changed: retry later";
  EXPECT_TRUE(StartsALine(run.err, "Создание резервной копии -> С базой данных \"" + database_ +
                                       "\" работает другая программа"))
      << run.err;
  EXPECT_NE(run.err.find("Рабочая база данных не изменена."), std::string::npos);
  EXPECT_EQ(run.err.find("перезапустите"), std::string::npos) << "never a restart of the server";
  std::vector<std::string> texts = LogTexts();
  ASSERT_GE(texts.size(), 5u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts[3].rfind("[ошиб] Ошибка создания резервной копии: С базой данных", 0), 0u);
  EXPECT_EQ(texts.back(), "Выход из программы");
  EXPECT_FALSE(Leftovers());
  // The refused shutdown may touch the header (Classic servers do), never the data.
  EXPECT_EQ(fbtest::PageSizeOf(database_), 4096u);
  EXPECT_EQ(fbtest::Content(dir_, database_), content);

  // A program that leaves while the server waits for it (a sweep that ends, a
  // connection closing) does not stop the rebuild.
  fbtest::Attachment leaving(database_);
  ASSERT_TRUE(leaving.Attached());
  holder.Detach();
  std::thread leave = fbtest::DetachLater(leaving, std::chrono::milliseconds(1500));
  RunResult waited = Run("optimize '" + database_ + "'");
  leave.join();
  EXPECT_EQ(waited.status, 0) << waited.err;
  EXPECT_EQ(fbtest::PageSizeOf(database_), 16384u);
  EXPECT_EQ(fbtest::Content(dir_, database_), content);
}

// A name the user chose decides nothing: a folder named like the server's words for
// a shutdown and a file in use still gets the wrong password's line.
TEST_F(Site, RefusedLoginLeavesTheDatabaseAsItWas) {
  const std::string database = dir_.File("QORD/DB/database shutdown unsuccessful, is in use/ZARVO.FDB");
  fs::create_directories(fs::path(database).parent_path());
  fbtest::CreateDatabase(dir_, database);
  ASSERT_TRUE(fbtest::WaitUntilFree(database));
  std::string before = ReadFile(database);
  WriteIni("not-" + server_.password, server_.port);

  RunResult run = Run("optimize '" + database + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(StartsALine(run.err, "Создание резервной копии -> ")) << run.err;
  EXPECT_TRUE(EndsWith(run.err, " <# EIBInterBaseError #>\r\nСервер Firebird не принял пароль "
                                "пользователя SYSDBA из настроек ZARVO (модуль fbUtils.dll). "
                                "Обратитесь к технику: пароль в настройках не совпадает с паролем "
                                "сервера.\r\nРабочая база данных не изменена.\r\n"))
      << run.err;
  EXPECT_EQ(run.err.find("другая программа"), std::string::npos) << run.err;
  std::vector<std::string> texts = LogTexts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[3].rfind("[ошиб] Ошибка создания резервной копии: ", 0), 0u) << texts[3];
  EXPECT_TRUE(ReadFile(database) == before);
  EXPECT_FALSE(platform::FileExists(ChangeFileExt(database, ".qvnbasebackup")));
}

TEST_F(Site, NoServerOnThePortIsReportedAsTheBackupsFailure) {
  fbtest::CreateDatabase(dir_, database_);
  ASSERT_TRUE(fbtest::WaitUntilFree(database_));
  std::string before = ReadFile(database_);
  WriteIni(server_.password, 1);  // nothing listens on port 1

  RunResult run = Run("optimize '" + database_ + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(StartsALine(run.err, "Создание резервной копии -> ")) << run.err;
  EXPECT_NE(run.err.find(" <# EIBInterBaseError #>"), std::string::npos) << run.err;
  EXPECT_TRUE(ReadFile(database_) == before);
}

// The header page comes from the server's statistics service, which always matches
// the server; when the service does not answer, Debian's tool is run instead (it
// cannot read a Firebird 4 database, and says so). Either way the text says which
// answered, and one log entry holds the same text.
TEST_F(Site, StatisticsShowTheHeaderPageAndLogTheSameText) {
  std::string spaced = dir_.File("QORD/DB/База с пробелами.fdb");
  fbtest::CreateDatabase(dir_, spaced);
  std::string log = dir_.File("QORD/LogFiles/QVNOptimizeDB.log");
  struct Case {
    int port;
    std::string head;
    std::string body;
  };
  const Case cases[] = {
      {server_.port,
       "Служба статистики сервера 127.0.0.1/" + std::to_string(server_.port) +
           ": заголовок \"" + spaced + "\"\r\nРезультат: (см. " + log + ")\r\n",
       "Page size\t\t4096"},
      {1,  // nothing listens on port 1
       "Команда: /usr/bin/fbstat \"" + spaced + "\" -h\r\nРезультат: (см. " + log + ")\r\n",
       server_.Firebird4() ? "Wrong ODS version, expected 12, encountered 13" : "Page size\t\t4096"},
  };
  for (const Case& c : cases) {
    WriteIni(server_.password, c.port);
    RunResult run = Run("stat '" + spaced + "'");
    if (c.port == 1 && server_.Firebird4()) {
      // Firebird 3's tool cannot read the file: a failure with what it said.
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find(c.body), std::string::npos) << run.err;
      continue;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    if (c.port == 1) {  // the service's failure first, then the tool's command
      EXPECT_EQ(run.out.rfind("Служба статистики сервера не ответила: ", 0), 0u) << run.out;
      EXPECT_NE(run.out.find("\r\n" + c.head), std::string::npos) << run.out;
    } else {
      EXPECT_EQ(run.out.rfind(c.head, 0), 0u) << run.out;
    }
    EXPECT_NE(run.out.find(c.body), std::string::npos) << run.out;
    // Redirected, every line ends in CR LF once, whatever line ends the tool gave.
    EXPECT_EQ(run.out.find("\r\r"), std::string::npos) << run.out;
    EXPECT_EQ(std::regex_search(run.out, std::regex("[^\r]\n")), false) << run.out;
    // The log keeps the tool's own line ends.
    auto lineFeeds = [](std::string text) {
      text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
      return text;
    };
    std::string logText = lineFeeds(platform::Cp1251ToUtf8(ReadFile(log)));
    std::string body = lineFeeds(run.out);
    while (!body.empty() && static_cast<unsigned char>(body.back()) <= 32) body.pop_back();
    EXPECT_NE(logText.find(" " + body + "\n"), std::string::npos) << logText;
  }
}

TEST_F(Site, StatisticsWithoutTheServiceOrTheToolSayWhichFileIsMissing) {
  fbtest::CreateDatabase(dir_, database_);
  WriteIni(server_.password, 1);  // nothing listens on port 1
  RunResult run = Run("stat '" + database_ + "'", "QVN_STATISTICS_TOOL=/nonexistent/fbstat");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Служба статистики сервера не ответила: ", 0), 0u) << run.err;
  EXPECT_TRUE(EndsWith(run.err, "\r\nНе удалось найти файл: /nonexistent/fbstat\r\n")) << run.err;
  std::vector<std::string> texts = LogTexts();
  EXPECT_TRUE(std::find(texts.begin(), texts.end(), "Не удалось найти файл: /nonexistent/fbstat") !=
              texts.end())
      << ::testing::PrintToString(texts);
}

// A tool that prints its failure instead of the header page, and a path the tool's
// command line could not carry, are failures: status 1, the reason on stderr and in
// the log.
TEST_F(Site, StatisticsThatShowNoHeaderPageEndWithStatusOne) {
  std::string garbage = dir_.File("QORD/DB/GARBAGE.FDB");
  WriteFile(garbage, std::string(8192, 'x'));
  std::string quoted = dir_.File("QORD/DB/a\"b.fdb");
  WriteFile(quoted, "");
  const struct {
    std::string path, err, logged;
  } cases[] = {
      {garbage,
       // The server's service refuses the file first; then the tool says what it saw.
       "Программа статистики не вывела заголовок базы данных:\r\nСлужба статистики сервера не "
       "ответила: ",
       "[ошиб] Программа статистики не вывела заголовок базы данных"},
      {quoted,
       "Путь к базе данных содержит кавычку (\"), программа статистики не сможет его прочитать: " +
           quoted + "\r\n",
       "[ошиб] Путь к базе данных содержит кавычку (\"), программа статистики не сможет его "
       "прочитать: " + quoted},
  };
  for (const auto& c : cases) {
    fs::remove(dir_.File("QORD/LogFiles/QVNOptimizeDB.log"));
    RunResult run = Run("stat '" + c.path + "'");
    EXPECT_EQ(run.status, 1) << c.path;
    EXPECT_EQ(run.out, "") << c.path;
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
    std::vector<std::string> texts = LogTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), c.logged), texts.end())
        << ::testing::PrintToString(texts);
  }
}

// Under Task Scheduler a refusal must not read as success, and only the log is seen.
// Under Task Scheduler a refusal must not read as success, and only the log is seen;
// a library that is there but cannot be loaded is told apart, with the loader's words.
TEST_F(Site, NoUtilityLibraryIsAFailureInTheLogAndTheJson) {
  const std::string library = dir_.File("bin/libfbUtils.so");
  const std::string refusal = "Модуль fbUtils.dll не загружен. В запуске приложения отказано!";
  const struct {
    const char* name;
    std::function<void()> setUp;
    std::string why;
  } libraries[] = {
      {"missing", [&] { fs::remove(library); },
       "Файл libfbUtils.so не найден ни рядом с программой, ни как " +
           dir_.File("QORD/libfbUtils.so") + " (поиск системы: libfbUtils.so: cannot open shared "
           "object file: No such file or directory)"},
      {"damaged", [&] { WriteFile(library, "not a library"); },
       "Файл \"" + library + "\" есть, но система не смогла его загрузить: " + library +
           ": file too short"},
  };
  for (const auto& l : libraries) {
    l.setUp();
    const std::string text = refusal + "\r\n" + l.why;
    const struct {
      const char* command;
      std::string out, err;
    } cases[] = {
        {"optimize", "", text + "\r\n"},
        {"optimize --json",
         "{\"outcome\":\"failure\",\"reason\":\"library\",\"message\":" + JsonString(text) +
             ",\"database\":\"" + database_ +
             "\",\"sizeBefore\":null,\"sizeAfter\":null,\"pageSizeBefore\":null,"
             "\"pageSizeAfter\":null,\"backupSeconds\":null,\"restoreSeconds\":"
             "null,\"swapSeconds\":null}\r\n",
         "{\"failure\":\"library\",\"message\":" + JsonString(text) + "}\r\n"},
        {"stat", "", text + "\r\n"},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(l.name) + ": " + c.command);
      fs::remove(dir_.File("QORD/LogFiles/QVNOptimizeDB.log"));
      RunResult run = Run(std::string(c.command) + " '" + database_ + "'");
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out, c.out);
      EXPECT_EQ(run.err, c.err);
      EXPECT_EQ(LogTexts(), (std::vector<std::string>{"", "Программа запущена", "[ошиб] " + refusal,
                                                      l.why, "Выход из программы"}));
    }
  }
}

// A wrong command line says what is wrong above the help, in the log too.
TEST_F(Site, UsageErrorsSayWhatIsWrongAndEndWithStatusTwo) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "не указана команда"},
      {"rebuild", "неизвестная команда \"rebuild\""},
      {"optimize a b", "лишний аргумент \"b\""},
      {"optimize --jsn", "неизвестный параметр \"--jsn\""},
      {"stat --json", "параметр --json есть только у команды optimize"},
  };
  for (const auto& [arguments, problem] : cases) {
    fs::remove(dir_.File("QORD/LogFiles/QVNOptimizeDB.log"));
    RunResult run = Run(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    if (std::string(arguments).find("--json") != std::string::npos) {
      // JSON lines only on stderr.
      EXPECT_EQ(run.err, "{\"failure\":\"usage\",\"message\":\"" + std::string(problem) + "\"}\r\n");
      EXPECT_EQ(run.out.rfind("{\"outcome\":\"failure\",\"reason\":\"usage\",", 0), 0u) << run.out;
    } else {
      EXPECT_EQ(run.err.rfind("qvnoptimize: " + std::string(problem) + "\r\n\r\nИспользование:\r\n", 0),
                0u)
          << run.err;
    }
    EXPECT_EQ(LogTexts()[2], "[ошиб] Ошибка в командной строке: " + std::string(problem));
  }
  RunResult help = Run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("qvnoptimize optimize"), std::string::npos);
  std::istringstream lines(help.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(dir_.File("QORD")) != std::string::npos) continue;  // a site path
    EXPECT_LT(platform::Utf8ToUtf16(line).size(), 80u) << line;
  }
  RunResult version = Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("qvnoptimize \\d+\\.\\d+\\.\\d+\\.\\d+\r\n")))
      << version.out;
}

}  // namespace
