// The Windows programs under Wine rebuilding databases of the real private Firebird
// server, through the fbclient bridge (tests/winebridge): the window and the console
// program, a folder with Cyrillic letters, and the server's own failure texts.
//
// The test double of the client (FbClientDouble.cpp) stays for what the real server
// cannot be made to do on purpose: a restore that fails part way through its output.
// Busy files stay with holders inside Wine (MainWindowWorkTest.cpp): Wine's sharing
// modes do not reach the native server, so under Wine an exclusive open, and a
// delete, of a file the server holds open both succeed.
#include "tests/gui/ProgramDriver.h"
#include "tests/gui/TestSite.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/UMainModel.h"
#include "maintenance/Workflow.h"
#include "platform/RunAtLogon.h"
#include "platform/AnsiText.h"
#include "platform/Encoding.h"
#include "platform/Process.h"

namespace {

namespace fs = std::filesystem;
using gui::DialogText;
using gui::Installation;
using gui::PressOk;
using gui::ReadBytes;
using gui::Texts;

const char kSiteDatabase[] = "C:\\QORD\\DB\\ZARVO.FDB";
const char kCyrillicDatabase[] = "C:\\QORD\\Базы АЗС\\Основная\\ЗАРВО.FDB";

// The private server's port and SYSDBA password, from the settings file that
// scripts/fbserver.sh writes (reached through Wine's Z: drive).
std::map<std::string, std::string> ServerSettings() {
  std::string dir = QVN_FB_DIR;
  for (char& c : dir) {
    if (c == '/') c = '\\';
  }
  std::map<std::string, std::string> settings;
  std::string text = ReadBytes("Z:" + dir + "\\settings");
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) settings[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return settings;
}

// The test's own client: the bridge loaded into this process, with the calls the
// test makes to set a database up and read it back.
class Client {
 public:
  Client() {
    library_ = ::LoadLibraryW(platform::Widen(platform::ExecutableDir() + "bridge\\fbclient.dll").c_str());
    if (library_ == nullptr) return;
    Resolve("isc_service_attach", serviceAttach_);
    Resolve("isc_service_detach", serviceDetach_);
    Resolve("isc_service_start", serviceStart_);
    Resolve("isc_service_query", serviceQuery_);
    Resolve("fb_interpret", interpret_);
    Resolve("isc_create_database", createDatabase_);
    Resolve("isc_attach_database", attachDatabase_);
    Resolve("isc_detach_database", detachDatabase_);
    Resolve("isc_dsql_execute_immediate", executeImmediate_);
    Resolve("isc_dsql_exec_immed2", execImmed2_);
  }
  ~Client() = default;  // never unloaded, as the programs never unload theirs

  bool Loaded() const { return library_ != nullptr && execImmed2_ != nullptr; }

  // The status vector's messages, one per line, in UTF-8; empty for success.
  std::string Text(const ISC_STATUS* status) const {
    if (status[0] != isc_arg_gds || status[1] == 0) return std::string();
    std::string text;
    char buffer[1024];
    const ISC_STATUS* cursor = status;
    while (interpret_(buffer, sizeof buffer, &cursor) > 0) text += std::string(buffer) + "\n";
    return platform::AnsiToUtf8(text);
  }

  decltype(&isc_service_attach) serviceAttach_ = nullptr;
  decltype(&isc_service_detach) serviceDetach_ = nullptr;
  decltype(&isc_service_start) serviceStart_ = nullptr;
  decltype(&isc_service_query) serviceQuery_ = nullptr;
  decltype(&fb_interpret) interpret_ = nullptr;
  decltype(&isc_create_database) createDatabase_ = nullptr;
  decltype(&isc_attach_database) attachDatabase_ = nullptr;
  decltype(&isc_detach_database) detachDatabase_ = nullptr;
  decltype(&isc_dsql_execute_immediate) executeImmediate_ = nullptr;
  decltype(&isc_dsql_exec_immed2) execImmed2_ = nullptr;

 private:
  template <typename Entry>
  void Resolve(const char* name, Entry& entry) {
    entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(library_, name)));
  }
  HMODULE library_ = nullptr;
};

const Client& TheClient() {
  static Client client;
  return client;
}

std::string Spb(std::initializer_list<std::string> parts) {
  std::string spb;
  for (const std::string& part : parts) spb += part;
  return spb;
}

std::string ShortItem(unsigned char tag, const std::string& value) {
  return std::string(1, static_cast<char>(tag)) + static_cast<char>(value.size()) + value;
}

