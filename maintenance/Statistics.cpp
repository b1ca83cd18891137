#include "maintenance/Statistics.h"

#include <vector>

#include "fbclient/FBUtils.h"
#include "fbclient/ServiceConnection.h"
#include "logger/LogFormat.h"
#include "logger/QLXLogger.h"
#include "maintenance/DatabaseHeader.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/SiteFiles.h"
#include "maintenance/Workflow.h"
#include "platform/FileOps.h"
#include "support/Exceptions.h"
#include "support/tools.h"

namespace {

std::string LogFileName() {
  TQLXLogger* logger = ProgramLogger();
  return logger ? logger->FileName() : std::string();
}

std::string LogAndReturn(const std::string& result) {
  Log(ProgramLogger(), result, llPlain);
  return result;
}

// The statistics tool on the quoted path with -h. `preface` goes before the command.
std::string RunStatisticsTool(const std::string& databasePath, const std::string& preface) {
  const std::string tool = site::StatisticsToolPath();
  if (!platform::FileExists(tool)) throw Exception(preface + "Не удалось найти файл: " + tool);

  std::string command = FormatText("%s \"%s\" -h", {tool, databasePath});
  std::string output;
  RunConsoleCommand(command, output);
  return LogAndReturn(preface + "Команда: " + command + "\r\nРезультат: (см. " + LogFileName() +
                      ")\r\n" + output);
}

#ifndef _WIN32
// The header page as the local server's statistics service prints it (the server
// reads the page itself; nobody attaches). Raises when the service cannot give it.
std::string ServiceHeaderText(const TServerLogin& login, const std::string& databasePath) {
  std::vector<std::string> lines = ReadHeaderPageLines(login, databasePath);
  if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the end of the output
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}
#endif

}  // namespace

#ifdef _WIN32
std::string RequestStatistics(const std::string& databasePath) {
  CheckDatabasePath(databasePath);
  return RunStatisticsTool(databasePath, "");
}
#else
// On Linux the statistics tool installed beside the client need not belong to the
// server that runs: Debian 12's fbstat (Firebird 3) cannot read a Firebird 4 database
// ("Wrong ODS version, expected 12, encountered 13"). The server's own statistics
// service always matches it, so the header page is asked of the service first (the
// port and password of the utility library, as for the rebuild); only when the service
// gives no header is the tool run. The text says which of them answered.
std::string RequestStatistics(const std::string& databasePath) {
  CheckDatabasePath(databasePath);
  std::string serverName;
  std::string header;
  try {
    TServerLogin login = CurrentServerLogin();
    serverName = login.ServerName();
    header = ServiceHeaderText(login, databasePath);
  } catch (const Exception& failure) {
    return RunStatisticsTool(databasePath,
                             "Служба статистики сервера не ответила: " + failure.Message() + "\r\n");
  }
  return LogAndReturn("Служба статистики сервера " + serverName + ": заголовок \"" + databasePath +
                      "\"\r\nРезультат: (см. " + LogFileName() + ")\r\n" + header);
}
#endif
