// qvnoptimize: the console front end. The same rebuild and statistics work as the
// window's buttons, with the progress shown on the terminal; made for a technician
// and for Task Scheduler, where only the exit status and the log are seen.
//
//   qvnoptimize optimize [DB]          rebuild the database (default: the fuel database)
//   qvnoptimize optimize --json [DB]   the same, the outcome as one JSON object on stdout
//                                      and the progress as JSON lines on stderr
//   qvnoptimize stat [DB]              show its header page
//
// Exit status: 0 success, 1 a failure (its message on stderr and in the log), 2 a
// usage error, 3 a refusal before anything was changed that may succeed later
// (another program at work, an earlier run undone, the path or file refused). Text
// for people goes out in the console's code page, JSON in UTF-8; every line ends in
// CR LF. With --json stderr carries JSON lines only.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/JsonText.h"
#include "fbclient/FBUtils.h"
#include "logger/QLXLogger.h"
#include "maintenance/DatabaseShutdown.h"
#include "maintenance/FailureHints.h"
#include "maintenance/JobProgress.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/SiteFiles.h"
#include "maintenance/Statistics.h"
#include "maintenance/Workflow.h"
#include "platform/ConsoleOutput.h"
#include "platform/DynamicLibrary.h"
#include "platform/Interrupt.h"
#include "progress/ProgressViewer.h"
#include "progress/TerminalPresenter.h"