// One attachment to a database of the private server, with one transaction at a
// time started and committed through statements (no transaction entry needed).
class Database {
 public:
  Database(const std::string& path, const std::map<std::string, std::string>& server, bool create)
      : client_(TheClient()) {
    std::string name = "127.0.0.1/" + server.at("QVN_FB_PORT") + ":" + platform::Utf8ToAnsi(path);
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    dpb += ShortItem(isc_dpb_user_name, "SYSDBA");
    dpb += ShortItem(isc_dpb_password, server.at("QVN_FB_PASSWORD"));
    dpb += ShortItem(isc_dpb_lc_ctype, "UTF8");
    if (create) {
      dpb += ShortItem(isc_dpb_page_size, std::string("\x00\x10\x00\x00", 4));  // 4096
      dpb += ShortItem(isc_dpb_sql_dialect, std::string("\x03\x00\x00\x00", 4));
    }
    ISC_STATUS_ARRAY status = {};
    if (create) {
      client_.createDatabase_(status, 0, name.c_str(), &db_, static_cast<short>(dpb.size()),
                              dpb.data(), 0);
    } else {
      client_.attachDatabase_(status, 0, name.c_str(), &db_, static_cast<short>(dpb.size()),
                              dpb.data());
    }
    error_ = client_.Text(status);
  }
  ~Database() {
    ISC_STATUS_ARRAY status = {};
    if (tr_ != 0) client_.executeImmediate_(status, &db_, &tr_, 0, "ROLLBACK", 3, nullptr);
    if (db_ != 0) client_.detachDatabase_(status, &db_);
  }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& Error() const { return error_; }

  // Runs a statement in the current transaction (started when there is none); false
  // with Error() set when the server refuses it.
  bool Execute(const std::string& sql) {
    if (!Begin()) return false;
    ISC_STATUS_ARRAY status = {};
    client_.executeImmediate_(status, &db_, &tr_, 0, sql.c_str(), 3, nullptr);
    error_ = client_.Text(status);
    if (!error_.empty()) error_ += sql;
    return error_.empty();
  }
  bool Commit() {
    ISC_STATUS_ARRAY status = {};
    client_.executeImmediate_(status, &db_, &tr_, 0, "COMMIT", 3, nullptr);
    error_ = client_.Text(status);
    tr_ = 0;
    return error_.empty();
  }
  // The one text column of a statement's one row.
  std::string Value(const std::string& sql) {
    if (!Begin()) return "<" + error_ + ">";
    alignas(XSQLDA) char storage[XSQLDA_LENGTH(1)] = {};
    auto* out = reinterpret_cast<XSQLDA*>(storage);
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    out->sqld = 1;
    char data[2 + 1000] = {};
    short nullFlag = 0;
    out->sqlvar[0].sqltype = SQL_VARYING + 1;
    out->sqlvar[0].sqllen = 1000;
    out->sqlvar[0].sqldata = data;
    out->sqlvar[0].sqlind = &nullFlag;
    ISC_STATUS_ARRAY status = {};
    client_.execImmed2_(status, &db_, &tr_, 0, sql.c_str(), 3, nullptr, out);
    error_ = client_.Text(status);
    if (!error_.empty()) return "<" + error_ + ">";
    if (nullFlag) return "<null>";
    std::size_t length = static_cast<unsigned char>(data[0]) | (static_cast<unsigned char>(data[1]) << 8);
    return std::string(data + 2, length);
  }

 private:
  bool Begin() {
    if (tr_ != 0) return true;
    ISC_STATUS_ARRAY status = {};
    client_.executeImmediate_(status, &db_, &tr_, 0, "SET TRANSACTION", 3, nullptr);
    error_ = client_.Text(status);
    return error_.empty();
  }

  const Client& client_;
  isc_db_handle db_ = 0;
  isc_tr_handle tr_ = 0;
  std::string error_;
};

// The station's tables: keys, a foreign key, an index, a sequence with its trigger,
// Cyrillic texts; the sales are enough for several data pages at 4 KiB.
const char* const kSchema[] = {
    "create table FUELS (ID integer not null primary key, NAME varchar(40) character set UTF8 "
    "not null, PRICE numeric(10,2))",
    "create table PUMPS (ID integer not null primary key, FUEL_ID integer not null references "
    "FUELS(ID), LABEL varchar(20) character set UTF8)",
    "create table SALES (ID integer not null primary key, PUMP_ID integer not null references "
    "PUMPS(ID), LITERS numeric(12,3), AMOUNT numeric(12,2), SOLD_AT timestamp)",
    "create index SALES_SOLD_AT on SALES (SOLD_AT)",
    "create sequence SALES_SEQ",
    "create trigger SALES_BI for SALES before insert as begin if (new.ID is null) then new.ID = "
    "next value for SALES_SEQ; end",
};
const char* const kData[] = {
    "insert into FUELS values (1, 'АИ-92', 48.50)",
    "insert into FUELS values (2, 'АИ-95 «Экто»', 53.10)",
    "insert into FUELS values (3, 'ДТ зимнее', 61.75)",
    "execute block as declare i integer = 1; begin while (i <= 8) do begin "
    "insert into PUMPS values (:i, mod(:i, 3) + 1, 'Колонка ' || :i); i = i + 1; end end",
    "execute block as declare i integer = 0; begin while (i < 20000) do begin "
    "insert into SALES (PUMP_ID, LITERS, AMOUNT, SOLD_AT) values (mod(:i, 8) + 1, "
    "mod(:i * 7, 600) / 10.0, mod(:i * 13, 300000) / 100.0, "
    "dateadd(:i minute to timestamp '2026-01-01 06:00:00')); i = i + 1; end end",
};
// What is compared before and after, table by table: the rows and a sum of their
// hashes, the indices and triggers, and the sequence.
const std::vector<std::pair<std::string, std::string>> kFingerprints = {
    {"FUELS", "select count(*) || ':' || coalesce(sum(mod(hash(ID || '|' || NAME || '|' || "
              "PRICE), 1000000007)), 0) from FUELS"},
    {"PUMPS", "select count(*) || ':' || coalesce(sum(mod(hash(ID || '|' || FUEL_ID || '|' || "
              "LABEL), 1000000007)), 0) from PUMPS"},
    {"SALES", "select count(*) || ':' || coalesce(sum(mod(hash(ID || '|' || PUMP_ID || '|' || "
              "LITERS || '|' || AMOUNT || '|' || SOLD_AT), 1000000007)), 0) from SALES"},
    {"indices", "select cast(list(trim(RDB$INDEX_NAME) || '=' || coalesce(RDB$INDEX_INACTIVE, 0), "
                "',') as varchar(1000)) from (select RDB$INDEX_NAME, RDB$INDEX_INACTIVE from "
                "RDB$INDICES where RDB$SYSTEM_FLAG = 0 order by 1)"},
    {"triggers", "select cast(list(trim(RDB$TRIGGER_NAME), ',') as varchar(1000)) from "
                 "RDB$TRIGGERS where RDB$SYSTEM_FLAG = 0"},
    {"sequence", "select gen_id(SALES_SEQ, 0) from RDB$DATABASE"},
};

