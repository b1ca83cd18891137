/* A Wine builtin fbclient.dll for the tests of the Windows programs: it forwards the
 * Firebird client calls the programs and their tests make to the native client
 * library of the same word size (libfbclient.so.2), which talks to the private test
 * server over loopback. It never ships.
 *
 * What a Windows client would do differently, and what is done about it here:
 *   - File names come in the ANSI code page as Windows paths. Every parameter that
 *     names a file is rewritten, per service action, to the server's name for it:
 *     Wine's Unix name with every link resolved, in UTF-8 (Wine's own
 *     ".../dosdevices/c:/..." form would make the server take "c" for a host).
 *   - Texts coming back (service output lines, interpreted status messages) are in
 *     UTF-8; they are handed back in the ANSI code page, as a Windows server's are.
 *     Paths inside them stay the server's Unix paths.
 *   - Parameter tags and actions that are not known here are refused with an error
 *     status instead of being forwarded unread: a tag this bridge does not know may
 *     carry a path that would need translating.
 *   - Only plain calls are forwarded: nothing that calls back from the native
 *     client's threads into Windows code (events, shutdown callbacks), no variadic
 *     entries, no object interface.
 */
#include <windows.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <ibase.h>

/* The native entries: the platform's own calling convention (no WINAPI). */
typedef ISC_STATUS (*ServiceAttachFn)(ISC_STATUS*, unsigned short, const char*, isc_svc_handle*,
                                      unsigned short, const char*);
typedef ISC_STATUS (*ServiceDetachFn)(ISC_STATUS*, isc_svc_handle*);
typedef ISC_STATUS (*ServiceStartFn)(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*,
                                     unsigned short, const char*);
typedef ISC_STATUS (*ServiceQueryFn)(ISC_STATUS*, isc_svc_handle*, isc_resv_handle*,
                                     unsigned short, const char*, unsigned short, const char*,
                                     unsigned short, char*);
typedef ISC_LONG (*InterpretFn)(char*, unsigned int, const ISC_STATUS**);
typedef ISC_LONG (*SqlCodeFn)(const ISC_STATUS*);
typedef ISC_STATUS (*CreateDatabaseFn)(ISC_STATUS*, short, const char*, isc_db_handle*, short,
                                       const char*, short);
typedef ISC_STATUS (*AttachDatabaseFn)(ISC_STATUS*, short, const char*, isc_db_handle*, short,
                                       const char*);
typedef ISC_STATUS (*HandleFn)(ISC_STATUS*, void*);
typedef ISC_STATUS (*ExecuteImmediateFn)(ISC_STATUS*, isc_db_handle*, isc_tr_handle*,
                                         unsigned short, const char*, unsigned short,
                                         const XSQLDA*);
typedef ISC_STATUS (*ExecImmed2Fn)(ISC_STATUS*, isc_db_handle*, isc_tr_handle*, unsigned short,
                                   const char*, unsigned short, const XSQLDA*, const XSQLDA*);

static struct {
  ServiceAttachFn service_attach;
  ServiceDetachFn service_detach;
  ServiceStartFn service_start;
  ServiceQueryFn service_query;
  InterpretFn interpret;
  SqlCodeFn sqlcode;
  CreateDatabaseFn create_database;
  AttachDatabaseFn attach_database;
  HandleFn detach_database;
  HandleFn commit_transaction;
  HandleFn rollback_transaction;
  ExecuteImmediateFn execute_immediate;
  ExecImmed2Fn exec_immed2;
} native;

static INIT_ONCE nativeOnce = INIT_ONCE_STATIC_INIT;
static BOOL nativeLoaded = FALSE;
static char nativeError[512];