namespace {

// What the jobs have done so far; the terminal display reads it on the viewer's thread.
TJobProgress& RebuildProgress() {
  static TJobProgress progress;
  return progress;
}

std::unique_ptr<TProgressPresenter> MakeProgressPresenter() {
  return MakeStderrPresenter([] { return TJobProgress::Describe(RebuildProgress().State()); });
}

// With --json stderr carries the progress events, not the display.
std::unique_ptr<TProgressPresenter> MakeSilentPresenter() {
  return std::make_unique<TTerminalPresenter>([](const std::string&) {}, false);
}

// The program's modules, started in order and shut down the other way round on every
// way out. The log opens first, so that every failure after it, the missing utility
// library's included, is written there: under Task Scheduler nobody sees stderr.
class ProgramSession {
 public:
  explicit ProgramSession(bool json) {
    ProgressPresenterFactory = json ? &MakeSilentPresenter : &MakeProgressPresenter;
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

// Feeds the jobs' output lines to the progress (and the JSON events) while it lives.
class ProgressObserver {
 public:
  explicit ProgressObserver(TJsonProgressEvents* events) : events_(events) {
    SetJobOutputObserver([this](JobStage stage, const std::string& line) {
      RebuildProgress().Take(stage, line);
      if (events_) events_->Offer(RebuildProgress().State());
    });
  }
  ~ProgressObserver() {
    SetJobOutputObserver(nullptr);
    if (events_) events_->Flush();
  }
  ProgressObserver(const ProgressObserver&) = delete;
  ProgressObserver& operator=(const ProgressObserver&) = delete;

 private:
  TJsonProgressEvents* events_;
};

// Instead of ending the process, as the window does, the refusal becomes the
// console program's failure: logged, with the JSON outcome, and exit status 1.
[[noreturn]] void RefuseWithoutUtilityLibrary() {
  throw Exception(FBUtils::RefusalText()).Because(TFailureReason::kLibrary);
}

void LogFailure(const std::string& text) { Log(ProgramLogger(), text, llError); }

// The exit status of a failure: 3 when it was refused before anything changed.
int ExitStatusOf(TFailureReason reason) { return RefusedBeforeAnyChange(reason) ? 3 : 1; }

TFailureReason ReasonOf(const std::exception& failure) {
  const auto* own = dynamic_cast<const Exception*>(&failure);
  return own != nullptr ? FailureReasonOf(*own) : TFailureReason::kInternal;
}

// What goes to stderr besides the progress: a line for people, or with --json one
// JSON line ({"failure":"busy","message":"..."}, {"notice":"recovery",...}).
void TellOnStderr(bool json, const char* kind, const char* token, const std::string& text) {
  if (json)
    platform::WriteUtf8Text(stderr, JsonNotice(kind, token, text));
  else
    platform::WriteConsoleText(stderr, text + "\n");
}

// The statistics tool prints this heading on a line of its own above the header page;
// without it the tool printed its failure instead. Only at a line's start: the lines
// above it name the database's path, which may hold any words.
bool ShowsHeaderPage(const std::string& statistics) {
  const char heading[] = "Database header page information";
  for (std::size_t start = 0; start < statistics.size();) {
    if (statistics.compare(start, sizeof heading - 1, heading) == 0) return true;
    std::size_t end = statistics.find('\n', start);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

int Statistics(const std::string& database) {
  // The tool gets the path in double quotes on its command line: a path holding a
  // quote (possible on POSIX only) would reach it cut in pieces.
  if (database.find('"') != std::string::npos) {
    std::string message = "Путь к базе данных содержит кавычку (\"), программа статистики не "
                          "сможет его прочитать: " + database;
    LogFailure(message);
    platform::WriteConsoleText(stderr, message + "\n");
    return 1;
  }
  std::string result;
  try {
    result = RequestStatistics(database);
  } catch (const std::exception& e) {
    LogFailure(e.what());
    platform::WriteConsoleText(stderr, std::string(e.what()) + "\n");
    return 1;
  }
  if (!ShowsHeaderPage(result)) {
    const char message[] = "Программа статистики не вывела заголовок базы данных";
    LogFailure(message);  // what it printed is logged above this line
    platform::WriteConsoleText(stderr, std::string(message) + ":\n" + result + "\n");
    return 1;
  }
  platform::WriteConsoleText(stdout, result + "\n");
  return 0;
}

// Brings back online every database that a run of ours left shut down and that no
// run works on any more: the named ones, or the known ones. Exit status 0 when none
// of ours is left shut down (also when there was nothing to do).
int Recover(const std::vector<std::string>& named) {
  std::vector<std::string> databases = named;
  if (databases.empty()) databases = site::KnownDatabasePaths();
  int status = 0;
  for (const std::string& database : databases) {
    TRecoveryResult result = RecoverDatabase(database);
    std::string text = result.text;
    switch (result.outcome) {
      case TRecoveryOutcome::kNothingOfOurs:
        if (named.empty()) continue;  // the defaults that need nothing are not listed
        text = "База данных \"" + database + "\": прерванной оптимизации нет, возвращать нечего.";
        break;
      case TRecoveryOutcome::kBroughtBack:
      case TRecoveryOutcome::kLeftToOthers:
        break;
      case TRecoveryOutcome::kMissing:
        if (named.empty()) continue;
        status = 1;
        break;
      case TRecoveryOutcome::kRunAlive:
      case TRecoveryOutcome::kFailed:
        status = 1;
        break;
    }
    Log(ProgramLogger(), "Восстановление: " + text,
        status == 0 ? llPlain : llError);
    platform::WriteConsoleText(result.outcome == TRecoveryOutcome::kBroughtBack ||
                                       result.outcome == TRecoveryOutcome::kNothingOfOurs ||
                                       result.outcome == TRecoveryOutcome::kLeftToOthers
                                   ? stdout
                                   : stderr,
                               text + "\n");
  }
  return status;
}

int Optimize(const std::string& database, bool json) {
  TRebuildReport report;
  report.databasePath = database;  // the rebuild puts the real file's path here
  TJsonProgressEvents events([](const std::string& event) {
    platform::WriteUtf8Text(stderr, event);
  });
  try {
    {
      ProgressObserver observer(json ? &events : nullptr);
      OptimizeDatabase(database, report);
    }
    if (json) {
      platform::WriteUtf8Text(stdout, JsonReport(true, kOptimizeSuccess, report));
    } else {
      platform::WriteConsoleText(stdout, std::string(kOptimizeSuccess) + "\n" +
                                             RebuildReportText(report) + "\n");
    }
    return 0;
  } catch (const std::exception& e) {
    // The rebuild has logged it.
    TFailureReason reason = ReasonOf(e);
    if (json) platform::WriteUtf8Text(stdout, JsonReport(false, e.what(), report, reason));
    TellOnStderr(json, "failure", ReasonToken(reason), e.what());
    return ExitStatusOf(reason);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread exists: a signal or a console event then ends a rebuild the way
  // a failure does, and a closed pipe never ends the program.
  platform::WatchForInterruption();
  platform::RemoveCurrentFolderFromLibrarySearch();  // before any library is loaded
  const std::vector<std::string> args(argv + 1, argv + argc);
  TCommandLine commandLine;
  try {
    commandLine = ParseCommandLine(args);
  } catch (const Exception& e) {
    bool json = AsksForJson(args);
    ProgramSession session(json);
    LogFailure("Ошибка в командной строке: " + e.Message());
    if (json) {
      platform::WriteUtf8Text(
          stdout, JsonReport(false, e.Message(), TRebuildReport{}, TFailureReason::kUsage));
      platform::WriteUtf8Text(stderr, JsonNotice("failure", "usage", e.Message()));
    } else {
      platform::WriteConsoleText(stderr, "qvnoptimize: " + e.Message() + "\n\n" + UsageText());
    }
    return 2;
  }
  switch (commandLine.command) {
    case TCommandLine::Command::Help:
      platform::WriteConsoleText(stdout, UsageText());
      return 0;
    case TCommandLine::Command::Version:
      platform::WriteConsoleText(stdout, VersionText() + "\n");
      return 0;
    default:
      break;
  }
  const std::string database =
      commandLine.database.empty() ? site::DefaultDatabasePath() : commandLine.database;
  ProgramSession session(commandLine.json);
  try {
    FBUtils::Bind(&RefuseWithoutUtilityLibrary);
  } catch (const std::exception& e) {
    LogFailure(e.what());
    TFailureReason reason = ReasonOf(e);
    if (commandLine.json) {
      TRebuildReport report;
      report.databasePath = database;
      platform::WriteUtf8Text(stdout, JsonReport(false, e.what(), report, reason));
    }
    TellOnStderr(commandLine.json, "failure", ReasonToken(reason), e.what());
    return ExitStatusOf(reason);
  }
  if (commandLine.command == TCommandLine::Command::Recover) return Recover(commandLine.databases);
  // A run that was ended while its database was shut down left a note beside it.
  std::string recovered = RecoverInterruptedRebuilds({database, site::DefaultDatabasePath()});
  if (!recovered.empty())
    TellOnStderr(commandLine.json, "notice", "recovery", recovered);
  if (commandLine.command == TCommandLine::Command::Stat) return Statistics(database);
  int status = Optimize(database, commandLine.json);
  // A console event handler waits for this before Windows may end the process.
  platform::InterruptionHandled();
  return status;
}
