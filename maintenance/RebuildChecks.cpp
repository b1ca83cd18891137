#include "maintenance/RebuildChecks.h"

#include <cstdio>
#include <optional>

#include "logger/LogFormat.h"
#include "maintenance/DatabaseShutdown.h"
#include "maintenance/FileNames.h"
#include "platform/FileOps.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "support/Exceptions.h"

namespace {


std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Megabytes(std::uint64_t bytes) {
  return std::to_string((bytes + (1u << 20) - 1) >> 20) + " МБ";
}

}  // namespace

std::string RealDatabasePath(const std::string& typedPath) {
  return platform::ResolveFilePath(typedPath).value_or(typedPath);
}

namespace {

// The lock's key: the folder's identity and the side files' stem, compared as the
// file system compares names. Nothing when the folder cannot be looked at.
std::optional<std::string> RebuildLockKey(const std::string& databasePath) {
  std::string folder = platform::ExtractFilePath(databasePath);
  std::optional<std::string> identity = platform::FileIdentity(folder.empty() ? "." : folder);
  if (!identity) return std::nullopt;
  return *identity + "|" +
         platform::FileNameKey(platform::ExtractFileName(ChangeFileExt(databasePath, "")));
}

std::unique_ptr<platform::NamedLock> OpenRebuildLock(const std::string& databasePath) {
  std::optional<std::string> key = RebuildLockKey(databasePath);
  platform::NamedLockError error;
  std::unique_ptr<platform::NamedLock> lock;
  if (key) {
    const std::string name = "QVNOptimizeDB-" + NameDigest(*key);
    // POSIX: every user must reach the same lock file, so the shared /tmp, never a
    // per-user folder; a file planted there in the way makes the open fail, and then
    // the rebuild stops rather than run unguarded.
    lock = platform::NamedLock::Open(name, std::string("/tmp/") + name + ".lock", error);
  } else {
    error = {"FileIdentity", platform::LastErrorCode()};
  }
  if (!lock) {
    throw Exception(FormatText(
        "Не удалось проверить, не оптимизируется ли база данных \"%s\" другой копией программы "
        "(%s: %s). %s",
        {databasePath, error.step, platform::SystemErrorText(error.code), kUntouched}))
        .SaysUnchanged();
  }
  return lock;
}

}  // namespace

std::unique_ptr<platform::NamedLock> TryRebuildLock(const std::string& databasePath) {
  std::unique_ptr<platform::NamedLock> lock = OpenRebuildLock(databasePath);
  if (!lock->Acquire(0)) return nullptr;
  return lock;
}

std::unique_ptr<platform::NamedLock> TakeRebuildLock(const std::string& databasePath) {
  std::unique_ptr<platform::NamedLock> lock = TryRebuildLock(databasePath);
  if (!lock) {
    throw Exception(FormatText(
        "База данных \"%s\" уже оптимизируется другой копией программы. Дождитесь окончания её "
        "работы и повторите попытку. %s",
        {databasePath, kUntouched}))
        .Because(TFailureReason::kBusy)
        .SaysUnchanged();
  }
  return lock;
}

void CheckNameAsTheServerReadsIt(const std::string& path) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  bool refused = path.empty() || blank(path.front()) || blank(path.back());
#ifdef _WIN32
  // Windows drops trailing dots and blanks of a name; the server would open another file.
  refused = refused || path.back() == '.';
#endif
  if (refused) {
    throw Exception(FormatText(
        "Имя файла базы данных \"%s\" начинается или заканчивается пробелом или точкой: сервер "
        "прочитает его иначе и может открыть другой файл. Переименуйте файл базы данных и "
        "повторите попытку. %s",
        {path, kUntouched}))
        .Because(TFailureReason::kPath)
        .SaysUnchanged();
  }
}

void CheckDatabaseFile(const std::string& databasePath) {
  if (platform::KindOfFile(databasePath) != platform::FileKind::kRegular) {
    throw Exception(FormatText("\"%s\" не является файлом базы данных. %s",
                               {databasePath, kUntouched}))
        .Because(TFailureReason::kPath)
        .SaysUnchanged();
  }
  std::optional<unsigned> links = platform::HardLinkCount(databasePath);
  if (links && *links > 1) {
    throw Exception(FormatText(
        "У файла базы данных \"%s\" есть другие имена (жёсткие ссылки: %s): после оптимизации под "
        "ними осталась бы прежняя база данных. Удалите лишние ссылки и повторите попытку. %s",
        {databasePath, std::to_string(*links), kUntouched}))
        .Because(TFailureReason::kPath)
        .SaysUnchanged();
  }
}