static BOOL CALLBACK LoadNative(INIT_ONCE* once, void* parameter, void** context) {
  (void)once;
  (void)parameter;
  (void)context;
  /* Local binding: the native client's names must not resolve Wine's or ours. */
  void* library = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    snprintf(nativeError, sizeof nativeError, "native Firebird client not loaded: %s", dlerror());
    return TRUE;
  }
  struct {
    const char* name;
    void** entry;
  } entries[] = {
      {"isc_service_attach", (void**)&native.service_attach},
      {"isc_service_detach", (void**)&native.service_detach},
      {"isc_service_start", (void**)&native.service_start},
      {"isc_service_query", (void**)&native.service_query},
      {"fb_interpret", (void**)&native.interpret},
      {"isc_sqlcode", (void**)&native.sqlcode},
      {"isc_create_database", (void**)&native.create_database},
      {"isc_attach_database", (void**)&native.attach_database},
      {"isc_detach_database", (void**)&native.detach_database},
      {"isc_commit_transaction", (void**)&native.commit_transaction},
      {"isc_rollback_transaction", (void**)&native.rollback_transaction},
      {"isc_dsql_execute_immediate", (void**)&native.execute_immediate},
      {"isc_dsql_exec_immed2", (void**)&native.exec_immed2},
  };
  for (size_t i = 0; i < sizeof entries / sizeof entries[0]; ++i) {
    *entries[i].entry = dlsym(library, entries[i].name);
    if (*entries[i].entry == NULL) {
      snprintf(nativeError, sizeof nativeError, "native Firebird client lacks %s",
               entries[i].name);
      dlclose(library);
      return TRUE;
    }
  }
  nativeLoaded = TRUE;  /* never unloaded: the client keeps threads of its own */
  return TRUE;
}

/* A failure of the bridge itself, as a status vector whose text the native
 * fb_interpret prints. The text lives until the thread's next failure. */
static ISC_STATUS Refuse(ISC_STATUS* status, const char* text) {
  static __thread char message[600];
  snprintf(message, sizeof message, "fbclient bridge: %s", text);
  status[0] = isc_arg_gds;
  status[1] = isc_random;
  status[2] = isc_arg_string;
  status[3] = (ISC_STATUS)(intptr_t)message;
  status[4] = isc_arg_end;
  return status[1];
}

static BOOL Native(ISC_STATUS* status) {
  InitOnceExecuteOnce(&nativeOnce, LoadNative, NULL, NULL);
  if (!nativeLoaded) Refuse(status, nativeError);
  return nativeLoaded;
}

/* ---- Texts -------------------------------------------------------------------- */

/* Converts `length` bytes from one code page to another into `out` (at most
 * `outSize` bytes, no terminator); the converted length, or -1. */
static int Recode(UINT from, UINT to, const char* text, int length, char* out, int outSize) {
  if (length == 0) return 0;
  int wideLength = MultiByteToWideChar(from, 0, text, length, NULL, 0);
  if (wideLength <= 0) return -1;
  WCHAR* wide = HeapAlloc(GetProcessHeap(), 0, wideLength * sizeof(WCHAR));
  if (wide == NULL) return -1;
  MultiByteToWideChar(from, 0, text, length, wide, wideLength);
  int n = WideCharToMultiByte(to, 0, wide, wideLength, out, outSize, NULL, NULL);
  HeapFree(GetProcessHeap(), 0, wide);
  return n > 0 ? n : -1;
}

/* ---- Paths -------------------------------------------------------------------- */

/* The server's name for a Windows path given in the ANSI code page, in a buffer the
 * caller frees; NULL when Wine cannot name it. A part of the path that does not
 * exist yet (a file to be created) is kept as given after the resolved part:
 *   C:\QORD\DB\ZARVO.FDB   -> /…/prefix/drive_c/QORD/DB/ZARVO.FDB
 *   C:\QORD\DB\new\X.FDB   -> /…/prefix/drive_c/QORD/DB/new/X.FDB (no "new" yet) */
