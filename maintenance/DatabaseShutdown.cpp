#include "maintenance/DatabaseShutdown.h"

#include <memory>

#include "fbclient/ServiceConnection.h"
#include "logger/LogFormat.h"
#include "logger/QLXLogger.h"
#include "maintenance/FileNames.h"
#include "maintenance/ProgramLogger.h"
#include "maintenance/RebuildChecks.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "support/Exceptions.h"

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

// Brings the database online, unless its header shows it is (the server refuses to
// bring an online database online), and checks by its header that it is; raises
// otherwise.
void BringOnlineAndCheck(const std::string& databasePath) {
  TServerLogin login = CurrentServerLogin();
  if (ReadDatabaseHeader(login, databasePath).Online()) return;
  WithService(login, [&](fbclient::TServiceConnection& service) {
    service.BringOnline(databasePath);
  });
  TDatabaseHeader header = ReadDatabaseHeader(login, databasePath);
  if (!header.Online()) {
    throw Exception(FormatText("сервер не перевёл базу данных в рабочий режим (%s)",
                               {header.attributes}));
  }
}

// The state file goes once the database is online again. Its removal need not be on
// the disk at once (a flush of the folder would also write out whatever else is
// pending there): a file that comes back, or cannot be removed, only means one more
// look at the next start, which finds the database online.
void RemoveStateFile(const std::string& statePath) { platform::RemoveFile(statePath); }

void WriteStateFile(const std::string& statePath, const std::string& databasePath) {
  try {
    platform::File file = platform::File::Open(statePath, platform::FileOpenMode::kReadWriteCreate);
    file.Truncate(0);
    std::string text = "QVNOptimizeDB: база данных закрыта для других программ на время "
                       "оптимизации\r\n" +
                       databasePath + "\r\n" + std::to_string(platform::CurrentProcessId()) + "\r\n";
    file.Write(text.data(), text.size());
    file.Close();
    if (!platform::FlushFileToDisk(statePath) || !platform::FlushFolderOf(statePath))
      RaiseLastOSError();
  } catch (const Exception& e) {
    platform::RemoveFile(statePath);
    throw Exception(FormatText("Не удалось записать файл \"%s\": %s. Рабочая база данных не "
                               "изменена.",
                               {statePath, e.Message()}));
  }
}

}  // namespace

std::string ShutdownStatePath(const std::string& databasePath) {
  return ChangeFileExt(databasePath, kShutdownStateExtension);
}

TServerShutdown::TServerShutdown(std::string databasePath)
    : databasePath_(std::move(databasePath)) {}

TServerShutdown::~TServerShutdown() { Restore(); }

void TServerShutdown::Enter(fbclient::TShutdownMode mode, fbclient::TServiceConnection* service) {
  if (!entered_) {
    WriteStateFile(ShutdownStatePath(databasePath_), databasePath_);
    entered_ = true;  // from here on every way out brings the database back online
  }
  if (service != nullptr) {
    service->ShutDown(databasePath_, mode);
    return;
  }
  WithService(CurrentServerLogin(), [&](fbclient::TServiceConnection& own) {
    own.ShutDown(databasePath_, mode);
  });
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
    BringOnlineAndCheck(databasePath_);
    RemoveStateFile(ShutdownStatePath(databasePath_));
    return std::string();
  } catch (const std::exception& e) {
    try {
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

std::string RecoverInterruptedRebuild(const std::string& databasePath) {
  const std::string statePath = ShutdownStatePath(databasePath);
  if (!platform::FileExists(statePath)) return std::string();
  if (ReadDatabaseHeader(CurrentServerLogin(), databasePath).Online()) {
    // Ended before the shutdown took effect, or after the swap: nothing to undo.
    RemoveStateFile(statePath);
    return std::string();
  }
  try {
    BringOnlineAndCheck(databasePath);
  } catch (const Exception& e) {
    throw Exception(FormatText(
        "Предыдущая оптимизация базы данных \"%s\" была прервана, и база данных осталась закрытой "
        "для других программ. Вернуть её в рабочий режим не удалось: %s. Файл базы данных цел. "
        "Закройте программы, которые работают с этой базой данных, убедитесь, что служба "
        "\"Firebird Server - ZARVOInstance\" запущена, и запустите эту программу снова.",
        {databasePath, e.Message()}));
  }
  RemoveStateFile(statePath);
  std::string text = FormatText(
      "Предыдущая оптимизация базы данных \"%s\" была прервана, когда база данных была закрыта "
      "для других программ. База данных возвращена в рабочий режим; она не изменена.",
      {databasePath});
  ProgramLog(text, llWarning);
  return text;
}

std::string RecoverInterruptedRebuilds(const std::vector<std::string>& databasePaths) {
  std::string texts;
  for (const std::string& path : databasePaths) {
    try {
      const std::string databasePath = RealDatabasePath(path);
      // No database, nothing to bring back (a rebuild refuses a missing file anyway).
      if (!platform::FileExists(ShutdownStatePath(databasePath)) ||
          !platform::FileExists(databasePath))
        continue;
      // A run that still holds the lock is alive: its database is its own business.
      std::unique_ptr<platform::NamedLock> lock = TryRebuildLock(databasePath);
      if (!lock) continue;
      std::string text = RecoverInterruptedRebuild(databasePath);
      if (!text.empty()) texts += (texts.empty() ? "" : "\r\n\r\n") + text;
    } catch (const std::exception& e) {
      ProgramLog(e.what(), llError);
      texts += (texts.empty() ? "" : "\r\n\r\n") + std::string(e.what());
    }
  }
  return texts;
}
