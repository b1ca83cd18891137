#include "maintenance/Statistics.h"

#include "logger/LogFormat.h"
#include "logger/QLXLogger.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/SiteFiles.h"
#include "maintenance/Workflow.h"
#include "platform/FileOps.h"
#include "support/tools.h"

std::string RequestStatistics(const std::string& databasePath) {
  CheckDatabasePath(databasePath);
  const std::string tool = site::StatisticsToolPath();
  if (!platform::FileExists(tool)) throw Exception("Не удалось найти файл: " + tool);

  std::string command = FormatText("%s \"%s\" -h", {tool, databasePath});
  std::string output;
  RunConsoleCommand(command, output);

  TQLXLogger* logger = ProgramLogger();
  std::string result = "Команда: " + command + "\r\nРезультат: (см. " +
                       (logger ? logger->FileName() : std::string()) + ")\r\n" + output;
  Log(logger, result, llPlain);
  return result;
}