static char* ServerPath(const char* ansi, int length) {
  int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi, length, NULL, 0);
  WCHAR* wide = HeapAlloc(GetProcessHeap(), 0, (wideLength + 1) * sizeof(WCHAR));
  if (wide == NULL) return NULL;
  MultiByteToWideChar(CP_ACP, 0, ansi, length, wide, wideLength);
  wide[wideLength] = 0;
  char* unixName = wine_get_unix_file_name(wide);
  HeapFree(GetProcessHeap(), 0, wide);
  if (unixName == NULL) return NULL;

  size_t size = strlen(unixName);
  char* result = malloc(PATH_MAX + size + 1);
  char* head = malloc(size + 1);
  if (result == NULL || head == NULL) {
    free(result);
    free(head);
    HeapFree(GetProcessHeap(), 0, unixName);
    return NULL;
  }
  memcpy(head, unixName, size + 1);
  /* The longest leading part that exists is resolved; the rest is appended. */
  size_t cut = size;
  for (;;) {
    head[cut] = '\0';
    if (realpath(cut == 0 ? "/" : head, result) != NULL) break;
    char* slash = strrchr(head, '/');
    if (slash == NULL) {
      result[0] = '\0';
      cut = 0;
      break;
    }
    cut = (size_t)(slash - head);
  }
  if (cut < size) {
    size_t at = strlen(result);
    if (at > 0 && result[at - 1] == '/' && unixName[cut] == '/') --at;
    memcpy(result + at, unixName + cut, size - cut + 1);
  }
  free(head);
  HeapFree(GetProcessHeap(), 0, unixName);
  return result;
}

/* A growing parameter buffer. */
typedef struct {
  unsigned char* bytes;
  size_t length;
  size_t capacity;
  BOOL failed;
} Buffer;

static void Put(Buffer* b, const void* data, size_t n) {
  if (b->failed) return;
  if (b->length + n > b->capacity) {
    size_t capacity = (b->length + n) * 2 + 64;
    unsigned char* bytes = realloc(b->bytes, capacity);
    if (bytes == NULL) {
      b->failed = TRUE;
      return;
    }
    b->bytes = bytes;
    b->capacity = capacity;
  }
  memcpy(b->bytes + b->length, data, n);
  b->length += n;
}

static void PutByte(Buffer* b, unsigned char value) { Put(b, &value, 1); }

/* ---- Service start ------------------------------------------------------------ */

enum ValueKind { kNone, kByte, kNumber, kText, kPath };

typedef struct {
  unsigned char tag;
  enum ValueKind kind;
} TagShape;

/* What each forwarded action may carry; the tags' meanings depend on the action. */
static const TagShape kBackupTags[] = {
    {isc_spb_dbname, kPath},     {isc_spb_bkp_file, kPath},    {isc_spb_bkp_length, kNumber},
    {isc_spb_bkp_factor, kNumber}, {isc_spb_options, kNumber}, {isc_spb_verbose, kNone},
    {isc_spb_verbint, kNumber},  {isc_spb_bkp_stat, kText},    {0, kNone}};
static const TagShape kRestoreTags[] = {
    {isc_spb_bkp_file, kPath},        {isc_spb_dbname, kPath},        {isc_spb_res_length, kNumber},
    {isc_spb_res_buffers, kNumber},   {isc_spb_res_page_size, kNumber},
    {isc_spb_res_access_mode, kByte}, {isc_spb_options, kNumber},     {isc_spb_verbose, kNone},
    {isc_spb_verbint, kNumber},       {isc_spb_res_stat, kText},      {0, kNone}};
static const TagShape kStatisticsTags[] = {
    {isc_spb_dbname, kPath}, {isc_spb_options, kNumber}, {isc_spb_sts_table, kText}, {0, kNone}};

/* The shutdown and online modes are one byte; the timeouts and options four. */
static const TagShape kPropertiesTags[] = {
    {isc_spb_dbname, kPath},
    {isc_spb_options, kNumber},
    {isc_spb_prp_shutdown_mode, kByte},
    {isc_spb_prp_online_mode, kByte},
    {isc_spb_prp_attachments_shutdown, kNumber},
    {isc_spb_prp_transactions_shutdown, kNumber},
    {0, kNone}};

