// qvnoptimize: the console front end. The same rebuild and statistics work as the
// window's buttons, with the progress shown on the terminal.
//
//   qvnoptimize optimize [DB]          rebuild the database (default: the fuel database)
//   qvnoptimize optimize --json [DB]   the same, the outcome as one JSON object on stdout
//   qvnoptimize stat [DB]              show its header page
//
// Exit status: 0 success, 1 a failure (its message on stderr), 2 a usage error.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fbclient/FBUtils.h"
#include "logger/QLXLogger.h"
#include "maintenance/DatabaseShutdown.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/SiteFiles.h"
#include "maintenance/Statistics.h"
#include "maintenance/Workflow.h"
#include "platform/ConsoleOutput.h"
#include "platform/DynamicLibrary.h"
#include "progress/ProgressViewer.h"

namespace {

int Usage(FILE* out, int status) {
  platform::WriteConsoleText(
      out, "Использование: qvnoptimize optimize [--json] [БАЗА]   перестроить базу данных\n"
           "               qvnoptimize stat [БАЗА]                показать заголовок базы данных\n"
           "  --json   итог оптимизации одним объектом JSON (outcome, message, размеры, время)\n"
           "По умолчанию БАЗА — " + site::DefaultDatabasePath() + "\n"
           "Журнал: " + site::LogFilePath() + "\n");
  return status;
}

// The program's modules, started in order and shut down the other way round on every
// way out; the program log is opened and closed in between, as the window does.
class ProgramSession {
 public:
  ProgramSession() {
    FBUtils::Bind(&FBUtils::RefuseStartOnConsole);  // ends the process when refused
    ProgressPresenterFactory = &MakeTerminalPresenter;
    RegisterViewerClass();
    QLXLoggerStartup();
    ProgressAppTitle = "Velmora - ZARVO";
    OpenProgramLog();
  }
  ~ProgramSession() {
    CloseProgramLog();
    QLXLoggerShutdown();
    ProgressViewerShutdown();
    FBUtils::Release();
  }
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;
};

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// One object for a chain's monitoring; figures not known are null.
std::string JsonReport(bool success, const std::string& message, const TRebuildReport& report) {
  auto number = [](auto value) { return value < 0 ? std::string("null") : std::to_string(value); };
  auto seconds = [](double value) {
    if (value < 0) return std::string("null");
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return std::string(text);
  };
  return "{\"outcome\":" + JsonString(success ? "success" : "failure") +
         ",\"message\":" + JsonString(message) + ",\"database\":" +
         JsonString(report.databasePath) + ",\"sizeBefore\":" + number(report.sizeBefore) +
         ",\"sizeAfter\":" + number(report.sizeAfter) +
         ",\"pageSizeBefore\":" + number(report.pageSizeBefore) +
         ",\"pageSizeAfter\":" + number(report.pageSizeAfter) +
         ",\"backupSeconds\":" + seconds(report.backupSeconds) +
         ",\"restoreSeconds\":" + seconds(report.restoreSeconds) +
         ",\"swapSeconds\":" + seconds(report.swapSeconds) + "}\n";
}

std::string WithLineFeeds(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  platform::RemoveCurrentFolderFromLibrarySearch();  // before any library is loaded
  std::vector<std::string> args(argv + 1, argv + argc);
  bool json = false;
  for (auto it = args.begin(); it != args.end();) {
    if (*it == "--json") {
      json = true;
      it = args.erase(it);
    } else {
      ++it;
    }
  }
  if (args.empty()) return Usage(stderr, 2);
  const std::string& command = args[0];
  if (command == "--help" || command == "-h") return Usage(stdout, 0);
  if (command == "--version") {
    platform::WriteConsoleText(stdout, "qvnoptimize 12.0.0.1\n");
    return 0;
  }
  if ((command != "optimize" && command != "stat") || args.size() > 2 ||
      (json && command != "optimize"))
    return Usage(stderr, 2);
  std::string database = args.size() == 2 ? args[1] : site::DefaultDatabasePath();

  ProgramSession session;
  // A run that was ended while its database was shut down left a note beside it.
  std::string recovered = RecoverInterruptedRebuilds({database, site::DefaultDatabasePath()});
  if (!recovered.empty()) platform::WriteConsoleText(stderr, WithLineFeeds(recovered) + "\n");
  if (command == "stat") {
    try {
      platform::WriteConsoleText(stdout, RequestStatistics(database) + "\n");
      return 0;
    } catch (const std::exception& e) {
      platform::WriteConsoleText(stderr, std::string(e.what()) + "\n");
      return 1;
    }
  }
  TRebuildReport report;
  try {
    OptimizeDatabase(database, report);
    platform::WriteConsoleText(stdout, json ? JsonReport(true, kOptimizeSuccess, report)
                                            : std::string(kOptimizeSuccess) + "\n" +
                                                  WithLineFeeds(RebuildReportText(report)) + "\n");
    return 0;
  } catch (const std::exception& e) {
    if (json) platform::WriteConsoleText(stdout, JsonReport(false, e.what(), report));
    platform::WriteConsoleText(stderr, std::string(e.what()) + "\n");
    return 1;
  }
}
