#include "fbclient/ServiceConnection.h"

#include <vector>

#include "fbclient/FBClient.h"
#include "fbclient/ServiceParams.h"
#include "platform/AnsiText.h"
#include "platform/Interrupt.h"
#include "support/Exceptions.h"

namespace fbclient {

namespace {

// Large enough for any line gbak writes; a longer one is reported, not cut.
constexpr std::size_t kReplyBufferSize = 32768;

}  // namespace

TServiceConnection::TServiceConnection(std::string serverName, std::string userName,
                                       std::string password)
    : serverName_(std::move(serverName)),
      userName_(std::move(userName)),
      password_(std::move(password)) {}

TServiceConnection::~TServiceConnection() {
  if (!Attached()) return;
  try {
    ISC_STATUS_ARRAY status = {};
    Client().service_detach(status, &handle_);
  } catch (...) {
  }
  handle_ = 0;
}

const TFBClient& TServiceConnection::Client() const { return TFBClient::Get(); }

void TServiceConnection::Attach() {
  if (Attached()) throw EIBClientError("Соединение со службой уже установлено");
  const TFBClient& client = Client();
  TSpbBuilder spb = AttachParameters(userName_, password_);
  std::string service = platform::Utf8ToAnsi(ServiceName());
  if (service.size() > 0xFFFF) throw EIBClientError("Слишком длинное имя службы");
  ISC_STATUS_ARRAY status = {};
  isc_svc_handle handle = 0;
  if (client.service_attach(status, static_cast<unsigned short>(service.size()), service.c_str(),
                            &handle, spb.Length(), spb.Data()) != 0)
    client.RaiseStatus(status);
  handle_ = handle;
  eof_ = false;
}

namespace {

void Start(const TFBClient& client, isc_svc_handle& handle, const TSpbBuilder& spb) {
  if (handle == 0) throw EIBClientError("Нет соединения со службой");
  ISC_STATUS_ARRAY status = {};
  if (client.service_start(status, &handle, nullptr, spb.Length(), spb.Data()) != 0)
    client.RaiseStatus(status);
}

}  // namespace

void TServiceConnection::StartBackup(const std::string& databasePath,
                                     const std::string& backupPath, TBackupScope scope) {
  TSpbBuilder spb = BackupParameters(databasePath, backupPath, scope);
  Start(Client(), handle_, spb);
  eof_ = false;
}

void TServiceConnection::StartRestore(const std::string& backupPath,
                                      const std::string& databasePath, std::uint32_t pageSize) {
  TSpbBuilder spb = RestoreParameters(backupPath, databasePath, pageSize);
  Start(Client(), handle_, spb);
  eof_ = false;
}

void TServiceConnection::StartHeaderStatistics(const std::string& databasePath) {
  TSpbBuilder spb = HeaderStatisticsParameters(databasePath);
  Start(Client(), handle_, spb);
  eof_ = false;
}

void TServiceConnection::RunToEnd(const TSpbBuilder& spb) {
  Start(Client(), handle_, spb);
  eof_ = false;
  // The server reports the action's refusal through the query that reads its output.
  while (!Eof()) GetNextLine();
}

void TServiceConnection::ShutDown(const std::string& databasePath, TShutdownMode mode,
                                  std::uint32_t waitSeconds) {
  RunToEnd(ShutdownParameters(databasePath, mode, waitSeconds));
}

void TServiceConnection::EnterSingleUser(const std::string& databasePath) {
  RunToEnd(SingleUserParameters(databasePath));
}

void TServiceConnection::BringOnline(const std::string& databasePath) {
  RunToEnd(OnlineParameters(databasePath));
}

void TServiceConnection::CloseLingering(const std::string& databasePath) {
  RunToEnd(NoLingerParameters(databasePath));
}

std::string TServiceConnection::GetNextLine() {
  if (!Attached()) throw EIBClientError("Нет соединения со службой");
  const TFBClient& client = Client();
  const char request[] = {isc_info_svc_line};
  // The server answers within a second even when it has nothing to say, so that a
  // request to end the program is seen while a long step (an index) runs. The steps
  // that put things right afterwards are never interruptible.
  const char send[] = {isc_info_svc_timeout, 4, 0, 1, 0, 0, 0};
  std::vector<char> reply(kReplyBufferSize);
  for (;;) {
    if (interruptible_ && platform::InterruptRequested())
      throw EInterrupted("Работа прервана по требованию завершить программу (" +
                         platform::InterruptReason() + ")");
    ISC_STATUS_ARRAY status = {};
    if (client.service_query(status, &handle_, nullptr, sizeof send, send, sizeof request,
                             request, static_cast<unsigned short>(reply.size()),
                             reply.data()) != 0)
      client.RaiseStatus(status);
    const auto* begin = reinterpret_cast<const unsigned char*>(reply.data());
    bool timedOut = false;
    std::string line = ParseLineReply(begin, begin + reply.size(), timedOut);
    if (timedOut) continue;
    eof_ = line.empty();
    return line;
  }
}

void TServiceConnection::Detach() {
  if (!Attached()) return;
  const TFBClient& client = Client();
  ISC_STATUS_ARRAY status = {};
  if (client.service_detach(status, &handle_) != 0) client.RaiseStatus(status);
  handle_ = 0;
}

}  // namespace fbclient