static const TagShape* ActionTags(unsigned char action) {
  switch (action) {
    case isc_action_svc_backup: return kBackupTags;
    case isc_action_svc_restore: return kRestoreTags;
    case isc_action_svc_db_stats: return kStatisticsTags;
    case isc_action_svc_properties: return kPropertiesTags;
    default: return NULL;
  }
}

/* Rewrites a service start buffer for the server; NULL after writing why to `why`. */
static unsigned char* TranslateStart(const unsigned char* spb, unsigned short length,
                                     unsigned short* newLength, char* why, size_t whySize) {
  const unsigned char* p = spb;
  const unsigned char* end = spb + length;
  if (p >= end) {
    snprintf(why, whySize, "empty service start buffer");
    return NULL;
  }
  const TagShape* shapes = ActionTags(*p);
  if (shapes == NULL) {
    snprintf(why, whySize, "service action %u is not forwarded", *p);
    return NULL;
  }
  Buffer out = {0};
  PutByte(&out, *p++);
  while (p < end) {
    unsigned char tag = *p++;
    const TagShape* shape = shapes;
    while (shape->tag != 0 && shape->tag != tag) ++shape;
    if (shape->tag == 0) {
      snprintf(why, whySize, "service parameter %u of action %u is not forwarded", tag, spb[0]);
      free(out.bytes);
      return NULL;
    }
    size_t size = shape->kind == kNone ? 0 : shape->kind == kByte ? 1 : shape->kind == kNumber ? 4 : 2;
    if ((size_t)(end - p) < size) goto truncated;
    if (shape->kind != kText && shape->kind != kPath) {
      PutByte(&out, tag);
      Put(&out, p, size);
      p += size;
      continue;
    }
    size_t n = (size_t)p[0] | ((size_t)p[1] << 8);
    p += 2;
    if ((size_t)(end - p) < n) goto truncated;
    if (shape->kind == kText) {
      PutByte(&out, tag);
      Put(&out, p - 2, n + 2);
    } else {
      char* path = ServerPath((const char*)p, (int)n);
      if (path == NULL) {
        snprintf(why, whySize, "no Unix name for the path of parameter %u", tag);
        free(out.bytes);
        return NULL;
      }
      size_t pathLength = strlen(path);
      if (pathLength > 0xFFFF) {
        free(path);
        goto toolong;
      }
      PutByte(&out, tag);
      PutByte(&out, (unsigned char)(pathLength & 0xFF));
      PutByte(&out, (unsigned char)(pathLength >> 8));
      Put(&out, path, pathLength);
      free(path);
    }
    p += n;
  }
  if (out.failed) {
    snprintf(why, whySize, "out of memory");
    free(out.bytes);
    return NULL;
  }
  if (out.length > 0xFFFF) goto toolong;
  *newLength = (unsigned short)out.length;
  return out.bytes;
truncated:
  snprintf(why, whySize, "service start buffer ends inside parameter");
  free(out.bytes);
  return NULL;
toolong:
  snprintf(why, whySize, "service start buffer too long after path translation");
  free(out.bytes);
  return NULL;
}

/* ---- Service query ------------------------------------------------------------ */

/* The reply items whose text comes back recoded; the others are plain numbers or
 * version texts. Items not listed are refused. */
static BOOL QueryItemForwarded(unsigned char item) {
  switch (item) {
    case isc_info_svc_line:
    case isc_info_svc_to_eof:
    case isc_info_svc_version:
    case isc_info_svc_server_version:
    case isc_info_svc_implementation:
      return TRUE;
    default:
      return FALSE;
  }
}

/* Recodes the texts of a query reply in place, from UTF-8 to the ANSI code page
 * (never longer), keeping the items' order and shape. */