std::map<std::string, std::string> Fingerprint(const std::string& path,
                                               const std::map<std::string, std::string>& server) {
  std::map<std::string, std::string> result;
  Database db(path, server, false);
  if (!db.Error().empty()) return {{"attach", db.Error()}};
  for (const auto& [name, sql] : kFingerprints) result[name] = db.Value(sql);
  return result;
}

// The private server's service manager, and the attach buffer that logs in as SYSDBA.
std::string ServiceName(const std::map<std::string, std::string>& server) {
  return "127.0.0.1/" + server.at("QVN_FB_PORT") + ":service_mgr";
}
std::string SysdbaAttach(const std::map<std::string, std::string>& server) {
  return Spb({std::string{isc_spb_version, isc_spb_current_version},
              ShortItem(isc_spb_user_name, "SYSDBA"),
              ShortItem(isc_spb_password, server.at("QVN_FB_PASSWORD"))});
}

// The database's header page as the server's statistics service prints it, read
// through the bridge as the programs read their lines (back in UTF-8).
std::string HeaderPage(const std::string& path, const std::map<std::string, std::string>& server) {
  const Client& client = TheClient();
  std::string service = ServiceName(server);
  std::string attach = SysdbaAttach(server);
  ISC_STATUS_ARRAY status = {};
  isc_svc_handle handle = 0;
  if (client.serviceAttach_(status, static_cast<unsigned short>(service.size()), service.c_str(),
                            &handle, static_cast<unsigned short>(attach.size()), attach.data()))
    return "<" + client.Text(status) + ">";
  std::string ansiPath = platform::Utf8ToAnsi(path);
  std::string start(1, static_cast<char>(isc_action_svc_db_stats));
  start += static_cast<char>(isc_spb_dbname);
  start += static_cast<char>(ansiPath.size() & 0xFF);
  start += static_cast<char>(ansiPath.size() >> 8);
  start += ansiPath;
  start += std::string{static_cast<char>(isc_spb_options), isc_spb_sts_hdr_pages, 0, 0, 0};
  std::string text;
  if (client.serviceStart_(status, &handle, nullptr, static_cast<unsigned short>(start.size()),
                           start.data())) {
    text = "<" + client.Text(status) + ">";
  } else {
    for (;;) {
      const char request[] = {isc_info_svc_line};
      char reply[4096];
      if (client.serviceQuery_(status, &handle, nullptr, 0, nullptr, 1, request, sizeof reply,
                               reply)) {
        text += "<" + client.Text(status) + ">";
        break;
      }
      std::size_t length = static_cast<unsigned char>(reply[1]) |
                           (static_cast<unsigned char>(reply[2]) << 8);
      if (reply[0] != isc_info_svc_line || length == 0) break;
      text += platform::AnsiToUtf8(std::string(reply + 3, length)) + "\n";
    }
  }
  client.serviceDetach_(status, &handle);
  return text;
}

// The page size from the header page, or the page's text when it has none.
std::string PageSize(const std::string& path, const std::map<std::string, std::string>& server) {
  std::string header = HeaderPage(path, server);
  std::size_t at = header.find("Page size");
  if (at == std::string::npos) return header;
  std::size_t digits = header.find_first_of("0123456789", at);
  return header.substr(digits, header.find_first_not_of("0123456789", digits) - digits);
}

// How the server names a file of the prefix's C: drive: ".../drive_c/QORD/DB/ZARVO.FDB".
std::string ServerNameEnd(const std::string& path) {
  std::string name = "drive_c" + path.substr(2);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name + "\"";
}

