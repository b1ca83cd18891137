#include "fbclient/FBClient.h"

#include <clocale>
#include <cstring>
#include <memory>
#include <mutex>
#ifndef _WIN32
#include <langinfo.h>
#endif

#include "fbclient/SitePaths.h"
#include "platform/AnsiText.h"
#include "platform/FileOps.h"
#include "platform/Process.h"
#include "support/Exceptions.h"

namespace fbclient {

std::vector<std::string> ClientLibraryCandidates(const std::string& executableDir,
                                                 const std::string& siteRoot) {
#ifdef _WIN32
  return {executableDir + "fbclient.dll", siteRoot + "FIREBIRD\\bin\\fbclient.dll",
          "fbclient.dll"};
#else
  (void)executableDir;
  (void)siteRoot;
  return {"libfbclient.so.2"};
#endif
}

namespace {

template <typename Function>
void Resolve(const platform::DynamicLibrary& library, const char* name, Function& entry) {
  entry = library.SymbolAs<Function>(name);
  if (entry == nullptr)
    throw EIBClientError(std::string("В клиентской библиотеке Firebird нет функции ") + name);
}

}  // namespace

TFBClient::TFBClient(platform::DynamicLibrary library) : library_(std::move(library)) {
  if (!library_) throw EIBClientError("Клиентская библиотека Firebird не загружена");
  Resolve(library_, "isc_service_attach", service_attach);
  Resolve(library_, "isc_service_detach", service_detach);
  Resolve(library_, "isc_service_start", service_start);
  Resolve(library_, "isc_service_query", service_query);
  Resolve(library_, "fb_interpret", interpret);
  Resolve(library_, "isc_sqlcode", sqlcode);
  Resolve(library_, "isc_attach_database", attach_database);
  Resolve(library_, "isc_detach_database", detach_database);
  Resolve(library_, "isc_dsql_exec_immed2", dsql_exec_immed2);
  Resolve(library_, "isc_rollback_transaction", rollback_transaction);
}

const TFBClient& TFBClient::Get() {
  static std::mutex mutex;
  // Never unloaded: the client keeps threads of its own until the process ends.
  static TFBClient* client = nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (client != nullptr) return *client;

#ifndef _WIN32
  // The client reads an attach string in the character set of the C library's
  // locale, fixed when it is first used, whatever the parameters say; the program's
  // paths are UTF-8.
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
#endif
  std::string reasons;
  for (const std::string& candidate :
       ClientLibraryCandidates(platform::ExecutableDir(), SiteRoot())) {
    std::string error;
    platform::DynamicLibrary library = platform::DynamicLibrary::Load(candidate, &error);
    if (library) {
      client = new TFBClient(std::move(library));
      return *client;
    }
    // A path of a file that is not there says so; one that is there, or a name for the
    // system's search, gets the loader's own reason (a damaged or 64-bit file, a
    // library it needs missing).
    bool hasFolder = candidate.find_first_of("\\/") != std::string::npos;
    if (hasFolder && !platform::FileExists(candidate))
      reasons += "\r\n" + candidate + ": файла нет";
    else
      reasons += "\r\n" + candidate + ": " + error;
  }
  throw EIBClientError("Не удалось загрузить клиентскую библиотеку Firebird:" + reasons);
}

std::string TFBClient::StatusText(const ISC_STATUS* status) const {
  std::string text;
  char buffer[1024];
  const ISC_STATUS* cursor = status;
  while (interpret(buffer, sizeof buffer, &cursor) > 0) {
    if (!text.empty()) text += "\r\n";
    text += buffer;
  }
  return platform::AnsiToUtf8(text);
}

void TFBClient::RaiseStatus(const ISC_STATUS* status) const {
  std::vector<long> gds, system;
  StatusCodes(status, gds, system);
  throw EIBInterBaseError(StatusText(status), sqlcode(status), static_cast<long>(status[1]),
                          std::move(gds), std::move(system));
}

void StatusCodes(const ISC_STATUS* status, std::vector<long>& gds, std::vector<long>& system) {
  // Clusters of (kind, value), or (kind, length, address) for counted strings, up to
  // isc_arg_end; a status vector holds 20 entries at most.
  for (int i = 0; i < ISC_STATUS_LENGTH && status[i] != isc_arg_end;) {
    ISC_STATUS kind = status[i];
    if (i + 1 >= ISC_STATUS_LENGTH) break;
    switch (kind) {
      case isc_arg_gds:
        gds.push_back(static_cast<long>(status[i + 1]));
        i += 2;
        break;
      case isc_arg_unix:
      case isc_arg_win32:
      case isc_arg_dos:
        system.push_back(static_cast<long>(status[i + 1]));
        i += 2;
        break;
      case isc_arg_cstring:
        i += 3;
        break;
      default:
        i += 2;
        break;
    }
  }
}

}  // namespace fbclient
