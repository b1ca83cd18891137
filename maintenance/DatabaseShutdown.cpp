#include "maintenance/DatabaseShutdown.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "fbclient/ServiceConnection.h"
#include "logger/LogFormat.h"
#include "logger/QLXLogger.h"
#include "maintenance/FailureHints.h"
#include "maintenance/BackupRestore.h"
#include "maintenance/FileNames.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/RebuildChecks.h"
#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/SystemError.h"

namespace {

void ProgramLog(const std::string& text, TLogLevel level) { Log(ProgramLogger(), text, level); }

// One properties action on a connection of its own.
template <typename Action>
void WithService(const TServerLogin& login, Action action) {
  fbclient::TServiceConnection service(login.ServerName(), login.user, login.password);
  service.Attach();
  action(service);
  service.Detach();
}

// How long a database may take to come back online: a program polling it can take
// the single place just as it is brought back, which leaves the request without
// effect; it is made again until the header shows it online.
constexpr auto kOnlineDeadline = std::chrono::seconds(15);

// Brings the database online, unless its header shows it is (the server refuses to
// bring an online database online), and checks by its header that it is; raises
// otherwise. How long it took is logged when it took more than one request.
void BringOnlineAndCheck(const std::string& databasePath) {
  const auto start = std::chrono::steady_clock::now();
  TServerLogin login = CurrentServerLogin();
  int requests = 0;
  std::string why;
  for (;;) {
    try {
      TDatabaseHeader header = ReadDatabaseHeader(login, databasePath);
      if (header.Online()) break;
      why = FormatText("сервер не перевёл базу данных в рабочий режим (%s)", {header.attributes});
      if (std::chrono::steady_clock::now() - start >= kOnlineDeadline) throw Exception(why);
      ++requests;
      WithService(login, [&](fbclient::TServiceConnection& service) {
        service.BringOnline(databasePath);
      });
    } catch (const EIBInterBaseError& e) {
      // Refused for now (the place taken at that instant, the server restarting):
      // tried again until the deadline.
      if (std::chrono::steady_clock::now() - start >= kOnlineDeadline) throw;
      why = e.Message();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (requests > 1) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    ProgramLog(FormatText("База данных \"%s\" возвращена в рабочий режим с %s-й попытки за %s мс",
                          {databasePath, std::to_string(requests), std::to_string(ms)}),
               llWarning);
  }
}

// The state file goes once the database is online again. Its removal need not be on
// the disk at once (a flush of the folder would also write out whatever else is
// pending there): a file that comes back, or cannot be removed, only means one more
// look at the next start, which finds the database online.
void RemoveStateFile(const std::string& statePath) { platform::RemoveFile(statePath); }

constexpr char kStateMark[] = "QVNOptimizeDB|";
// The first line of an older version's state file.
constexpr char kOlderStateMark[] =
    "QVNOptimizeDB: база данных закрыта для других программ на время оптимизации";

std::string ReadSmallFile(const std::string& path) {
  platform::File file = platform::File::Open(path, platform::FileOpenMode::kRead);
  std::string text(4096, '\0');
  text.resize(file.Read(&text[0], text.size()));
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// How long ago the file was last written, in milliseconds; none when it cannot be told.
std::optional<std::int64_t> MillisecondsSinceWritten(const std::string& path) {
  std::optional<std::int64_t> written = platform::LastWriteTimeMs(path);
  if (!written) return std::nullopt;
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
             .count() -
         *written;
}

// The server's text of several lines as one, for a line of the operator's report.
std::string OneLine(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " ");
  return text;
}

[[noreturn]] void RefuseOtherProgram(const std::string& databasePath, const std::string& detail) {
  throw EOtherProgramAtWork(FormatText(
      "С базой данных \"%s\" работает другая программа: сервер не может закрыть базу данных для "
      "оптимизации, пока к ней подключены другие программы.\r\nЗакройте все программы, которые "
      "работают с этой базой данных (систему ZARVO), на всех компьютерах и повторите "
      "оптимизацию. %s\r\n(%s)",
      {databasePath, kUntouched, detail}))
      .SaysUnchanged();
}

// Somebody got in while the database was shut down for the rebuild (the single
// place, or the moment after the backup): what it did might be missing from the copy.
[[noreturn]] void RefuseIntruder(const std::string& detail) {
  throw EOtherProgramAtWork(
      "К базе данных подключилась другая программа, поэтому её нельзя было закрыть для "
      "оптимизации: сделанные ею изменения могли бы не попасть в новую копию. Оптимизация "
      "прервана.\r\nЗакройте все программы, которые работают с этой базой данных (систему "
      "ZARVO), на всех компьютерах и повторите оптимизацию.\r\n(" + detail + ")");
}

}  // namespace

std::string ShutdownStatePath(const std::string& databasePath) {
  return ChangeFileExt(databasePath, kShutdownStateExtension);
}

std::string StateFileText(const TShutdownState& state) {
  char head[96];
  std::snprintf(head, sizeof head, "%s%c%c|%020llu|%c|%010ld\r\n", kStateMark,
                state.single ? 'S' : '-', state.full ? 'F' : '-',
                static_cast<unsigned long long>(state.nextTransaction), state.exact ? '=' : '>',
                state.processId);
  return head + state.databasePath +
         "\r\nQVNOptimizeDB: база данных закрыта для других программ на время оптимизации. "
         "Если оптимизация была прервана, запустите QVNOptimizeDB снова или выполните "
         "\"qvnoptimize recover\": программа вернёт базу данных в рабочий режим и удалит этот "
         "файл. Не удаляйте его вручную.\r\n";
}

bool IsOurStateText(const std::string& text) {
  // Empty: made, and cut short before its first write (nothing was shut down yet).
  return text.empty() || text.compare(0, sizeof kStateMark - 1, kStateMark) == 0 ||
         text.compare(0, sizeof kOlderStateMark - 1, kOlderStateMark) == 0;
}

std::optional<TShutdownState> ParseStateFile(const std::string& text) {
  std::vector<std::string> lines = SplitLines(text);
  if (!IsOurStateText(text) || lines.size() < 2 || lines[1].empty()) return std::nullopt;
  TShutdownState state;
  state.databasePath = lines[1];
  const std::string& head = lines[0];
  const std::size_t mark = sizeof kStateMark - 1;
  if (head.compare(0, mark, kStateMark) != 0) {
    // Written by an older version: the path on its second line, no more.
    state.single = state.full = true;
    return state;
  }
  // "QVNOptimizeDB|SF|00000000000000000123|=|0000004711"
  if (head.size() != mark + 2 + 1 + 20 + 1 + 1 + 1 + 10 || head[mark + 2] != '|' ||
      head[mark + 23] != '|' || head[mark + 25] != '|') {
    // Damaged: ours all the same, and a site must not stay shut down for it.
    state.single = state.full = true;
    return state;
  }
  state.single = head[mark] == 'S';
  state.full = head[mark + 1] == 'F';
  std::uint64_t next = 0;
  for (std::size_t i = mark + 3; i < mark + 23; ++i) {
    if (head[i] < '0' || head[i] > '9') {
      state.single = state.full = true;
      return state;
    }
    next = next * 10 + static_cast<std::uint64_t>(head[i] - '0');
  }
  state.nextTransaction = next;
  state.exact = head[mark + 24] == '=';
  for (std::size_t i = mark + 26; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i)
    state.processId = state.processId * 10 + (head[i] - '0');
  return state;
}

bool ShutdownIsOurs(const TShutdownState& state, const TDatabaseHeader& header) {
  if (header.FullShutdown() && state.full) {
    return state.exact ? header.nextTransaction == state.nextTransaction
                       : header.nextTransaction >= state.nextTransaction;
  }
  // Our backup may have been under way: it adds to the count.
  if (header.SingleUser() && state.single) return header.nextTransaction >= state.nextTransaction;
  return false;
}

TServerShutdown::TServerShutdown(std::string databasePath)
    : databasePath_(std::move(databasePath)) {}

TServerShutdown::~TServerShutdown() { Restore(); }

// The state file is made only where no name stands (never through a link planted
// there), then rewritten in place at every step; each version is on the disk before
// the step it describes is asked for.
void TServerShutdown::Record(bool single, bool full, std::uint64_t next, bool exact) {
  const std::string statePath = ShutdownStatePath(databasePath_);
  TShutdownState state{databasePath_, single, full, next, exact,
                       static_cast<long>(platform::CurrentProcessId())};
  std::string text = StateFileText(state);
  const bool first = !entered_;
  try {
    platform::File file = platform::File::Open(
        statePath, first ? platform::FileOpenMode::kCreateExclusive : platform::FileOpenMode::kReadWrite);
    entered_ = true;  // from here on every way out brings the database back online
    // Every version has the same length (the first line is of fixed width and the
    // rest never changes): it is written over the one before, never truncated, so a
    // write cut short leaves a file still recognised as ours.
    file.Write(text.data(), text.size());
    file.Close();
    if (!platform::FlushFileToDisk(statePath) || (first && !platform::FlushFolderOf(statePath)))
      RaiseLastOSError();
  } catch (const Exception& e) {
    if (first && entered_) {
      platform::RemoveFile(statePath);
      entered_ = false;
    }
    throw Exception(FormatText("Не удалось записать файл \"%s\": %s. Рабочая база данных не "
                               "изменена.",
                               {statePath, e.Message()}))
        .SaysUnchanged();
  }
}

// The server's answers to a change of shutdown mode it could not make, or says it
// could not: somebody attached, or a shutdown under way. The header decides.
static bool RefusedShutdown(const EIBInterBaseError& e) {
  return e.HasCode(isc_shutfail) || e.HasCode(isc_shutinprog) || e.HasCode(isc_shutdown) ||
         e.HasCode(isc_lock_timeout);
}

// In full shutdown nobody is attached, and the server closes the database: the count
// is read once it has (the header page on the disk then holds all the server did;
// Firebird 4 SuperServer, closing a database, may still count a transaction of its
// own). Bounded: a file still held after that is read as it is, and a count that is
// off then refuses the rebuild rather than lets it pass.
static void WaitUntilClosedByServer(const std::string& databasePath) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!platform::IsFileFree(databasePath) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::uint64_t TServerShutdown::ConfirmFull(const char* step) {
  WaitUntilClosedByServer(databasePath_);
  TDatabaseHeader header = ReadDatabaseHeader(CurrentServerLogin(), databasePath_);
  if (!header.FullShutdown()) {
    RefuseIntruder(FormatText("после шага \"%s\" база данных не закрыта полностью: %s",
                              {step, header.attributes}));
  }
  Record(false, true, header.nextTransaction, true);
  counts_.push_back(header.nextTransaction);
  return header.nextTransaction;
}

// How long the first shutdown waits for those attached to leave: what ends on its own
// (a sweep the server started, a connection's process still closing on Classic) is let
// finish; a program that stays is refused after it.
constexpr std::uint32_t kShutOutWaitSeconds = 5;
// A first shutdown asked and not seen to end (the run killed, the call failed) may
// still be made until then: the server's wait, the second it takes after the last
// attachment leaves, and a margin for a loaded machine.
constexpr auto kShutOutSettles = std::chrono::seconds(kShutOutWaitSeconds + 5);

void TServerShutdown::ShutOut(const TDatabaseHeader& online) {
  Record(false, true, online.nextTransaction, false);
  std::string refusal;
  {
    TServerLogin login = CurrentServerLogin();
    fbclient::TServiceConnection service(login.ServerName(), login.user, login.password);
    service.Attach();
    const auto asked = std::chrono::steady_clock::now();
    try {
      service.ShutDown(databasePath_, fbclient::TShutdownMode::kFull, kShutOutWaitSeconds);
    } catch (const EIBInterBaseError& e) {
      // Refused because somebody is attached ("database shutdown unsuccessful"), or
      // because a shutdown is under way — which, on Firebird 4 Classic, may be this
      // very one, done all the same: the header decides.
      if (!RefusedShutdown(e)) {
        settlesAt_ = asked + kShutOutSettles;
        throw;
      }
      // Only "unsuccessful" says the server gave the request up; after the others
      // it may still make it.
      if (!e.HasCode(isc_shutfail)) settlesAt_ = asked + kShutOutSettles;
      refusal = "Сервер: " + e.Message();
    } catch (...) {
      settlesAt_ = asked + kShutOutSettles;
      throw;
    }
    service.Detach();
  }
  WaitUntilClosedByServer(databasePath_);
  TDatabaseHeader header = ReadDatabaseHeader(CurrentServerLogin(), databasePath_);
  if (!header.FullShutdown() && settlesAt_) {
    std::this_thread::sleep_until(*settlesAt_);
    settlesAt_.reset();
    WaitUntilClosedByServer(databasePath_);
    header = ReadDatabaseHeader(CurrentServerLogin(), databasePath_);
  }
  settlesAt_.reset();
  if (!header.FullShutdown())
    RefuseOtherProgram(databasePath_, refusal.empty()
                                          ? "Сервер не закрыл базу данных: " + header.attributes
                                          : refusal);
  if (!refusal.empty())
    ProgramLog("Сервер ответил отказом, но закрыл базу данных полностью: " + refusal, llPlain);
  Record(false, true, header.nextTransaction, true);
  counts_.assign(1, header.nextTransaction);
}

void TServerShutdown::AdmitOne() {
  Record(true, true, LastCount(), false);
  WithService(CurrentServerLogin(), [&](fbclient::TServiceConnection& service) {
    service.EnterSingleUser(databasePath_);
  });
  TDatabaseHeader header = ReadDatabaseHeader(CurrentServerLogin(), databasePath_);
  if (!header.SingleUser()) {
    throw Exception(FormatText("Сервер не перевёл базу данных \"%s\" в однопользовательский режим "
                               "(%s). %s",
                               {databasePath_, header.attributes, kUntouched}))
        .SaysUnchanged();
  }
  Record(true, false, LastCount(), false);
}

void TServerShutdown::CloseAgain(fbclient::TServiceConnection* service) {
  Record(true, true, LastCount(), false);
  // While somebody holds the single place the request cannot even be made, and the
  // server's tool reports success anyway: only the header tells.
  try {
    if (service != nullptr) {
      service->ShutDown(databasePath_, fbclient::TShutdownMode::kFull);
    } else {
      WithService(CurrentServerLogin(), [&](fbclient::TServiceConnection& own) {
        own.ShutDown(databasePath_, fbclient::TShutdownMode::kFull);
      });
    }
  } catch (const EIBInterBaseError& e) {
    if (!RefusedShutdown(e)) throw;
  }
  ConfirmFull("полное закрытие");
}

void TServerShutdown::Calibrate(const std::string& scratchPath,
                                const std::function<void()>& whileAdmitted) {
  DeleteStaleFile(scratchPath);  // a file left there by an earlier run goes first
  AdmitOne();
  if (whileAdmitted) whileAdmitted();
  {
    TServerLogin login = CurrentServerLogin();
    fbclient::TServiceConnection service(login.ServerName(), login.user, login.password);
    service.Attach();
    service.SetInterruptible(true);
    service.StartBackup(databasePath_, scratchPath, fbclient::TBackupScope::kMetadataOnly);
    std::vector<std::string> output;
    try {
      while (!service.Eof()) output.push_back(service.GetNextLine());
    } catch (const EIBInterBaseError& e) {
      platform::RemoveFile(scratchPath);
      // The place taken before the calibration's own attachment: somebody got in.
      if (e.HasCode(isc_shutdown) || e.HasCode(isc_shutinprog)) RefuseIntruder("Сервер: " + e.Message());
      throw;
    }
    platform::RemoveFile(scratchPath);
    CheckBackupOutput(output);
    service.Detach();
  }
  CloseAgain();
}

void TServerShutdown::ProveNobodyElseWorked() const {
  // The first cycle takes up what is pending from before the shutdown (Firebird 4
  // counts one more there after a recent attachment, a due sweep would start there):
  // the backup is held against the cycle after it, which follows the same steps.
  std::vector<std::uint64_t> growth;
  for (std::size_t i = 1; i < counts_.size(); ++i) growth.push_back(counts_[i] - counts_[i - 1]);
  bool same = growth.size() == 3 && growth[1] == growth[2];
  std::string figures;
  for (std::uint64_t n : counts_) figures += (figures.empty() ? "" : ", ") + std::to_string(n);
  if (!same) {
    ProgramLog("Счётчик транзакций базы данных вырос не только от шагов оптимизации: " + figures,
               llError);
    RefuseIntruder("счётчик транзакций сервера: " + figures +
                   "; другая программа работала с базой данных во время резервного копирования");
  }
  ProgramLog("Счётчик транзакций подтвердил, что во время резервного копирования с базой данных "
             "работала только оптимизация: " + figures,
             llPlain);
}

void TServerShutdown::Release() noexcept {
  if (!entered_) return;
  entered_ = false;
  RemoveStateFile(ShutdownStatePath(databasePath_));
}

std::string TServerShutdown::Restore() noexcept {
  if (!entered_) return std::string();
  entered_ = false;
  try {
    // Brought online before a shutdown still pending took effect, it would be left
    // shut down.
    if (settlesAt_) std::this_thread::sleep_until(*settlesAt_);
    BringOnlineAndCheck(databasePath_);
    RemoveStateFile(ShutdownStatePath(databasePath_));
    return std::string();
  } catch (const std::exception& e) {
    try {
      // With no server to ask, only its start can help; other programs are kept out
      // meanwhile.
      const auto* server = dynamic_cast<const EIBInterBaseError*>(&e);
      if (server != nullptr && ServerCause(*server).reason == TFailureReason::kServerUnreachable) {
        std::string text = FormatText(
            "База данных \"%s\" осталась закрытой для других программ: сервер Firebird не "
            "отвечает (%s). Файл базы данных цел и не изменён. Когда служба \"Firebird Server - "
            "ZARVOInstance\" снова будет запущена, запустите эту программу снова: она вернёт базу "
            "данных в рабочий режим.",
            {databasePath_, OneLine(e.what())});
        ProgramLog(text, llError);
        return text;
      }
      std::string text = FormatText(
          "База данных \"%s\" осталась закрытой для других программ: не удалось вернуть её в "
          "рабочий режим (%s). Файл базы данных цел и не изменён. Закройте программы, которые "
          "работают с этой базой данных, убедитесь, что служба \"Firebird Server - "
          "ZARVOInstance\" запущена, и запустите эту программу снова: она вернёт базу данных в "
          "рабочий режим.",
          {databasePath_, e.what()});
      ProgramLog(text, llError);
      return text;
    } catch (...) {
      return "База данных осталась закрытой для других программ; запустите программу снова.";
    }
  }
}

void CloseLingeringDatabase(const std::string& host, const std::string& databasePath,
                            const std::string& userName, const std::string& password, int port) {
  TServerLogin login{host, userName, password, port};
  WithService(login, [&](fbclient::TServiceConnection& service) {
    service.CloseLingering(databasePath);
  });
}

namespace {

// A side file of an ended run may go once the server has let go of it: its orphaned
// job can go on writing a backup for a while after the run was killed. Never waited
// for: a file still in use is left for the next look.
bool ServerLetGo(const std::string& path) {
  if (!platform::IsFileFree(path)) return false;
#ifndef _WIN32
  // POSIX shows no hold on a backup being written: it must have stood still a while.
  std::optional<std::int64_t> age = MillisecondsSinceWritten(path);
  if (!age || *age < 10000) return false;
#endif
  return true;
}

}  // namespace

std::string RemoveLeftovers(const std::string& databasePath) {
  std::string text;
  for (const char* extension : {kBackupExtension, kTempBaseExtension}) {
    const std::string path = ChangeFileExt(databasePath, extension);
    if (platform::KindOfEntry(path) != platform::EntryKind::kRegular) continue;
    if (ServerLetGo(path) && platform::RemoveFile(path)) {
      ProgramLog("Удалён файл прерванной оптимизации: " + path, llPlain);
    } else {
      std::string line = FormatText("Файл прерванной оптимизации \"%s\" ещё занят сервером: он "
                                    "будет удалён позже.",
                                    {path});
      ProgramLog(line, llWarning);
      text += (text.empty() ? "" : "\r\n") + line;
    }
  }
  return text;
}

std::uint64_t LeftoverBytes(const std::string& databasePath) {
  std::uint64_t bytes = 0;
  for (const char* extension : {kBackupExtension, kTempBaseExtension}) {
    const std::string path = ChangeFileExt(databasePath, extension);
    if (platform::KindOfEntry(path) == platform::EntryKind::kRegular)
      bytes += static_cast<std::uint64_t>(std::max<std::int64_t>(platform::FileSizeOf(path).value_or(0), 0));
  }
  return bytes;
}

TRecoveryResult RecoverEndedRun(const std::string& databasePath) {
  const std::string statePath = ShutdownStatePath(databasePath);
  // A file named so that it would be its own state file is refused as a database
  // later; it is never taken for a state file.
  if (platform::KindOfEntry(statePath) != platform::EntryKind::kRegular ||
      platform::SameFile(statePath, databasePath))
    return {TRecoveryOutcome::kNothingOfOurs, std::string()};
  const std::string text = ReadSmallFile(statePath);
  // Somebody else's file under that name: not ours to read or remove.
  if (!IsOurStateText(text)) return {TRecoveryOutcome::kNothingOfOurs, std::string()};
  std::optional<TShutdownState> state = ParseStateFile(text);
  if (!state) {
    // Cut short while it was first written: nothing was shut down yet.
    RemoveStateFile(statePath);
    RemoveLeftovers(databasePath);
    return {TRecoveryOutcome::kNothingOfOurs, std::string()};
  }
  // The database the state file was written for: "ZARVO.FDB" and "ZARVO.GDB" share it.
  const std::string& target = state->databasePath;
  if (!platform::FileExists(target)) {
    RemoveStateFile(statePath);  // nothing left to protect
    return {TRecoveryOutcome::kMissing,
            FormatText("Файл \"%s\" не найден на этом компьютере!", {target})};
  }
  TDatabaseHeader header = ReadDatabaseHeader(CurrentServerLogin(), target);
  if (header.Online() && state->full && !state->single && !state->exact) {
    // The run ended while it asked for the first shutdown, which the server may make
    // yet: looked at again once it would have.
    const std::int64_t settles =
        std::chrono::duration_cast<std::chrono::milliseconds>(kShutOutSettles).count();
    const std::int64_t left = settles - MillisecondsSinceWritten(statePath).value_or(0);
    if (left > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, settles)));
      header = ReadDatabaseHeader(CurrentServerLogin(), target);
    }
  }
  if (header.Online()) {
    // Ended before the shutdown took effect, or after the swap: nothing to undo.
    RemoveStateFile(statePath);
    RemoveLeftovers(target);
    return {TRecoveryOutcome::kNothingOfOurs, std::string()};
  }
  if (!ShutdownIsOurs(*state, header)) {
    // Shut down again by somebody else since that run ended: theirs to undo.
    RemoveStateFile(statePath);
    std::string text = FormatText(
        "База данных \"%s\" закрыта для других программ не этой программой (%s): она оставлена "
        "как есть.",
        {target, header.attributes});
    ProgramLog(text, llWarning);
    return {TRecoveryOutcome::kLeftToOthers, text};
  }
  try {
    BringOnlineAndCheck(target);
  } catch (const Exception& e) {
    throw Exception(FormatText(
        "Предыдущая оптимизация базы данных \"%s\" была прервана, и база данных осталась закрытой "
        "для других программ. Вернуть её в рабочий режим не удалось: %s. Файл базы данных цел. "
        "Закройте программы, которые работают с этой базой данных, убедитесь, что служба "
        "\"Firebird Server - ZARVOInstance\" запущена, и запустите эту программу снова.",
        {target, e.Message()}));
  }
  RemoveStateFile(statePath);
  std::string told = FormatText(
      "Предыдущая оптимизация базы данных \"%s\" была прервана, когда база данных была закрыта "
      "для других программ. База данных возвращена в рабочий режим; она не изменена.",
      {target});
  ProgramLog(told, llWarning);
  std::string leftovers = RemoveLeftovers(target);
  if (!leftovers.empty()) told += "\r\n" + leftovers;
  return {TRecoveryOutcome::kBroughtBack, told};
}