// Every file in the database's folder.
std::vector<std::string> FolderFiles(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::u8path(path).parent_path()))
    names.push_back(entry.path().filename().u8string());
  return names;
}

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// True when `wanted` appear in `texts` in this order (others may stand between).
bool InOrder(const std::vector<std::string>& texts, const std::vector<std::string>& wanted) {
  std::size_t next = 0;
  for (const std::string& text : texts) {
    if (next < wanted.size() && text == wanted[next]) ++next;
  }
  return next == wanted.size();
}

class RealServer : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = ServerSettings();
    ASSERT_TRUE(server_.count("QVN_FB_PORT") && server_.count("QVN_FB_PASSWORD"))
        << "no private server settings under " << QVN_FB_DIR;
    ASSERT_TRUE(TheClient().Loaded()) << "the fbclient bridge did not load";
    logSizeBefore_ = ReadBytes(gui::kLogPath).size();
  }

  // A fresh database at `path` with the station's tables and data, 4 KiB pages.
  void CreateDatabase(const std::string& path) {
    fs::path folder = fs::u8path(path).parent_path();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    Database db(path, server_, true);
    ASSERT_EQ(db.Error(), "");
    for (const char* sql : kSchema) ASSERT_TRUE(db.Execute(sql)) << db.Error();
    ASSERT_TRUE(db.Commit()) << db.Error();
    for (const char* sql : kData) ASSERT_TRUE(db.Execute(sql)) << db.Error();
    ASSERT_TRUE(db.Commit()) << db.Error();
  }

  // A site folder with the program, the utility library (whose settings file gives
  // the password and port) and the bridge as the Firebird client.
  void Install(Installation& site, const std::string& password, const std::string& port) {
    site.Add("QVNOptimizeDB.exe");
    site.Add("qvnoptimize.exe");
    site.Add("fbUtils.dll");
    site.Add("bridge\\fbclient.dll", "fbclient.dll");
    ASSERT_TRUE(gui::WriteBytes(site.Path("fbUtils.ini"), "[Firebird]\r\nPassword=" + password +
                                                              "\r\nPort=" + port + "\r\n"));
  }
  void Install(Installation& site) {
    Install(site, server_.at("QVN_FB_PASSWORD"), server_.at("QVN_FB_PORT"));
  }

  // Presses "optimize" for `path` in the program's window; the text of the box
  // that ends the work, once the progress window has gone.
  // Writes `path` into the program's field and presses "optimize"; its main window,
  // or null when it shows none.
  static HWND PressOptimize(const gui::RunningProgram& program, const std::string& path) {
    HWND form = program.WaitForWindow(L"TForm1");
    if (form == nullptr) return nullptr;
    ::SendMessageW(::GetDlgItem(form, UMain::kFilenameEdit1.id), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(platform::Widen(path).c_str()));
    gui::Click(::GetDlgItem(form, UMain::kButton1.id));
    return form;
  }

  std::string OptimizeInWindow(const Installation& site, const std::string& path) {
    gui::RunningProgram program(site.Path("QVNOptimizeDB.exe"), "");
    HWND form = PressOptimize(program, path);
    if (form == nullptr) return "<no main window>";
    HWND box = program.WaitForDialog("Оптимизация БД", std::chrono::seconds(120));
    if (box == nullptr) return "<no box>";
    std::string text = DialogText(box);
    EXPECT_EQ(program.WaitForWindow(L"ProgressViewerFormClass", std::chrono::milliseconds(0)),
              nullptr)
        << "the box comes after the progress window has gone";
    PressOk(box);
    gui::WaitFor([&] { return !::IsWindow(box); });
    EXPECT_TRUE(::IsWindowEnabled(form));
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0);
    return text;
  }

  std::vector<std::string> NewLogTexts() const {
    return Texts(platform::Cp1251ToUtf8(ReadBytes(gui::kLogPath).substr(logSizeBefore_)));
  }

  // What a complete rebuild leaves: the same data, 16 KiB pages, no other file.
  void ExpectRebuilt(const std::string& path, const std::map<std::string, std::string>& before) {
    EXPECT_EQ(Fingerprint(path, server_), before);
    EXPECT_EQ(PageSize(path, server_), "16384");
    EXPECT_EQ(FolderFiles(path), std::vector<std::string>{FileName(path)});
  }

  std::map<std::string, std::string> server_;
  std::size_t logSizeBefore_ = 0;
};

TEST_F(RealServer, TheWindowRebuildsTheDatabaseKeepingItsData) {
  for (const char* path : {kSiteDatabase, kCyrillicDatabase}) {
    SCOPED_TRACE(path);
    CreateDatabase(path);
    std::map<std::string, std::string> before = Fingerprint(path, server_);
    ASSERT_EQ(before.at("SALES").rfind("20000:", 0), 0u) << before.at("SALES");
    ASSERT_EQ(PageSize(path, server_), "4096");
    // The server's own name for the file comes back through the bridge's conversions.
    std::string header = HeaderPage(path, server_);
    EXPECT_NE(header.find(ServerNameEnd(path)), std::string::npos) << header;
    Installation site("real_window");
    Install(site);
    logSizeBefore_ = ReadBytes(gui::kLogPath).size();

    EXPECT_EQ(OptimizeInWindow(site, path), kOptimizeSuccess);
    ExpectRebuilt(path, before);
    std::vector<std::string> texts = NewLogTexts();
    EXPECT_TRUE(InOrder(texts, {"Программа запущена",
                                "[соб.] Будет создана резервная копия базы данных \"" +
                                    std::string(path) + "\"",
                                "[соб.] Создание резервной копии завершено",
                                "[соб.] База данных \"" + std::string(path) +
                                    "\" будет восстановлена из резервной копии",
                                "[соб.] Восстановление из резервной копии завершено",
                                "Выход из программы"}))
        << ::testing::PrintToString(texts);
  }
}