static void RecodeReply(char* buffer, unsigned short size) {
  char* in = buffer;
  char* out = buffer;
  char* end = buffer + size;
  while (in < end) {
    unsigned char item = (unsigned char)*in;
    if (item == isc_info_end) {
      *out++ = *in++;
      break;
    }
    if (item == isc_info_truncated || item == isc_info_data_not_ready ||
        (item == isc_info_svc_timeout)) {
      *out++ = *in++;
      continue;
    }
    if (item == isc_info_svc_version) {  /* a 4-byte number */
      if (end - in < 5) break;
      memmove(out, in, 5);
      in += 5;
      out += 5;
      continue;
    }
    if (end - in < 3) break;
    int n = (unsigned char)in[1] | ((unsigned char)in[2] << 8);
    if (end - in - 3 < n) break;
    int converted = n;
    if (item == isc_info_svc_line || item == isc_info_svc_to_eof) {
      char* text = HeapAlloc(GetProcessHeap(), 0, n > 0 ? n : 1);
      if (text != NULL) {
        converted = Recode(CP_UTF8, CP_ACP, in + 3, n, text, n);
        if (converted < 0) converted = n;
        else memcpy(in + 3, text, converted);
        HeapFree(GetProcessHeap(), 0, text);
      }
    }
    out[0] = (char)item;
    out[1] = (char)(converted & 0xFF);
    out[2] = (char)(converted >> 8);
    memmove(out + 3, in + 3, converted);
    out += 3 + converted;
    in += 3 + n;
  }
  if (out < in) memmove(out, in, end - in);
}

/* ---- Database names ----------------------------------------------------------- */

/* "host[/port]:C:\path" with its path part translated, in a buffer the caller
 * frees; a name without a Windows path is copied as it is. */
