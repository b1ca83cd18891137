#include "maintenance/RebuildChecks.h"

#include <cstdio>
#include <optional>

#include "logger/LogFormat.h"
#include "maintenance/FileNames.h"
#include "platform/FileOps.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "support/Exceptions.h"

namespace {

const char kUntouched[] = "Рабочая база данных не изменена.";

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Megabytes(std::uint64_t bytes) {
  return std::to_string((bytes + (1u << 20) - 1) >> 20) + " МБ";
}

// "Somebody else attached": what it means and what to do.
[[noreturn]] void RefuseForeignWork(const std::string& databasePath, const std::string& when,
                                   const TDatabaseHeader& before, const TDatabaseHeader& after) {
  throw Exception(FormatText(
      "%s к базе данных \"%s\" подключалась другая программа: сделанные ею изменения могли не "
      "попасть в новую копию базы данных. Оптимизация прервана, рабочая база данных не изменена "
      "(новая копия не использована).\r\nЗакройте все программы, которые работают с этой базой данных "
      "(систему ZARVO), и повторите оптимизацию.\r\n(Next attachment ID: %s -> %s, Next "
      "transaction: %s -> %s)",
      {when, databasePath, std::to_string(before.nextAttachment),
       std::to_string(after.nextAttachment), std::to_string(before.nextTransaction),
       std::to_string(after.nextTransaction)}));
}

}  // namespace

std::string RealDatabasePath(const std::string& typedPath) {
  return platform::ResolveFilePath(typedPath).value_or(typedPath);
}

std::unique_ptr<platform::NamedLock> TakeRebuildLock(const std::string& databasePath) {
  // Names compare as the file system compares them: on Windows without case.
  const std::string key = platform::FileNameKey(databasePath);
  std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
  for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ULL;
  char name[64];
  std::snprintf(name, sizeof name, "QVNOptimizeDB-%016llx", static_cast<unsigned long long>(hash));

  // POSIX: every user must reach the same lock file, so the shared /tmp, never a
  // per-user folder; a file planted there in the way makes the open fail, and then
  // the rebuild stops rather than run unguarded.
  platform::NamedLockError error;
  std::unique_ptr<platform::NamedLock> lock =
      platform::NamedLock::Open(name, std::string("/tmp/") + name + ".lock", error);
  if (!lock) {
    throw Exception(FormatText(
        "Не удалось проверить, не оптимизируется ли база данных \"%s\" другой копией программы "
        "(%s: %s). %s",
        {databasePath, error.step, platform::SystemErrorText(error.code), kUntouched}));
  }
  if (!lock->Acquire(0)) {
    throw Exception(FormatText(
        "База данных \"%s\" уже оптимизируется другой копией программы. Дождитесь окончания её "
        "работы и повторите попытку. %s",
        {databasePath, kUntouched}));
  }
  return lock;
}

void CheckSideFileNames(const std::string& databasePath) {
  std::string name = LowerAscii(platform::ExtractFileName(databasePath));
  bool sideName = false;
  for (const char* extension : {kBackupExtension, kTempBaseExtension}) {
    std::string ext = extension;
    if (name.size() >= ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
      sideName = true;
    if (platform::SameFile(ChangeFileExt(databasePath, extension), databasePath)) sideName = true;
  }
  if (sideName) {
    throw Exception(FormatText(
        "Файл \"%s\" нельзя оптимизировать: его имя совпадает с именем служебного файла "
        "оптимизации (%s, %s). Переименуйте файл базы данных и повторите попытку. %s",
        {databasePath, kBackupExtension, kTempBaseExtension, kUntouched}));
  }
}

void CheckFileFree(const std::string& databasePath, const std::string& typedPath) {
  if (!platform::IsFileFree(databasePath)) {
    throw Exception(FormatText(
        "Файл %s занят! Закройте все программы, которые работают с этой базой данных! Если "
        "всё-равно не удалось освободить файл, то перезапустите службу \"Firebird Server - "
        "ZARVOInstance\"",
        {typedPath}));
  }
}

std::uint64_t RoomNeededForRebuild(std::uint64_t databaseSize) {
  return databaseSize * 9 / 4 + (64u << 20);
}

void CheckRoomForRebuild(const std::string& databasePath, std::uint64_t databaseSize) {
  std::uint64_t needed = RoomNeededForRebuild(databaseSize);
  std::optional<std::uint64_t> free = platform::FreeSpaceBeside(databasePath);
  if (!free) {
    throw Exception(FormatText("Не удалось узнать, сколько места свободно на диске с базой данных "
                               "\"%s\": %s. %s",
                               {databasePath, platform::SystemErrorText(platform::LastErrorCode()),
                                kUntouched}));
  }
  if (*free < needed) {
    throw Exception(FormatText(
        "Недостаточно места на диске для оптимизации базы данных \"%s\": нужно не менее %s, "
        "свободно %s. Освободите место на диске и повторите попытку. %s",
        {databasePath, Megabytes(needed), Megabytes(*free), kUntouched}));
  }
}

void CheckOnlyTheBackupAttached(const std::string& databasePath, const TDatabaseHeader& before,
                                const TDatabaseHeader& after) {
  struct Allowance {
    std::uint64_t attachments, transactions;
  };
  constexpr Allowance kBackupAlone[] = {{3, 1}, {5, 2}};
  for (const Allowance& allowed : kBackupAlone) {
    if (after.nextAttachment == before.nextAttachment + allowed.attachments &&
        after.nextTransaction == before.nextTransaction + allowed.transactions)
      return;
  }
  RefuseForeignWork(databasePath, "Во время резервного копирования", before, after);
}

void CheckUntouchedSinceBackup(const std::string& databasePath, const TDatabaseHeader& afterBackup,
                               const TDatabaseHeader& now) {
  if (now.nextAttachment != afterBackup.nextAttachment ||
      now.nextTransaction != afterBackup.nextTransaction)
    RefuseForeignWork(databasePath, "После резервного копирования", afterBackup, now);
}

void CheckRestoreOutput(const std::vector<std::string>& output) {
  bool finished = false;
  for (const std::string& line : output) {
    // gbak marks what went wrong with "ERROR:", and says when it could not bring
    // the new database online (an index that could not be activated, say).
    if (line.find("ERROR:") != std::string::npos || line.find("not online") != std::string::npos) {
      throw Exception(
          "Сервер сообщил об ошибке при восстановлении базы данных: " + line +
          "\r\nНовая база данных не будет использована. " + kUntouched);
    }
    // gbak ends a complete restore with "gbak:finishing, closing, and going home".
    if (line.find("closing, and going home") != std::string::npos) finished = true;
  }
  if (!finished) {
    throw Exception(
        "Восстановление не было доведено до конца: сервер не сообщил о его завершении. Рабочая "
        "база данных не изменена");
  }
}

void CheckRestoredDatabaseOnline(const TDatabaseHeader& header) {
  if (!header.Online()) {
    throw Exception("Восстановленная база данных не готова к работе (" + header.attributes +
                    "). Новая база данных не будет использована. " + std::string(kUntouched));
  }
}