TEST_F(RealServer, TheConsoleProgramRebuildsTheSiteDatabase) {
  CreateDatabase(kSiteDatabase);
  std::map<std::string, std::string> before = Fingerprint(kSiteDatabase, server_);
  Installation site("real_console");
  Install(site);
  gui::ConsoleRun run = gui::RunConsole(site, "optimize");  // the site's database by default
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  // The success line, then the before-and-after record.
  EXPECT_NE(run.output.find(std::string(kOptimizeSuccess) + "\nРазмер файла базы данных: "),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\nРазмер страницы: 4096 -> 16384 байт\n"), std::string::npos)
      << run.output;
  ExpectRebuilt(kSiteDatabase, before);
}

// A run killed while the database was shut down (a power cut, an ended task): the
// next start of the window program brings the database back online and says so,
// before the operator does anything.
TEST_F(RealServer, TheNextStartBringsBackADatabaseAKilledRunLeftShutDown) {
  CreateDatabase(kSiteDatabase);
  std::map<std::string, std::string> before = Fingerprint(kSiteDatabase, server_);
  Installation site("real_killed");
  Install(site);
  {
    gui::ScopedEnvironment stop(L"QVN_TEST_STOP_AT", L"backup");
    gui::ConsoleRun run = gui::RunConsole(site, std::string("optimize \"") + kSiteDatabase + "\"");
    ASSERT_EQ(run.exitCode, 86u) << run.output;
  }
  ASSERT_NE(HeaderPage(kSiteDatabase, server_).find("full shutdown"), std::string::npos);

  gui::RunningProgram program(site.Path("QVNOptimizeDB.exe"), "");
  HWND box = program.WaitForDialog("Оптимизация БД");
  ASSERT_NE(box, nullptr);
  EXPECT_NE(DialogText(box).find("База данных возвращена в рабочий режим; она не изменена."),
            std::string::npos)
      << DialogText(box);
  PressOk(box);
  HWND form = program.WaitForWindow(L"TForm1");
  ASSERT_NE(form, nullptr);
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0);
  EXPECT_EQ(HeaderPage(kSiteDatabase, server_).find("shutdown"), std::string::npos);
  EXPECT_EQ(Fingerprint(kSiteDatabase, server_), before);
  for (const std::string& name : FolderFiles(kSiteDatabase))
    EXPECT_EQ(name.find(".qvnshutdown"), std::string::npos) << name;
}

// The window program killed during the backup (Task Manager, a crash, a power cut at
// a scheduled run) leaves the recovery registered for the next logon; that command,
// run as Windows would run it, brings the database back online before its box waits.
TEST_F(RealServer, AWindowRunKilledInTheBackupLeavesARunOnceThatBringsTheDatabaseBack) {
  CreateDatabase(kSiteDatabase);
  std::map<std::string, std::string> before = Fingerprint(kSiteDatabase, server_);
  Installation site("real_runonce");
  Install(site);
  const std::string name = RecoveryRegistrationName(kSiteDatabase);
  {
    gui::ScopedEnvironment stop(L"QVN_TEST_STOP_AT", L"backup-running");
    gui::RunningProgram program(site.Path("QVNOptimizeDB.exe"), "");
    ASSERT_NE(PressOptimize(program, kSiteDatabase), nullptr);
    ASSERT_EQ(program.WaitForExit(std::chrono::seconds(60)), 86);
  }
  ASSERT_NE(HeaderPage(kSiteDatabase, server_).find("single-user"), std::string::npos);
  const std::string command = platform::RunAtNextLogonCommand(name);
  EXPECT_EQ(command, "\"" + site.Path("QVNOptimizeDB.exe") + "\" recover \"" +
                         std::string(kSiteDatabase) + "\"");
  // As Windows runs it: the program's path, then its arguments.
  const std::string arguments = command.substr(command.find("\" ") + 2);
  gui::RunningProgram recovery(site.Path("QVNOptimizeDB.exe"), arguments);
  HWND box = recovery.WaitForDialog("Оптимизация БД");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(HeaderPage(kSiteDatabase, server_).find("shutdown"), std::string::npos)
      << "online before the box is answered";
  EXPECT_EQ(HeaderPage(kSiteDatabase, server_).find("maintenance"), std::string::npos);
  EXPECT_NE(DialogText(box).find("База данных возвращена в рабочий режим"), std::string::npos);
  PressOk(box);
  EXPECT_EQ(recovery.WaitForExit(), 0);
  EXPECT_EQ(Fingerprint(kSiteDatabase, server_), before);
  platform::UnregisterRunAtNextLogon(name);  // Windows deletes it as it runs it
  // A run that ends by itself, either way, takes its registration away.
  EXPECT_EQ(OptimizeInWindow(site, kSiteDatabase), kOptimizeSuccess);
  EXPECT_EQ(platform::RunAtNextLogonCommand(name), "");
}

