// The Firebird client binding against the private test server.
#include <gtest/gtest.h>

#include <ibase.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/fbclient/TestFiles.h"
#include "tests/fbclient/FbTestServer.h"
#include "fbclient/ServiceConnection.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileOps.h"
#include "support/Exceptions.h"
#include "support/tools.h"

namespace {

using testfiles::TempDir;

using fbtest::CreateDatabase;
using fbtest::PageSizeOf;
using fbtest::Server;
using fbtest::ServerName;
using fbtest::ServerSettings;
using fbtest::WaitUntilFree;

// Every line of the running action, the closing empty one included.
std::vector<std::string> ReadAll(fbclient::TServiceConnection& service) {
  std::vector<std::string> lines;
  while (!service.Eof()) lines.push_back(service.GetNextLine());
  return lines;
}

TEST(ServiceConnection, AttachesWithTheRightPasswordOnly) {
  ServerSettings server = Server();
  {
    fbclient::TServiceConnection service(ServerName(server.port), "SYSDBA", server.password);
    EXPECT_EQ(service.ServiceName(), ServerName(server.port) + ":service_mgr");
    service.Attach();
    EXPECT_TRUE(service.Attached());
    service.Detach();
    EXPECT_FALSE(service.Attached());
  }
  fbclient::TServiceConnection wrong(ServerName(server.port), "SYSDBA", server.password + "x");
  try {
    wrong.Attach();
    FAIL() << "a wrong password was accepted";
  } catch (const EIBInterBaseError& e) {
    EXPECT_FALSE(e.Message().empty());
    EXPECT_NE(e.IBErrorCode(), 0);
    EXPECT_FALSE(wrong.Attached());
  }
}

TEST(ServiceConnection, NoServerIsAnInterBaseError) {
  // Port 1 is privileged and unused: nothing answers there.
  fbclient::TServiceConnection service(ServerName(1), "SYSDBA", "x");
  EXPECT_THROW(service.Attach(), EIBInterBaseError);
  EXPECT_FALSE(service.Attached());
}

TEST(ServiceConnection, BackupAndRestoreWithPageSize16384) {
  ServerSettings server = Server();
  TempDir dir;
  std::string database = dir.File("ZARVO.FDB");
  std::string backup = dir.File("ZARVO.qvnbasebackup");
  std::string restored = dir.File("ZARVO.qvntempbase");
  CreateDatabase(dir, database);
  ASSERT_EQ(PageSizeOf(database), 4096u);

  {
    fbclient::TServiceConnection service(ServerName(server.port), "SYSDBA", server.password);
    service.Attach();
    service.StartBackup(database, backup);
    std::vector<std::string> lines = ReadAll(service);
    service.Detach();
    ASSERT_GE(lines.size(), 10u) << "verbose output";
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines.front().rfind("gbak:", 0), 0u) << lines.front();
    bool sawTable = false;
    for (const std::string& line : lines) sawTable |= line.find("FUEL") != std::string::npos;
    EXPECT_TRUE(sawTable);
  }
  ASSERT_TRUE(platform::FileExists(backup));

  fbclient::TServiceConnection service(ServerName(server.port), "SYSDBA", server.password);
  service.Attach();
  service.StartRestore(backup, restored, 16384);
  std::vector<std::string> lines = ReadAll(service);
  service.Detach();
  EXPECT_GE(lines.size(), 10u);
  EXPECT_EQ(lines.back(), "");
  ASSERT_TRUE(platform::FileExists(restored));
  EXPECT_EQ(PageSizeOf(restored), 16384u);
  EXPECT_EQ(PageSizeOf(database), 4096u) << "the original stays as it was";

  // The server's statistics service reads the same header.
  std::string output = fbtest::HeaderText(restored);
  EXPECT_NE(output.find("Page size\t\t16384"), std::string::npos) << output;
}

TEST(ServiceConnection, RestoreCreatesButNeverReplaces) {
  ServerSettings server = Server();
  TempDir dir;
  std::string database = dir.File("base.fdb");
  std::string backup = dir.File("base.qvnbasebackup");
  CreateDatabase(dir, database);
  {
    fbclient::TServiceConnection service(ServerName(server.port), "SYSDBA", server.password);
    service.Attach();
    service.StartBackup(database, backup);
    ReadAll(service);
  }  // detached by the destructor
  // The server writes the header when it closes the database after the backup.
  std::string content = fbtest::Content(dir, database);
  ASSERT_TRUE(WaitUntilFree(database));
  std::string before = testfiles::ReadFile(database);

  // Restoring over an existing file fails (Firebird 3 while the output is read,
  // Firebird 4 already at the start); the file stays.
  fbclient::TServiceConnection service(ServerName(server.port), "SYSDBA", server.password);
  service.Attach();
  try {
    service.StartRestore(backup, database, 16384);
    ReadAll(service);
    FAIL() << "the restore replaced an existing database";
  } catch (const EIBInterBaseError& e) {
    EXPECT_NE(e.Message().find("already exists"), std::string::npos) << e.Message();
  }
  // The server's existence check attaches to the file, which counts the attachment
  // in the header page (in Classic its process writes another page or two as well);
  // the file keeps its size, page size and data.
  ASSERT_TRUE(WaitUntilFree(database));
  std::string after = testfiles::ReadFile(database);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(PageSizeOf(database), 4096u);
  if (server.kind.find("classic") == std::string::npos) {
    EXPECT_TRUE(after.compare(4096, std::string::npos, before, 4096, std::string::npos) == 0);
  }
  EXPECT_EQ(fbtest::Content(dir, database), content);
}

TEST(ServiceConnection, FailedRestoreReportsTheServersText) {
  ServerSettings server = Server();
  TempDir dir;
  fbclient::TServiceConnection service(ServerName(server.port), "SYSDBA", server.password);
  service.Attach();
  std::vector<std::string> lines;
  try {
    service.StartRestore(dir.File("missing.qvnbasebackup"), dir.File("new.fdb"), 16384);
    while (!service.Eof()) lines.push_back(service.GetNextLine());
    FAIL() << "a restore from a missing backup succeeded";
  } catch (const EIBInterBaseError& e) {
    EXPECT_NE(e.Message().find("missing.qvnbasebackup"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(platform::FileExists(dir.File("new.fdb")));
}

TEST(IsFileFree, BusyWhileTheServerHasTheDatabaseAttached) {
  TempDir dir;
  std::string database = dir.File("base.fdb");
  CreateDatabase(dir, database);
  EXPECT_TRUE(platform::IsFileFree(database));

  fbtest::Attachment attachment(database);
  ASSERT_TRUE(attachment.Attached()) << attachment.Error();
  EXPECT_FALSE(platform::IsFileFree(database));
  attachment.Detach();

  EXPECT_TRUE(WaitUntilFree(database));
}

}  // namespace