std::string RecoverInterruptedRebuild(const std::string& databasePath) {
  TRecoveryResult result = RecoverEndedRun(databasePath);
  return result.outcome == TRecoveryOutcome::kBroughtBack ? result.text : std::string();
}

TRecoveryResult RecoverDatabase(const std::string& path) {
  try {
    const std::string databasePath = RealDatabasePath(path);
    if (!platform::FileExists(ShutdownStatePath(databasePath))) {
      if (!platform::FileExists(databasePath))
        return {TRecoveryOutcome::kMissing,
                FormatText("Файл \"%s\" не найден на этом компьютере!", {databasePath})};
      return {TRecoveryOutcome::kNothingOfOurs, std::string()};
    }
    // A run that still holds the lock is alive: its database is its own business.
    std::unique_ptr<platform::NamedLock> lock = TryRebuildLock(databasePath);
    if (!lock) {
      return {TRecoveryOutcome::kRunAlive,
              FormatText("База данных \"%s\" сейчас оптимизируется другой копией программы: она "
                         "сама вернёт базу данных в рабочий режим.",
                         {databasePath})};
    }
    return RecoverEndedRun(databasePath);
  } catch (const std::exception& e) {
    ProgramLog(e.what(), llError);
    return {TRecoveryOutcome::kFailed, e.what()};
  }
}

std::string RecoverInterruptedRebuilds(const std::vector<std::string>& databasePaths) {
  std::string texts;
  for (const std::string& path : databasePaths) {
    TRecoveryResult result = RecoverDatabase(path);
    // At a start, only what was done or failed is told; a missing default database
    // or a live run are nobody's concern here.
    if (result.outcome != TRecoveryOutcome::kBroughtBack && result.outcome != TRecoveryOutcome::kFailed)
      continue;
    texts += (texts.empty() ? "" : "\r\n\r\n") + result.text;
  }
  return texts;
}