// Another program attached to the database: the server refuses to shut it down for
// the rebuild, the operator is told to close that program, and the database stays
// online with its data.
TEST_F(RealServer, AnotherProgramAttachedIsRefusedThroughTheWindow) {
  CreateDatabase(kSiteDatabase);
  std::map<std::string, std::string> before = Fingerprint(kSiteDatabase, server_);
  Installation site("real_busy");
  Install(site);
  std::string box;
  {
    Database other(kSiteDatabase, server_, false);
    ASSERT_EQ(other.Error(), "");
    box = OptimizeInWindow(site, kSiteDatabase);
  }
  EXPECT_NE(box.find("работает другая программа"), std::string::npos) << box;
  EXPECT_NE(box.find("Рабочая база данных не изменена."), std::string::npos) << box;
  EXPECT_EQ(HeaderPage(kSiteDatabase, server_).find("shutdown"), std::string::npos);
  EXPECT_EQ(Fingerprint(kSiteDatabase, server_), before);
  EXPECT_EQ(PageSize(kSiteDatabase, server_), "4096");
  EXPECT_EQ(FolderFiles(kSiteDatabase), std::vector<std::string>{"ZARVO.FDB"});
}

// Refusals by the server itself: its own text inside the wrapped message, in the box
// and on the console, and the database left as it was.
TEST_F(RealServer, TheServersRefusalsReachTheOperatorInItsOwnWords) {
  CreateDatabase(kSiteDatabase);
  std::map<std::string, std::string> before = Fingerprint(kSiteDatabase, server_);
  const std::string content = ReadBytes(kSiteDatabase);
  struct Case {
    const char* what;
    std::string password;
    std::string port;
    const char* serverText;
  } cases[] = {
      {"wrong password", "wrong" + server_.at("QVN_FB_PASSWORD"), server_.at("QVN_FB_PORT"),
       "Your user name and password are not defined"},
      // Nothing listens on port 1 of the loopback.
      {"no server", server_.at("QVN_FB_PASSWORD"), "1",
       "Unable to complete network request to host \"127.0.0.1\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Installation site("real_refused");
    Install(site, c.password, c.port);
    std::string box = OptimizeInWindow(site, kSiteDatabase);
    EXPECT_EQ(box.rfind("Создание резервной копии -> ", 0), 0u) << box;
    EXPECT_NE(box.find(c.serverText), std::string::npos) << box;
    EXPECT_NE(box.find("<# EIBInterBaseError #>"), std::string::npos) << box;
    gui::ConsoleRun run = gui::RunConsole(site, std::string("optimize \"") + kSiteDatabase + "\"");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find(c.serverText), std::string::npos) << run.output;
    EXPECT_TRUE(ReadBytes(kSiteDatabase) == content) << "the database is left as it was";
    EXPECT_EQ(FolderFiles(kSiteDatabase), std::vector<std::string>{"ZARVO.FDB"});
  }
  EXPECT_EQ(Fingerprint(kSiteDatabase, server_), before);
}

// The numbers in a progress row, in their order: "Записи: 12 000 из 300 011 (4 %)"
// -> 12000, 300011, 4 (digits grouped by blanks are one number).
std::vector<long long> NumbersIn(const std::string& row) {
  auto digit = [&](std::size_t i) { return i < row.size() && row[i] >= '0' && row[i] <= '9'; };
  std::vector<long long> numbers;
  for (std::size_t i = 0; i < row.size();) {
    if (!digit(i)) {
      ++i;
      continue;
    }
    long long value = 0;
    for (;;) {
      for (; digit(i); ++i) value = value * 10 + (row[i] - '0');
      // A blank, then a group of exactly three digits: the same number goes on.
      if (row[i] == ' ' && digit(i + 1) && digit(i + 2) && digit(i + 3) && !digit(i + 4))
        ++i;
      else
        break;
    }
    numbers.push_back(value);
  }
  return numbers;
}

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