static char* ServerDatabaseName(const char* name, int length) {
  if (length == 0) length = (int)strlen(name);
  int pathStart = 0;
  /* A drive letter at the start is a local path; else the host ends at the first colon. */
  if (!(length >= 2 && name[1] == ':')) {
    const char* colon = memchr(name, ':', length);
    if (colon != NULL) pathStart = (int)(colon - name) + 1;
  }
  const char* path = name + pathStart;
  int pathLength = length - pathStart;
  BOOL windowsPath = (pathLength >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
                     (pathLength >= 1 && path[0] == '\\');
  char* serverPath = windowsPath ? ServerPath(path, pathLength) : NULL;
  if (windowsPath && serverPath == NULL) return NULL;
  const char* tail = serverPath != NULL ? serverPath : path;
  size_t tailLength = serverPath != NULL ? strlen(serverPath) : (size_t)pathLength;
  char* result = malloc(pathStart + tailLength + 1);
  if (result != NULL) {
    memcpy(result, name, pathStart);
    memcpy(result + pathStart, tail, tailLength);
    result[pathStart + tailLength] = '\0';
  }
  free(serverPath);
  return result;
}

/* Steps over one tag-length-value parameter at *p; FALSE (and why) when the buffer
 * ends inside it. */
static BOOL SkipShortParameter(const unsigned char** p, const unsigned char* end,
                               const char* buffer, char* why, size_t whySize) {
  if (end - *p < 2 || end - *p - 2 < (*p)[1]) {
    snprintf(why, whySize, "%s buffer ends inside parameter", buffer);
    return FALSE;
  }
  *p += 2 + (*p)[1];
  return TRUE;
}

/* Database parameters forwarded as they are: none of them names a file. */
static BOOL DatabaseParametersForwarded(const unsigned char* dpb, short length, char* why,
                                        size_t whySize) {
  if (length == 0) return TRUE;
  if (dpb[0] != isc_dpb_version1) {
    snprintf(why, whySize, "database parameter buffer version %u is not forwarded", dpb[0]);
    return FALSE;
  }
  const unsigned char* p = dpb + 1;
  const unsigned char* end = dpb + length;
  while (p < end) {
    unsigned char tag = *p;
    switch (tag) {
      case isc_dpb_user_name:
      case isc_dpb_password:
      case isc_dpb_page_size:
      case isc_dpb_sql_dialect:
      case isc_dpb_lc_ctype:
      case isc_dpb_sql_role_name:
      case isc_dpb_force_write:
      case isc_dpb_no_db_triggers:
        break;
      default:
        snprintf(why, whySize, "database parameter %u is not forwarded", tag);
        return FALSE;
    }
    if (!SkipShortParameter(&p, end, "database parameter", why, whySize)) return FALSE;
  }
  return TRUE;
}

/* Service attach parameters forwarded as they are: the user, the password and the
 * role name only (another tag may name a database, as isc_spb_expected_db does). */
static BOOL AttachParametersForwarded(const unsigned char* spb, unsigned short length,
                                      char* why, size_t whySize) {
  const unsigned char* p = spb;
  const unsigned char* end = spb + length;
  if (end - p >= 2 && p[0] == isc_spb_version && p[1] == isc_spb_current_version) {
    p += 2;
  } else if (end - p >= 1 && p[0] == isc_spb_version1) {
    p += 1;
  } else if (length != 0) {
    snprintf(why, whySize, "service attach buffer version %u is not forwarded", p[0]);
    return FALSE;
  }
  while (p < end) {
    unsigned char tag = *p;
    if (tag != isc_spb_user_name && tag != isc_spb_password && tag != isc_spb_password_enc &&
        tag != isc_spb_sql_role_name) {
      snprintf(why, whySize, "service attach parameter %u is not forwarded", tag);
      return FALSE;
    }
    if (!SkipShortParameter(&p, end, "service attach", why, whySize)) return FALSE;
  }
  return TRUE;
}

/* ---- Entries ------------------------------------------------------------------ */

ISC_STATUS WINAPI bridge_isc_service_attach(ISC_STATUS* status, unsigned short length,
                                            const char* service, isc_svc_handle* handle,
                                            unsigned short spbLength, const char* spb) {
  if (!Native(status)) return status[1];
  /* The service name holds no path ("host/port:service_mgr"); it goes as it is. */
  char why[128];
  if (!AttachParametersForwarded((const unsigned char*)spb, spbLength, why, sizeof why))
    return Refuse(status, why);
  return native.service_attach(status, length, service, handle, spbLength, spb);
}

ISC_STATUS WINAPI bridge_isc_service_detach(ISC_STATUS* status, isc_svc_handle* handle) {
  if (!Native(status)) return status[1];
  return native.service_detach(status, handle);
}

ISC_STATUS WINAPI bridge_isc_service_start(ISC_STATUS* status, isc_svc_handle* handle,
                                           isc_resv_handle* reserved, unsigned short length,
                                           const char* spb) {
  if (!Native(status)) return status[1];
  char why[256];
  unsigned short newLength = 0;
  unsigned char* translated =
      TranslateStart((const unsigned char*)spb, length, &newLength, why, sizeof why);
  if (translated == NULL) return Refuse(status, why);
  ISC_STATUS result =
      native.service_start(status, handle, reserved, newLength, (const char*)translated);
  free(translated);
  return result;
}

ISC_STATUS WINAPI bridge_isc_service_query(ISC_STATUS* status, isc_svc_handle* handle,
                                           isc_resv_handle* reserved, unsigned short sendLength,
                                           const char* send, unsigned short requestLength,
                                           const char* request, unsigned short bufferLength,
                                           char* buffer) {
  if (!Native(status)) return status[1];
  for (unsigned short i = 0; i < requestLength; ++i) {
    if (!QueryItemForwarded((unsigned char)request[i])) {
      char why[96];
      snprintf(why, sizeof why, "service query item %u is not forwarded",
               (unsigned char)request[i]);
      return Refuse(status, why);
    }
  }
  /* The send buffer may only set the read timeout (item, 2-byte length, number). */
  if (sendLength != 0 &&
      !(sendLength >= 7 && (unsigned char)send[0] == isc_info_svc_timeout &&
        (sendLength == 7 || (unsigned char)send[7] == isc_info_end)))
    return Refuse(status, "service query send items other than the timeout are not forwarded");
  ISC_STATUS result = native.service_query(status, handle, reserved, sendLength, send,
                                           requestLength, request, bufferLength, buffer);
  if (result == 0) RecodeReply(buffer, bufferLength);
  return result;
}

ISC_LONG WINAPI bridge_fb_interpret(char* buffer, unsigned int size,
                                    const ISC_STATUS** vector) {
  ISC_STATUS ignored[20];
  if (!Native(ignored) || size == 0) return 0;
  char text[1024];
  ISC_LONG n = native.interpret(text, sizeof text, vector);
  if (n <= 0) return n;
  int converted = Recode(CP_UTF8, CP_ACP, text, (int)strlen(text), buffer, (int)size - 1);
  if (converted < 0) {  /* too long for the caller: cut, as the native client would */
    converted = (int)size - 1;
    memcpy(buffer, text, converted);
  }
  buffer[converted] = '\0';
  return converted;
}

ISC_LONG WINAPI bridge_isc_sqlcode(const ISC_STATUS* status) {
  ISC_STATUS ignored[20];
  if (!Native(ignored)) return -999;
  return native.sqlcode(status);
}

ISC_STATUS WINAPI bridge_isc_create_database(ISC_STATUS* status, short length, const char* name,
                                             isc_db_handle* handle, short dpbLength,
                                             const char* dpb, short type) {
  if (!Native(status)) return status[1];
  char why[128];
  if (!DatabaseParametersForwarded((const unsigned char*)dpb, dpbLength, why, sizeof why))
    return Refuse(status, why);
  char* serverName = ServerDatabaseName(name, length);
  if (serverName == NULL) return Refuse(status, "no Unix name for the database path");
  ISC_STATUS result = native.create_database(status, 0, serverName, handle, dpbLength, dpb, type);
  free(serverName);
  return result;
}

ISC_STATUS WINAPI bridge_isc_attach_database(ISC_STATUS* status, short length, const char* name,
                                             isc_db_handle* handle, short dpbLength,
                                             const char* dpb) {
  if (!Native(status)) return status[1];
  char why[128];
  if (!DatabaseParametersForwarded((const unsigned char*)dpb, dpbLength, why, sizeof why))
    return Refuse(status, why);
  char* serverName = ServerDatabaseName(name, length);
  if (serverName == NULL) return Refuse(status, "no Unix name for the database path");
  ISC_STATUS result = native.attach_database(status, 0, serverName, handle, dpbLength, dpb);
  free(serverName);
  return result;
}

ISC_STATUS WINAPI bridge_isc_detach_database(ISC_STATUS* status, isc_db_handle* handle) {
  if (!Native(status)) return status[1];
  return native.detach_database(status, handle);
}

ISC_STATUS WINAPI bridge_isc_commit_transaction(ISC_STATUS* status, isc_tr_handle* handle) {
  if (!Native(status)) return status[1];
  return native.commit_transaction(status, handle);
}

ISC_STATUS WINAPI bridge_isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* handle) {
  if (!Native(status)) return status[1];
  return native.rollback_transaction(status, handle);
}

/* Statements go as they are: a path inside a statement's text is not translated. */
ISC_STATUS WINAPI bridge_isc_dsql_execute_immediate(ISC_STATUS* status, isc_db_handle* db,
                                                    isc_tr_handle* tr, unsigned short length,
                                                    const char* statement,
                                                    unsigned short dialect,
                                                    const XSQLDA* parameters) {
  if (!Native(status)) return status[1];
  return native.execute_immediate(status, db, tr, length, statement, dialect, parameters);
}

ISC_STATUS WINAPI bridge_isc_dsql_exec_immed2(ISC_STATUS* status, isc_db_handle* db,
                                              isc_tr_handle* tr, unsigned short length,
                                              const char* statement, unsigned short dialect,
                                              const XSQLDA* in, const XSQLDA* out) {
  if (!Native(status)) return status[1];
  return native.exec_immed2(status, db, tr, length, statement, dialect, in, out);
}
