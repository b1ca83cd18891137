// A test double of the Firebird client library (fbclient.dll) for the Windows
// program's tests under Wine. The rebuild against the real server, and the server's
// own refusals (wrong password, no server), are tested through the fbclient bridge
// (RealServerTest.cpp); the double stays for what the real server cannot be made to
// do on purpose: a restore that fails part way through its output, after writing part
// of the new file. It also serves machines without the bridge. It answers the service
// calls the rebuild makes: a "backup" copies the database to the backup file, a
// "restore" copies the backup file to the new database, each reporting a few
// verbose lines and then the empty line that ends the output; the properties action
// sets the shutdown mode the header then shows; the header statistics print page
// size 16384 for a database it restored.
//
// The environment variable QVN_FBCLIENT_DOUBLE_FAIL makes it fail:
//   attach   the attach is refused as for a wrong password
//   restore  the restore writes part of the new file, then reports an error line
// With QVN_FBCLIENT_DOUBLE_GATE naming an event, the backup waits (up to a minute)
// until the event is set: the test looks at the program while it is busy.
#include <windows.h>

#include <ibase.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>
#include <type_traits>

namespace {

struct Service {
  int action = 0;
  std::string database;
  std::string backup;
  int linesLeft = 0;
  bool failing = false;
  unsigned options = 0;
  std::vector<std::string> header;  // the statistics' lines still to give
} service;

// What the header of each database says, as the server would keep it.
std::map<std::string, std::string> modes;  // the shutdown mode's attribute, if any
std::set<std::string> restored;

std::vector<std::string> HeaderOf(const std::string& database) {
  const std::string& mode = modes[database];
  return {"Database \"" + database + "\"", "Database header page information:",
          std::string("\tPage size\t\t") + (restored.count(database) ? "16384" : "4096"),
          "\tNext transaction\t20", "\tNext attachment ID\t10",
          "\tAttributes\t\tforce write" + (mode.empty() ? "" : ", " + mode), ""};
}

void WaitAtGate() {
  char name[128] = {};
  DWORD n = ::GetEnvironmentVariableA("QVN_FBCLIENT_DOUBLE_GATE", name, sizeof name);
  if (n == 0 || n >= sizeof name) return;
  HANDLE gate = ::OpenEventA(SYNCHRONIZE, FALSE, name);
  if (!gate) return;
  ::WaitForSingleObject(gate, 60000);
  ::CloseHandle(gate);
}

std::string FailMode() {
  char value[64] = {};
  DWORD n = ::GetEnvironmentVariableA("QVN_FBCLIENT_DOUBLE_FAIL", value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// A handle that is not none: a pointer on 32-bit clients, an integer on 64-bit ones.
template <typename Handle>
Handle MakeHandle() {
  if constexpr (std::is_pointer_v<Handle>) {
    return reinterpret_cast<Handle>(std::uintptr_t{1});
  } else {
    return Handle{1};
  }
}

ISC_STATUS Fail(ISC_STATUS* status, ISC_STATUS code) {
  status[0] = isc_arg_gds;
  status[1] = code;
  status[2] = isc_arg_end;
  return code;
}

ISC_STATUS Ok(ISC_STATUS* status) {
  status[0] = isc_arg_gds;
  status[1] = 0;
  status[2] = isc_arg_end;
  return 0;
}

unsigned Read16(const unsigned char*& p) {
  unsigned v = p[0] | (p[1] << 8);
  p += 2;
  return v;
}

// Copies a file, writing only its first half when `half` is set.
bool CopyBytes(const std::string& from, const std::string& to, bool half) {
  HANDLE in = ::CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  HANDLE out = ::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    ::CloseHandle(in);
    return false;
  }
  DWORD size = ::GetFileSize(in, nullptr);
  DWORD limit = half ? size / 2 : size;
  char buffer[65536];
  DWORD done = 0;
  while (done < limit) {
    DWORD got = 0;
    DWORD want = limit - done < sizeof buffer ? limit - done : sizeof buffer;
    if (!::ReadFile(in, buffer, want, &got, nullptr) || got == 0) break;
    DWORD written = 0;
    ::WriteFile(out, buffer, got, &written, nullptr);
    done += got;
  }
  ::CloseHandle(in);
  ::CloseHandle(out);
  return done == limit;
}

}  // namespace

extern "C" {

ISC_STATUS ISC_EXPORT isc_service_attach(ISC_STATUS* status, unsigned short, const ISC_SCHAR*,
                                         isc_svc_handle* handle, unsigned short,
                                         const ISC_SCHAR*) {
  if (FailMode() == "attach") return Fail(status, isc_login);
  service = Service{};
  *handle = MakeHandle<isc_svc_handle>();
  return Ok(status);
}

ISC_STATUS ISC_EXPORT isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
  *handle = 0;
  return Ok(status);
}

ISC_STATUS ISC_EXPORT isc_service_start(ISC_STATUS* status, isc_svc_handle*, isc_resv_handle*,
                                        unsigned short length, const ISC_SCHAR* spb) {
  const auto* p = reinterpret_cast<const unsigned char*>(spb);
  const auto* end = p + length;
  service.action = *p++;
  service.options = 0;
  while (p < end) {
    unsigned char tag = *p++;
    if (tag == isc_spb_dbname || tag == isc_spb_bkp_file) {
      unsigned n = Read16(p);
      std::string value(reinterpret_cast<const char*>(p), n);
      p += n;
      (tag == isc_spb_dbname ? service.database : service.backup) = value;
    } else if (tag == isc_spb_verbose) {
    } else if (tag == isc_spb_prp_shutdown_mode) {
      modes[service.database] = *p++ == isc_spb_prp_sm_full ? "full shutdown"
                                                             : "single-user maintenance";
    } else if (tag == isc_spb_prp_online_mode) {
      if (*p++ == isc_spb_prp_sm_single)
        modes[service.database] = "single-user maintenance";
      else
        modes[service.database].clear();
    } else if (tag == isc_spb_options) {
      service.options = static_cast<unsigned>(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24);
      p += 4;
    } else {
      p += 4;  // options, page size: 32-bit values
    }
  }
  if (service.action == isc_action_svc_db_stats) {
    if (::GetFileAttributesA(service.database.c_str()) == INVALID_FILE_ATTRIBUTES)
      return Fail(status, isc_io_error);
    service.header = HeaderOf(service.database);
    return Ok(status);
  }
  if (service.action == isc_action_svc_properties) {  // no output
    service.linesLeft = 0;
    service.header.clear();
    return Ok(status);
  }
  // The gate holds the backup of the data, not the metadata-only ones around it.
  if (service.action == isc_action_svc_backup && !(service.options & isc_spb_bkp_metadata_only))
    WaitAtGate();
  bool restoreFails = service.action == isc_action_svc_restore && FailMode() == "restore";
  bool copied = service.action == isc_action_svc_backup
                    ? CopyBytes(service.database, service.backup, false)
                    : CopyBytes(service.backup, service.database, restoreFails);
  if (!copied) return Fail(status, isc_io_error);
  if (service.action == isc_action_svc_restore) restored.insert(service.database);
  service.linesLeft = 3;
  service.failing = restoreFails;
  return Ok(status);
}

ISC_STATUS ISC_EXPORT isc_service_query(ISC_STATUS* status, isc_svc_handle*, isc_resv_handle*,
                                        unsigned short, const ISC_SCHAR*, unsigned short,
                                        const ISC_SCHAR*, unsigned short bufferLength,
                                        ISC_SCHAR* buffer) {
  if (service.failing && service.linesLeft == 1) return Fail(status, isc_io_error);
  std::string line;
  if (!service.header.empty()) {
    line = service.header.front();
    service.header.erase(service.header.begin());
  } else if (service.linesLeft > 0) {
    // gbak ends a complete action with these lines; the rebuild looks for them.
    const char* closing = service.action == isc_action_svc_backup
                              ? "gbak:closing file, committing, and finishing. 1024 bytes written"
                              : "gbak:finishing, closing, and going home";
    line = service.linesLeft == 1 ? closing
                                  : "gbak: double line " + std::to_string(4 - service.linesLeft);
    --service.linesLeft;
  }
  if (bufferLength < line.size() + 4) return Fail(status, isc_io_error);
  auto* out = reinterpret_cast<unsigned char*>(buffer);
  out[0] = isc_info_svc_line;
  out[1] = static_cast<unsigned char>(line.size() & 0xFF);
  out[2] = static_cast<unsigned char>(line.size() >> 8);
  std::memcpy(out + 3, line.data(), line.size());
  out[3 + line.size()] = isc_info_end;
  return Ok(status);
}

ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* buffer, unsigned int size, const ISC_STATUS** vector) {
  const ISC_STATUS* v = *vector;
  if (v[0] != isc_arg_gds || v[1] == 0) return 0;
  const char* text = v[1] == isc_login
                         ? "Your user name and password are not defined (test double)"
                         : "I/O error during restore (test double)";
  std::strncpy(buffer, text, size);
  if (size) buffer[size - 1] = '\0';
  *vector = v + 2;
  return static_cast<ISC_LONG>(std::strlen(buffer));
}

ISC_LONG ISC_EXPORT isc_sqlcode(const ISC_STATUS*) { return -902; }

// The database's own records: owned by SYSDBA.
ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* status, short, const ISC_SCHAR*,
                                          isc_db_handle* handle, short, const ISC_SCHAR*) {
  *handle = MakeHandle<isc_db_handle>();
  return Ok(status);
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* status, isc_db_handle* handle) {
  *handle = 0;
  return Ok(status);
}

ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* handle) {
  *handle = 0;
  return Ok(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_exec_immed2(ISC_STATUS* status, isc_db_handle*,
                                           isc_tr_handle* transaction, unsigned short,
                                           const ISC_SCHAR*, unsigned short, const XSQLDA*,
                                           const XSQLDA* out) {
  if (*transaction == 0) *transaction = MakeHandle<isc_tr_handle>();
  if (out != nullptr && out->sqld == 1 && out->sqlvar[0].sqllen >= 6) {
    std::memcpy(out->sqlvar[0].sqldata, "\x06\0SYSDBA", 8);
    *out->sqlvar[0].sqlind = 0;
  }
  return Ok(status);
}

}  // extern "C"