// The progress window during a rebuild of the real server, read as the window
// reports what it drew: under the stage line, the backup's table and tables saved of
// all, then the restore's records read back of all and the indices built of all,
// with the time left; no figure goes back within a stage. With QVN_SCREENSHOT_DIR
// set, a moment of each part is announced for a picture, its name ending in
// "-QVN_SCREENSHOT_PPI" where that is set (the resolution the session is set to).
TEST_F(RealServer, TheProgressWindowShowsHowFarTheRebuildIs) {
  CreateDatabase(kSiteDatabase);
  {
    Database db(kSiteDatabase, server_, false);
    ASSERT_TRUE(db.Execute(
        "execute block as declare i integer = 0; begin while (i < 280000) do begin "
        "insert into SALES (PUMP_ID, LITERS, AMOUNT, SOLD_AT) values (mod(:i, 8) + 1, "
        "mod(:i * 7, 600) / 10.0, mod(:i * 13, 300000) / 100.0, "
        "dateadd(:i second to timestamp '2026-02-01 06:00:00')); i = i + 1; end end"))
        << db.Error();
    ASSERT_TRUE(db.Commit()) << db.Error();
  }
  Installation site("real_progress");
  Install(site);
  wchar_t ppi[8] = {};
  ::GetEnvironmentVariableW(L"QVN_SCREENSHOT_PPI", ppi, 8);
  std::string suffix = ppi[0] ? "-" + platform::Narrow(ppi, wcslen(ppi)) : "";
  gui::RunningProgram program(site.Path("QVNOptimizeDB.exe"), "");
  HWND form = PressOptimize(program, kSiteDatabase);
  ASSERT_NE(form, nullptr);

  // Lines 2 to 5 from the top: the stage and the rows under it.
  std::vector<std::vector<std::string>> looks;
  std::vector<std::string> announced;
  auto announce = [&](const std::string& moment) {
    if (std::find(announced.begin(), announced.end(), moment) != announced.end()) return;
    announced.push_back(moment);
    gui::Checkpoint((moment + suffix).c_str());
  };
  HWND box = nullptr;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (box == nullptr && std::chrono::steady_clock::now() < deadline) {
    HWND window = program.WaitForWindow(L"ProgressViewerFormClass", std::chrono::milliseconds(0));
    if (window != nullptr) {
      // Read a character at a time: a look counts when it was all read from one text
      // block, neither torn by a new layout nor by the window's end.
      std::size_t block = gui::DrawnBlocksOf(window);
      std::vector<std::string> look;
      for (int line = 2; line <= 5; ++line) look.push_back(gui::DrawnLineOf(window, line));
      if (block == 0 || gui::DrawnBlocksOf(window) != block || look[0].empty() ||
          (!looks.empty() && look == looks.back()))
        continue;
      looks.push_back(look);
      if (StartsWith(look[2], "Сохранено таблиц: ")) announce("progress-backup");
      if (StartsWith(look[1], "Таблица ") && StartsWith(look[2], "Записи: ") &&
          NumbersIn(look[2]).at(0) > 0)
        announce("progress-restore-data");
      if (StartsWith(look[1], "Создание индексов: ") && NumbersIn(look[1]).at(0) > 0 &&
          StartsWith(look[3], "Осталось времени: ~"))
        announce("progress-restore-indices");
    }
    box = program.WaitForDialog("Оптимизация БД", std::chrono::milliseconds(0));
  }
  ASSERT_NE(box, nullptr) << "no box";
  EXPECT_EQ(DialogText(box), kOptimizeSuccess);
  PressOk(box);
  gui::WaitFor([&] { return !::IsWindow(box); });
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0);

  // Three tables (FUELS, PUMPS, SALES) of 3 + 8 + 300 000 records, six indices (the
  // three keys, two foreign keys and SALES_SOLD_AT).
  const std::string backup = "СОЗДАНИЕ РЕЗЕРВНОЙ КОПИИ";
  const std::string restore = "ВОССТАНОВЛЕНИЕ ИЗ РЕЗЕРВНОЙ КОПИИ";
  long long tablesSaved = 0, recordsRead = 0, indexBuilt = 0;
  bool sawTables = false, sawRecords = false, sawIndices = false, sawTimeLeft = false;
  for (const std::vector<std::string>& look : looks) {
    SCOPED_TRACE(::testing::PrintToString(look));
    if (look[0] == backup && StartsWith(look[2], "Сохранено таблиц: ")) {
      EXPECT_TRUE(StartsWith(look[1], "Таблица "));
      std::vector<long long> tables = NumbersIn(look[2]);
      ASSERT_EQ(tables.size(), 2u);
      EXPECT_EQ(tables[1], 3);
      EXPECT_GE(tables[0], tablesSaved);
      tablesSaved = tables[0];
      sawTables = true;
    }
    if (look[0] == restore && StartsWith(look[2], "Записи: ")) {
      std::vector<long long> records = NumbersIn(look[2]);
      ASSERT_EQ(records.size(), 3u);
      EXPECT_EQ(records[1], 300011);
      EXPECT_GE(records[0], recordsRead);
      recordsRead = records[0];
      sawRecords = true;
      if (StartsWith(look[1], "Создание индексов: ")) {
        std::vector<long long> indices = NumbersIn(look[1]);
        ASSERT_GE(indices.size(), 2u);
        EXPECT_EQ(indices[1], 6);
        EXPECT_GE(indices[0], indexBuilt);
        EXPECT_EQ(records[0], 300011);
        indexBuilt = indices[0];
        sawIndices = sawIndices || indexBuilt > 0;
      } else {
        EXPECT_TRUE(StartsWith(look[1], "Таблица ")) << look[1];
        EXPECT_EQ(indexBuilt, 0);
      }
      EXPECT_TRUE(StartsWith(look[3], "Осталось времени: ")) << look[3];
      sawTimeLeft = sawTimeLeft || StartsWith(look[3], "Осталось времени: ~");
    }
  }
  EXPECT_TRUE(sawTables && sawRecords && sawIndices && sawTimeLeft)
      << "tables " << sawTables << ", records " << sawRecords << ", indices " << sawIndices
      << ", time left " << sawTimeLeft << "; the looks: " << ::testing::PrintToString(looks);
}

