#include "maintenance/BackupRestore.h"

#include <chrono>
#include <thread>
#include <vector>

#include "fbclient/ServiceConnection.h"
#include "logger/QLXLogger.h"
#include "maintenance/FileNames.h"
#include "maintenance/ProgramLogger.h"
#include "platform/FileOps.h"
#include "platform/SystemError.h"
#include "support/tools.h"

#include <cerrno>

namespace {

void ProgramLog(const std::string& text, TLogLevel level) { Log(ProgramLogger(), text, level); }

void ProgramLogFmt(const std::string& format, std::initializer_list<LogArg> args,
                   TLogLevel level) {
  if (TQLXLogger* logger = ProgramLogger()) logger->LogFmt(format, args, level);
}

// The output lines of one service action, kept for the failure dump.
using CapturedOutput = std::vector<std::string>;

std::string TextOf(const CapturedOutput& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Reads the action's output to its end; a failure dumps what came so far and goes on.
void ReadOutput(fbclient::TServiceConnection& service, CapturedOutput& captured,
                const char* dumpHeader) {
  try {
    while (!service.Eof()) captured.push_back(service.GetNextLine());
  } catch (...) {
    ProgramLog(dumpHeader + TextOf(captured), llPlain);
    throw;
  }
}

// Deletes a file left by an earlier run; a file that cannot be deleted ends the job.
bool DeleteStaleFile(const std::string& path) {
  if (!platform::FileExists(path)) return false;
  if (!platform::RemoveFile(path)) {
    std::string reason = platform::SystemErrorText(platform::LastErrorCode());
    throw Exception(FormatText("Ошибка при удалении файла \"%s\": %s", {path, reason}));
  }
  return true;
}

std::string ServerName(const std::string& host, int port) {
  return host + "/" + std::to_string(port);
}

// The one outer handler of a job: a level-2 line, then the failure wrapped with the
// job's name and the innermost kind.
template <typename Body>
void RunJob(const char* errorPrefix, const char* context, Body body) {
  try {
    body();
  } catch (const Exception& e) {
    ProgramLog(errorPrefix + e.Message(), llError);
    WrapException(e, context, true)->Raise();
  } catch (const std::exception& e) {
    Exception general(e.what());
    ProgramLog(errorPrefix + general.Message(), llError);
    WrapException(general, context, true)->Raise();
  }
}

// Reported when a file is still held open (for the working file on POSIX only:
// Windows refuses its deletion itself and says why).
#ifdef _WIN32
constexpr platform::ErrorCode kFileBusyCode = 32;  // ERROR_SHARING_VIOLATION
#else
constexpr platform::ErrorCode kFileBusyCode = EBUSY;
#endif

const char kRestoreUnfinished[] =
    "Восстановление не было доведено до конца: сервер не сообщил о его завершении. Рабочая база "
    "данных не изменена";

// gbak ends a complete restore with "gbak:finishing, closing, and going home".
bool RestoreFinished(const CapturedOutput& captured) {
  for (const std::string& line : captured) {
    if (line.find("closing, and going home") != std::string::npos) return true;
  }
  return false;
}

bool WaitUntilFree(const std::string& path, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!platform::IsFileFree(path)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace

void BackupDatabase(const std::string& host, const std::string& databasePath,
                    const std::string& backupPath, const std::string& userName,
                    const std::string& password, int port) {
  CapturedOutput captured;
  RunJob("Ошибка создания резервной копии: ", "Создание резервной копии", [&] {
    ProgramLogFmt("Будет создана резервная копия базы данных \"%s\"", {databasePath}, llEvent);
    {
      fbclient::TServiceConnection service(ServerName(host, port), userName, password);
      if (DeleteStaleFile(backupPath)) ProgramLog("Удален старый файл резервной копии", llPlain);
      service.Attach();
      service.StartBackup(databasePath, backupPath);
      ReadOutput(service, captured, "Лог резервирования (предоставлен в целях отладки ошибки):\r\n");
      service.Detach();
    }  // the connection is released here, or by unwinding
    ProgramLog("Создание резервной копии завершено", llEvent);
  });
}

void RestoreDatabase(const std::string& host, const std::string& databasePath,
                     const std::string& backupPath, const std::string& userName,
                     const std::string& password, int port) {
  const std::string tempPath = ChangeFileExt(databasePath, kTempBaseExtension);
  CapturedOutput captured;
  RunJob("Ошибка восстановления из резервной копии: ", "Восстановление из резервной копии", [&] {
    ProgramLogFmt("База данных \"%s\" будет восстановлена из резервной копии", {databasePath},
                  llEvent);
    {
      fbclient::TServiceConnection service(ServerName(host, port), userName, password);
      if (DeleteStaleFile(tempPath)) {
        ProgramLog("Удален старый файл временной базы данных: " + tempPath, llPlain);
      }
      service.Attach();
      service.StartRestore(backupPath, tempPath, kRestorePageSize);
      ReadOutput(service, captured,
                 "Лог восстановления (предоставлен в целях отладки ошибки):\r\n");
      service.Detach();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    if (!platform::FileExists(tempPath)) {
      throw Exception(
          "Операция восстановлена завершилась успешно, однако куда и что она восстановила - не "
          "понятно...");
    }
    // The server's restore service can end without a failure although it restored only
    // part of the data (a backup cut short); the tool's own closing line tells a complete
    // restore. Without it the working database is not replaced.
    if (!RestoreFinished(captured)) throw Exception(kRestoreUnfinished);
    // The server may still write to the new file just after the service has ended; the
    // working file is deleted only once the copy can be taken whole.
    if (!WaitUntilFree(tempPath, std::chrono::seconds(60))) {
      throw Exception(FormatText("Временный файл базы данных \"%s\" занят: %s",
                                 {tempPath, platform::SystemErrorText(kFileBusyCode)}));
    }
    ProgramLog("Восстановление временной БД из резервной копии завершено", llEvent);

    // The swap: delete the working file, copy the rebuilt one into its place, delete
    // the temporary file. A POSIX system deletes a file that another process holds
    // open, so the working file is tested once more right before its deletion.
    bool deleted = false;
    platform::ErrorCode code = kFileBusyCode;
#ifndef _WIN32
    if (platform::IsFileFree(databasePath))
#endif
    {
      deleted = platform::RemoveFile(databasePath);
      if (!deleted) code = platform::LastErrorCode();
    }
    if (!deleted) {
      throw Exception(FormatText(
          "Не удалось полность завершить действия по оптимизации БД!\r\nБД была оптимизирована. "
          "Создан файл \"%s\".\r\nПрограмме не удалось переименовать его в \"%s\",\r\nт.к. при "
          "попытке удаления старого файла \"%s\"\r\nвозникла ошибка: %s\r\nУбедитесь, что система "
          "ZARVO выгружена и повторите попытку!\r\nЛибо вы можете попытаться переименовать файлы "
          "вручную!",
          {tempPath, databasePath, databasePath, platform::SystemErrorText(code)}));
    }
    if (!platform::CopyFileNoOverwrite(tempPath, databasePath)) {
      throw Exception(FormatText(
          "ОШИБКА!!! Файл рабочей базы данных был УДАЛЕН!!!\r\nСрочно найдите файл \"%s\"\r\nи "
          "переименуйте его в \"%s\"\r\nЕсли вы этого не сделаете, то работа АЗС будет "
          "НЕВОЗМОЖНА!!!",
          {tempPath, databasePath}));
    }
    if (!platform::RemoveFile(tempPath)) {
      ProgramLog("Не удалось удалить временный файл базы данных", llWarning);
    }
    ProgramLog("Восстановление из резервной копии завершено", llEvent);
  });
}
