#include "maintenance/FailureHints.h"

#include <algorithm>
#include <initializer_list>

#include <ibase.h>

#include "maintenance/DatabaseShutdown.h"

namespace {

const char kLoginLine[] =
    "Сервер Firebird не принял пароль пользователя SYSDBA из настроек ZARVO (модуль "
    "fbUtils.dll). Обратитесь к технику: пароль в настройках не совпадает с паролем сервера.";
const char kUnreachableLine[] =
    "Нет связи с сервером Firebird на этом компьютере: служба \"Firebird Server - "
    "ZARVOInstance\" не запущена или не отвечает. Запустите эту службу и повторите "
    "оптимизацию; если служба запущена, обратитесь к технику.";
const char kNoRoomLine[] =
    "На диске закончилось свободное место. Освободите место на диске с базой данных, не "
    "удаляя файлы баз данных (*.FDB), и повторите оптимизацию.";
const char kNotOpenedLine[] =
    "Сервер Firebird не смог открыть файл базы данных по этому пути. Выберите базу на "
    "локальном диске этого компьютера (не на подключённом сетевом диске) и повторите; если "
    "путь верен, обратитесь к технику.";
const char kInUseLine[] =
    "С базой данных сейчас работает другая программа, или сервер ещё завершает работу, "
    "начатую прерванной оптимизацией. Закройте программы ZARVO на всех компьютерах, которые "
    "работают с этой базой, подождите минуту и повторите оптимизацию.";

// The operating system's codes for a full disk, as the server's machine reports them
// (a Linux server: ENOSPC; a Windows server: ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL).
// The status's system codes do not say which system: these numbers mean nothing a
// file operation could report on the other one.
constexpr long kNoRoomSystemCodes[] = {28, 39, 112};

bool HasAny(const EIBInterBaseError& failure, std::initializer_list<long> codes) {
  return std::any_of(codes.begin(), codes.end(),
                     [&](long code) { return failure.HasCode(code); });
}

}  // namespace

TServerCause ServerCause(const EIBInterBaseError& failure) {
  using R = TFailureReason;
  if (HasAny(failure, {isc_login, isc_login_error})) return {R::kLogin, kLoginLine};
  const std::vector<long>& system = failure.SystemCodes();
  bool diskFull = std::any_of(system.begin(), system.end(), [](long code) {
    return std::find(std::begin(kNoRoomSystemCodes), std::end(kNoRoomSystemCodes), code) !=
           std::end(kNoRoomSystemCodes);
  });
  if (diskFull || failure.HasCode(isc_gbak_disk_space_ex)) return {R::kNoRoom, kNoRoomLine};
  if (HasAny(failure, {isc_network_error, isc_net_connect_err, isc_net_read_err,
                       isc_net_write_err, isc_conn_lost, isc_lost_db_connection,
                       isc_att_shutdown, isc_net_lookup_err}))
    return {R::kServerUnreachable, kUnreachableLine};
  if (HasAny(failure, {isc_io_open_err, isc_io_create_err})) return {R::kPath, kNotOpenedLine};
  if (HasAny(failure, {isc_shutfail, isc_shutinprog, isc_obj_in_use, isc_lock_timeout,
                       isc_gbak_db_in_use}))
    return {R::kBusy, kInUseLine};
  return {};
}

std::string OperatorHint(const Exception& failure) {
  const auto* server = dynamic_cast<const EIBInterBaseError*>(&failure);
  return server != nullptr ? ServerCause(*server).line : std::string();
}

std::vector<std::string> OperatorHintLines() {
  return {kLoginLine, kUnreachableLine, kNoRoomLine, kNotOpenedLine, kInUseLine};
}

TFailureReason FailureReasonOf(const Exception& failure) {
  if (failure.Reason() != TFailureReason::kUnset) return failure.Reason();
  if (dynamic_cast<const EOtherProgramAtWork*>(&failure) != nullptr) return TFailureReason::kBusy;
  if (dynamic_cast<const EInterrupted*>(&failure) != nullptr) return TFailureReason::kInterrupted;
  if (dynamic_cast<const EIBClientError*>(&failure) != nullptr) return TFailureReason::kLibrary;
  if (const auto* server = dynamic_cast<const EIBInterBaseError*>(&failure)) {
    TFailureReason reason = ServerCause(*server).reason;
    if (reason != TFailureReason::kUnset) return reason;
  }
  return TFailureReason::kInternal;
}

const char* ReasonToken(TFailureReason reason) {
  switch (reason) {
    case TFailureReason::kBusy: return "busy";
    case TFailureReason::kLogin: return "login";
    case TFailureReason::kServerUnreachable: return "server-unreachable";
    case TFailureReason::kNoRoom: return "no-room";
    case TFailureReason::kPath: return "path";
    case TFailureReason::kBackupFailed: return "backup-failed";
    case TFailureReason::kRestoreFailed: return "restore-failed";
    case TFailureReason::kNotSwapped: return "not-swapped";
    case TFailureReason::kNotFlushed: return "not-flushed";
    case TFailureReason::kInterrupted: return "interrupted";
    case TFailureReason::kRecovered: return "recovered";
    case TFailureReason::kLibrary: return "library";
    case TFailureReason::kUsage: return "usage";
    case TFailureReason::kUnset:
    case TFailureReason::kInternal: break;
  }
  return "internal";
}

bool RefusedBeforeAnyChange(TFailureReason reason) {
  return reason == TFailureReason::kBusy || reason == TFailureReason::kRecovered ||
         reason == TFailureReason::kPath;
}