// The box that ends a run comes to the front once the progress window has gone:
// after a click made as the operator makes it, it is the foreground window, stands
// above the main window and has the keyboard (Enter closes it), for a success and
// for a failure the server reports.
TEST_F(RealServer, TheResultBoxComesToTheFrontAndTakesTheKeyboard) {
  CreateDatabase(kSiteDatabase);
  struct Case {
    const char* what;
    std::string password;
    const char* text;
    const char* screenshot;
  } cases[] = {
      {"success", server_.at("QVN_FB_PASSWORD"), kOptimizeSuccess, "result-box-success"},
      {"wrong password", "wrong" + server_.at("QVN_FB_PASSWORD"),
       "Your user name and password are not defined", "result-box-wrong-password"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Installation site("real_front");
    Install(site, c.password, server_.at("QVN_FB_PORT"));
    gui::RunningProgram program(site.Path("QVNOptimizeDB.exe"), "");
    HWND form = program.WaitForWindow(L"TForm1");
    ASSERT_NE(form, nullptr);
    ::SendMessageW(::GetDlgItem(form, UMain::kFilenameEdit1.id), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(platform::Widen(kSiteDatabase).c_str()));
    HWND button = ::GetDlgItem(form, UMain::kButton1.id);
    ASSERT_TRUE(gui::WaitFor([&] { return ::GetForegroundWindow() == form; }));
    gui::RealClick(button);
    HWND box = program.WaitForDialog("Оптимизация БД", std::chrono::seconds(120));
    ASSERT_NE(box, nullptr);
    EXPECT_NE(DialogText(box).find(c.text), std::string::npos) << DialogText(box);
    EXPECT_EQ(program.WaitForWindow(L"ProgressViewerFormClass", std::chrono::milliseconds(0)),
              nullptr);
    EXPECT_TRUE(gui::WaitFor(
        [&] { return ::GetForegroundWindow() == box && gui::IsAbove(box, form); },
        std::chrono::seconds(5)))
        << "foreground " << ::GetForegroundWindow() << " (box " << box << ", main window "
        << form << "), box above the main window: " << gui::IsAbove(box, form);
    gui::Checkpoint(c.screenshot);
    gui::RealKeyPress(VK_RETURN);
    EXPECT_TRUE(gui::WaitFor([&] { return !::IsWindow(box); }, std::chrono::seconds(5)))
        << "Enter did not reach the box";
    if (::IsWindow(box)) PressOk(box);
    EXPECT_TRUE(gui::WaitFor([&] { return ::IsWindowEnabled(form) != FALSE; }));
    ::PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0);
  }
}

// What the bridge cannot translate it refuses with its own status rather than
// forwarding it unread (a tag it does not know may name a file), and entries it does
// not forward are absent.
TEST_F(RealServer, TheBridgeRefusesWhatItDoesNotTranslate) {
  const Client& client = TheClient();
  std::string service = ServiceName(server_);
  std::string attach = SysdbaAttach(server_);
  ISC_STATUS_ARRAY status = {};
  isc_svc_handle handle = 0;
  ASSERT_EQ(client.serviceAttach_(status, static_cast<unsigned short>(service.size()),
                                  service.c_str(), &handle,
                                  static_cast<unsigned short>(attach.size()), attach.data()),
            0)
      << client.Text(status);
  const std::string repair = std::string{isc_action_svc_repair, isc_spb_dbname, 4, 0} + "C:\\x";
  const std::string backupSkippingData =
      std::string{isc_action_svc_backup, isc_spb_dbname, 4, 0} + "C:\\x" +
      std::string{isc_spb_bkp_file, 4, 0} + "C:\\y" + std::string{isc_spb_bkp_skip_data, 1, 0} + "%";
  for (const std::string& start : {repair, backupSkippingData}) {
    EXPECT_NE(client.serviceStart_(status, &handle, nullptr,
                                   static_cast<unsigned short>(start.size()), start.data()),
              0);
    EXPECT_EQ(client.Text(status).rfind("fbclient bridge: ", 0), 0u) << client.Text(status);
  }
  client.serviceDetach_(status, &handle);
  const std::string expecting = attach + ShortItem(isc_spb_expected_db, "C:\\x");
  EXPECT_NE(client.serviceAttach_(status, static_cast<unsigned short>(service.size()),
                                  service.c_str(), &handle,
                                  static_cast<unsigned short>(expecting.size()), expecting.data()),
            0);
  EXPECT_EQ(client.Text(status).rfind("fbclient bridge: ", 0), 0u) << client.Text(status);
  HMODULE bridge = ::GetModuleHandleW(L"fbclient.dll");
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(::GetProcAddress(bridge, "isc_dsql_prepare"), nullptr);
  EXPECT_EQ(::GetProcAddress(bridge, "fb_get_master_interface"), nullptr);
}

}  // namespace
