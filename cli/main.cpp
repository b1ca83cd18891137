// qvnoptimize: the console front end. The same rebuild and statistics work as the
// window's buttons, with the progress shown on the terminal.
//
//   qvnoptimize optimize [DB]   rebuild the database (default: the fuel database)
//   qvnoptimize stat [DB]       show its header page
//
// Exit status: 0 success, 1 a failure (its message on stderr), 2 a usage error.
#include <cstdio>
#include <cstring>
#include <string>

#include "fbclient/FBUtils.h"
#include "logger/QLXLogger.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/SiteFiles.h"
#include "maintenance/Statistics.h"
#include "maintenance/Workflow.h"
#include "platform/ConsoleOutput.h"
#include "progress/ProgressViewer.h"

namespace {

int Usage(FILE* out, int status) {
  platform::WriteConsoleText(
      out, "Использование: qvnoptimize optimize [БАЗА]   перестроить базу данных\n"
           "               qvnoptimize stat [БАЗА]       показать заголовок базы данных\n"
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
    FBUtils::Release();
  }
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr, 2);
  std::string command = argv[1];
  if (command == "--help" || command == "-h") return Usage(stdout, 0);
  if (command == "--version") {
    platform::WriteConsoleText(stdout, "qvnoptimize 12.0.0.1\n");
    return 0;
  }
  if ((command != "optimize" && command != "stat") || argc > 3) return Usage(stderr, 2);
  std::string database = argc == 3 ? argv[2] : site::DefaultDatabasePath();

  ProgramSession session;
  try {
    if (command == "optimize") {
      OptimizeDatabase(database);
      platform::WriteConsoleText(stdout, std::string(kOptimizeSuccess) + "\n");
    } else {
      platform::WriteConsoleText(stdout, RequestStatistics(database) + "\n");
    }
    return 0;
  } catch (const std::exception& e) {
    platform::WriteConsoleText(stderr, std::string(e.what()) + "\n");
    return 1;
  }
}