void CheckSideFileNames(const std::string& databasePath) {
  std::string name = LowerAscii(platform::ExtractFileName(databasePath));
  bool sideName = false;
  for (const char* extension : {kBackupExtension, kTempBaseExtension, kShutdownStateExtension}) {
    std::string ext = extension;
    if (name.size() >= ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
      sideName = true;
    if (platform::SameFile(ChangeFileExt(databasePath, extension), databasePath)) sideName = true;
  }
  if (sideName) {
    throw Exception(FormatText(
        "Файл \"%s\" нельзя оптимизировать: его имя совпадает с именем служебного файла "
        "оптимизации (%s, %s, %s). Переименуйте файл базы данных и повторите попытку. %s",
        {databasePath, kBackupExtension, kTempBaseExtension, kShutdownStateExtension,
         kUntouched}))
        .Because(TFailureReason::kPath)
        .SaysUnchanged();
  }
}

void CheckSideFileIsOurs(const std::string& sidePath) {
  platform::EntryKind kind = platform::KindOfEntry(sidePath);
  if (kind == platform::EntryKind::kMissing || kind == platform::EntryKind::kRegular) return;
  throw Exception(FormatText(
      "На месте служебного файла оптимизации \"%s\" находится %s. Оптимизация не выполнена: "
      "сервер записал бы данные туда, куда он указывает. Удалите его и повторите попытку. %s",
      {sidePath,
       kind == platform::EntryKind::kLink ? "ссылка на другой файл или папку" : "не обычный файл",
       kUntouched}))
      .Because(TFailureReason::kPath)
      .SaysUnchanged();
}

void CheckSideFilesAreOurs(const std::string& databasePath) {
  for (const char* extension : {kBackupExtension, kTempBaseExtension, kShutdownStateExtension})
    CheckSideFileIsOurs(ChangeFileExt(databasePath, extension));
}

void CheckWriteAccess(const std::string& databasePath) {
  platform::ErrorCode code = platform::WriteAccessProblem(databasePath);
  if (code != 0) {
    throw Exception(FormatText(
        "Программе не разрешено изменять файл базы данных \"%s\" или папку, в которой он лежит: "
        "%s. Запустите программу от имени пользователя, которому это разрешено (или снимите с "
        "файла и диска защиту от записи), и повторите попытку. %s",
        {databasePath, platform::SystemErrorText(code), kUntouched}))
        .Because(TFailureReason::kPath)
        .SaysUnchanged();
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
                                kUntouched}))
        .SaysUnchanged();
  }
  // A killed run's backup and temporary file go before the new ones are written.
  if (*free + LeftoverBytes(databasePath) < needed) {
    throw Exception(FormatText(
        "Недостаточно места на диске для оптимизации базы данных \"%s\": нужно не менее %s, "
        "свободно %s. Освободите место на диске и повторите попытку. %s",
        {databasePath, Megabytes(needed), Megabytes(*free), kUntouched}))
        .Because(TFailureReason::kNoRoom)
        .SaysUnchanged();
  }
}

void CheckDatabaseMode(const std::string& databasePath, const TDatabaseHeader& header) {
  if (!header.Online() || header.ReadOnly()) {
    throw Exception(FormatText(
        "База данных \"%s\" сейчас не в рабочем режиме (%s): её перевёл в этот режим "
        "администратор сервера или другая программа. Оптимизация не выполнена, база данных "
        "оставлена как есть. Обратитесь к технику: он вернёт базу данных в обычный рабочий "
        "режим, после этого повторите попытку.",
        {databasePath, header.attributes}))
        .Because(TFailureReason::kPath);
  }
  if (header.FileCopyLocked()) {
    // The server refuses any shutdown then; the file is being copied as it stands.
    throw Exception(FormatText(
        "База данных \"%s\" заблокирована для копирования файла (%s): сейчас с неё снимается "
        "копия на уровне файла (nbackup или ALTER DATABASE BEGIN BACKUP). Пока копирование не "
        "закончено, оптимизация невозможна. Обратитесь к технику: копирование нужно завершить "
        "(ALTER DATABASE END BACKUP), после этого повторите попытку. %s",
        {databasePath, header.attributes, kUntouched}))
        .Because(TFailureReason::kPath)
        .SaysUnchanged();
  }
}

void CheckDatabaseOwner(const std::string& databasePath, const std::string& owner,
                        const std::string& rebuildUser) {
  // SYSDBA as the server stores it, or as the utility library spells it.
  if (!owner.empty() && LowerAscii(owner) == LowerAscii(rebuildUser)) return;
  throw Exception(FormatText(
      "Владелец базы данных \"%s\" - пользователь %s, а не %s: после оптимизации владельцем "
      "стал бы %s, и прежний владелец больше не смог бы делать резервные копии базы данных и "
      "менять её свойства. Такую базу данных программа не оптимизирует. %s",
      {databasePath, owner.empty() ? "(неизвестен)" : owner, rebuildUser, rebuildUser,
       kUntouched}))
      .Because(TFailureReason::kPath)
      .SaysUnchanged();
}

