// The private Firebird test server as the tests see it: its settings, small
// databases made through it, and a client attachment that holds a database open.
#pragma once

#include <gtest/gtest.h>

#include <ibase.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/DynamicLibrary.h"
#include "platform/FileOps.h"
#include "support/tools.h"
#include "tests/fbclient/TestFiles.h"

namespace fbtest {

struct ServerSettings {
  int port = 0;
  std::string password;
  // Which server runs (scripts/fbserver.sh: fb3-super, fb4-classic, ...).
  std::string kind = "fb3-super";
  bool Firebird4() const { return kind.rfind("fb4-", 0) == 0; }
};

// The private server writes its port, SYSDBA password and kind into its settings file.
inline ServerSettings Server() {
  ServerSettings settings;
  std::ifstream in(QVN_FB_DIR "/settings");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("QVN_FB_PORT=", 0) == 0) settings.port = std::stoi(line.substr(12));
    if (line.rfind("QVN_FB_PASSWORD=", 0) == 0) settings.password = line.substr(16);
    if (line.rfind("QVN_FB_SERVER=", 0) == 0) settings.kind = line.substr(14);
  }
  return settings;
}

inline std::string ServerName(int port) { return "127.0.0.1/" + std::to_string(port); }

// Runs SQL through isql on the server; returns what isql printed.
inline std::string RunSql(const testfiles::TempDir& dir, const std::string& sql) {
  std::string script = dir.File("script.sql");
  testfiles::WriteFile(script, sql);
  std::string output;
  EXPECT_TRUE(RunConsoleCommand("isql-fb -q -i \"" + script + "\"", output));
  return output;
}

inline std::string Connect(const std::string& path) {
  ServerSettings server = Server();
  return "'" + ServerName(server.port) + ":" + path + "' USER 'SYSDBA' PASSWORD '" +
         server.password + "'";
}

// A small database (page size 4096) with a table, an index and `rows` rows.
inline void CreateDatabase(const testfiles::TempDir& dir, const std::string& path,
                           int rows = 2000) {
  std::string output = RunSql(
      dir, "CREATE DATABASE " + Connect(path) + " PAGE_SIZE 4096;\n"
           "CREATE TABLE FUEL (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), "
           "LITRES NUMERIC(12,2));\n"
           "CREATE INDEX FUEL_NAME ON FUEL (NAME);\n"
           "SET TERM ^;\n"
           "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < " + std::to_string(rows) +
           ") DO BEGIN INSERT INTO FUEL VALUES (:I, 'AI-' || MOD(:I, 7), :I * 1.5); "
           "I = I + 1; END END^\n"
           "SET TERM ;^\n"
           "COMMIT;\n");
  ASSERT_TRUE(platform::FileExists(path)) << output;
}

// Row count and sums of the table, as isql prints them.
inline std::string Content(const testfiles::TempDir& dir, const std::string& path) {
  return RunSql(dir, "CONNECT " + Connect(path) + ";\n"
                     "SELECT COUNT(*), SUM(ID), CAST(SUM(LITRES) AS NUMERIC(18,2)), "
                     "LIST(DISTINCT NAME) FROM FUEL;\n");
}

// The header page as the server's statistics service prints it (Debian 12's fbstat
// cannot read a Firebird 4 database; the service matches whatever server runs).
inline std::string HeaderText(const std::string& path) {
  ServerSettings server = Server();
  std::string output;
  EXPECT_TRUE(RunConsoleCommand("fbsvcmgr " + ServerName(server.port) + ":service_mgr -user SYSDBA "
                                "-password " + server.password + " -action_db_stats -dbname \"" +
                                path + "\" -sts_hdr_pages", output))
      << output;
  return output;
}

// The page size in a database's header page.
inline unsigned PageSizeOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  unsigned char header[18] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  if (!in) return 0;
  return header[16] | (header[17] << 8);
}

// The server closes a database soon after its last attachment has gone.
inline bool WaitUntilFree(const std::string& path) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool free = platform::IsFileFree(path);
  while (!free && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
    free = platform::IsFileFree(path);
  }
  return free;
}

// The client's own attach, to hold a database open the way a program would.
class Attachment {
 public:
  explicit Attachment(const std::string& database) {
    ServerSettings server = Server();
    library_ = platform::DynamicLibrary::Load("libfbclient.so.2");
    attach_ = library_.SymbolAs<decltype(&isc_attach_database)>("isc_attach_database");
    detach_ = library_.SymbolAs<decltype(&isc_detach_database)>("isc_detach_database");
    if (attach_ == nullptr || detach_ == nullptr) return;
    std::string dpb = {isc_dpb_version1, isc_dpb_user_name, 6};
    dpb += "SYSDBA";
    dpb += static_cast<char>(isc_dpb_password);
    dpb += static_cast<char>(server.password.size());
    dpb += server.password;
    std::string name = ServerName(server.port) + ":" + database;
    auto interpret = library_.SymbolAs<decltype(&fb_interpret)>("fb_interpret");
    // A server under load may refuse an attachment for a moment: asked again for a
    // few seconds, and the last refusal kept for the test's report.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      ISC_STATUS_ARRAY status = {};
      handle_ = 0;
      if (attach_(status, static_cast<short>(name.size()), name.c_str(), &handle_,
                  static_cast<short>(dpb.size()), dpb.data()) == 0)
        return;
      error_.clear();
      const ISC_STATUS* vector = status;
      char text[512];
      while (interpret != nullptr && interpret(text, sizeof text, &vector) > 0)
        error_ += std::string(error_.empty() ? "" : "; ") + text;
      if (std::chrono::steady_clock::now() >= deadline) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
  // Why the attachment was refused, as the server said it.
  const std::string& Error() const { return error_; }
  ~Attachment() { Detach(); }
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  bool Attached() const { return handle_ != 0; }
  void Detach() {
    if (handle_ == 0) return;
    ISC_STATUS_ARRAY status = {};
    detach_(status, &handle_);
  }

 private:
  platform::DynamicLibrary library_;
  decltype(&isc_attach_database) attach_ = nullptr;
  decltype(&isc_detach_database) detach_ = nullptr;
  isc_db_handle handle_ = 0;
  std::string error_;
};

// Leaves after `delay`, on a thread of its own: a program that goes while the
// rebuild waits for it.
inline std::thread DetachLater(Attachment& attachment, std::chrono::milliseconds delay) {
  return std::thread([&attachment, delay] {
    std::this_thread::sleep_for(delay);
    attachment.Detach();
  });
}

}  // namespace fbtest
