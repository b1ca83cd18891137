// The Firebird client library, loaded at run time, and the part of its Services
// API the maintenance jobs use. ibase.h gives the types and constants only; every
// entry is looked up by name, so a missing client is a failure of the job that
// needs it, not of the program's start.
#pragma once

#include <ibase.h>

#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"

namespace fbclient {

// Where the client is looked for, in order:
//   Windows: <exe dir>fbclient.dll, <site root>FIREBIRD\bin\fbclient.dll, fbclient.dll
//   Linux:   libfbclient.so.2 (the system's search order)
std::vector<std::string> ClientLibraryCandidates(const std::string& executableDir,
                                                 const std::string& siteRoot);

// The gds codes of a status vector in order, and the system error codes it carries.
void StatusCodes(const ISC_STATUS* status, std::vector<long>& gds, std::vector<long>& system);

class TFBClient {
 public:
  // Resolves every entry of `library`; a missing one raises EIBClientError naming it.
  explicit TFBClient(platform::DynamicLibrary library);

  // The process's client, loaded from the first candidate that loads. Raises
  // EIBClientError when none does (and tries again on the next call).
  static const TFBClient& Get();

  // The status vector's messages, one per line (CR LF between them).
  std::string StatusText(const ISC_STATUS* status) const;
  // Raises EIBInterBaseError with the status text, its SQL code and error code.
  [[noreturn]] void RaiseStatus(const ISC_STATUS* status) const;

  decltype(&isc_service_attach) service_attach = nullptr;
  decltype(&isc_service_detach) service_detach = nullptr;
  decltype(&isc_service_start) service_start = nullptr;
  decltype(&isc_service_query) service_query = nullptr;
  decltype(&fb_interpret) interpret = nullptr;
  decltype(&isc_sqlcode) sqlcode = nullptr;
  // The database's own records, read once before a rebuild (its owner).
  decltype(&isc_attach_database) attach_database = nullptr;
  decltype(&isc_detach_database) detach_database = nullptr;
  decltype(&isc_dsql_exec_immed2) dsql_exec_immed2 = nullptr;
  decltype(&isc_rollback_transaction) rollback_transaction = nullptr;

 private:
  platform::DynamicLibrary library_;
};

}  // namespace fbclient