namespace {

// A line gbak printed as its own message: what follows its "gbak:" mark, blanks
// skipped ("gbak:closing file, ...", "gbak: ERROR:...", "gbak:    writing shadow file
// /db.shd"). Nothing for a line of another shape (a continuation of a message).
std::optional<std::string> GbakMessage(const std::string& line) {
  const std::string mark = "gbak:";
  if (line.compare(0, mark.size(), mark) != 0) return std::nullopt;
  std::size_t start = line.find_first_not_of(' ', mark.size());
  return start == std::string::npos ? std::string() : line.substr(start);
}

bool StartsWith(const std::string& text, const char* head) {
  return text.rfind(head, 0) == 0;
}

}  // namespace

bool IsGbakErrorLine(const std::string& line) {
  if (StartsWith(line, "ERROR:")) return true;
  std::optional<std::string> message = GbakMessage(line);
  return message && (StartsWith(*message, "ERROR:") ||
                     StartsWith(*message, "Exiting before completion due to errors") ||
                     StartsWith(*message, "Database is not online due to failure"));
}

void RefuseRestoreOutput(const std::string& line) {
  throw Exception("Сервер сообщил об ошибке при восстановлении базы данных: " + line +
                  "\r\nНовая база данных не будет использована. " + kUntouched)
      .Because(TFailureReason::kRestoreFailed)
      .SaysUnchanged();
}

void CheckBackupOutput(const std::vector<std::string>& output) {
  // The header does not tell a shadow; the backup names its file ("gbak:    writing
  // shadow file /db.shd", after the list's head "writing shadow files"). The restore
  // would make that file again over the live shadow's, and fail.
  const char shadowFile[] = "writing shadow file ";
  bool finished = false;
  const std::string* shadow = nullptr;
  for (const std::string& line : output) {
    std::optional<std::string> message = GbakMessage(line);
    // A path too long for the backup's own records is cut ("text for attribute 9 is
    // too large in put_asciz(), truncating to 255 bytes"), and the backup cannot be
    // restored.
    bool truncated = message && StartsWith(*message, "text for attribute ") &&
                     message->find(" is too large in ") != std::string::npos &&
                     message->find(", truncating to ") != std::string::npos;
    if (IsGbakErrorLine(line) || truncated) {
      throw Exception("Сервер сообщил об ошибке при создании резервной копии: " + line +
                      "\r\n" + kUntouched)
          .Because(TFailureReason::kBackupFailed)
          .SaysUnchanged();
    }
    if (!message) continue;
    // gbak ends a complete backup with "gbak:closing file, committing, and finishing".
    if (StartsWith(*message, "closing file, committing, and finishing")) finished = true;
    if (StartsWith(*message, shadowFile) &&
        message->find_first_not_of(' ', sizeof shadowFile - 1) != std::string::npos)
      shadow = &line;
  }
  if (!finished) {
    throw Exception(std::string("Резервная копия не была доведена до конца: сервер не сообщил о её "
                                "завершении. ") +
                    kUntouched)
        .Because(TFailureReason::kBackupFailed)
        .SaysUnchanged();
  }
  if (shadow != nullptr) {
    throw Exception(
        "У базы данных есть теневая копия (shadow): восстановление создало бы её файл заново "
        "поверх действующего, поэтому такую базу данных оптимизировать нельзя. Удалите теневую "
        "копию средствами администратора сервера и повторите попытку (" + *shadow + "). " +
        kUntouched)
        .Because(TFailureReason::kPath)
        .SaysUnchanged();
  }
}

void CheckRestoreOutput(const std::vector<std::string>& output) {
  bool finished = false;
  for (const std::string& line : output) {
    // gbak marks what went wrong with "ERROR:", and says when it could not bring
    // the new database online (an index that could not be activated, say).
    std::optional<std::string> message = GbakMessage(line);
    if (IsGbakErrorLine(line)) RefuseRestoreOutput(line);
    // gbak ends a complete restore with "gbak:finishing, closing, and going home".
    if (message && StartsWith(*message, "finishing, closing, and going home")) finished = true;
  }
  if (!finished) {
    throw Exception(
        "Восстановление не было доведено до конца: сервер не сообщил о его завершении. Рабочая "
        "база данных не изменена")
        .Because(TFailureReason::kRestoreFailed)
        .SaysUnchanged();
  }
}

void CheckRestoredDatabaseOnline(const TDatabaseHeader& header) {
  if (!header.Online()) {
    throw Exception("Восстановленная база данных не готова к работе (" + header.attributes +
                    "). Новая база данных не будет использована. " + std::string(kUntouched))
        .Because(TFailureReason::kRestoreFailed)
        .SaysUnchanged();
  }
}
