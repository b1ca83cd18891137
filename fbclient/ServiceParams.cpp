#include "fbclient/ServiceParams.h"

#include <ibase.h>

#include <limits>

#include "platform/AnsiText.h"
#include "support/Exceptions.h"

namespace fbclient {

namespace {

[[noreturn]] void RefuseLength(unsigned char tag, std::size_t length, std::size_t limit) {
  throw EIBClientError("Слишком длинный параметр службы (код " + std::to_string(tag) + "): " +
                       std::to_string(length) + " байт, допустимо не более " +
                       std::to_string(limit));
}

}  // namespace

TSpbBuilder& TSpbBuilder::AddTag(unsigned char tag) {
  bytes_.push_back(tag);
  return *this;
}

TSpbBuilder& TSpbBuilder::AddShortString(unsigned char tag, const std::string& value) {
  constexpr std::size_t kLimit = std::numeric_limits<unsigned char>::max();
  if (value.size() > kLimit) RefuseLength(tag, value.size(), kLimit);
  bytes_.push_back(tag);
  bytes_.push_back(static_cast<unsigned char>(value.size()));
  bytes_.insert(bytes_.end(), value.begin(), value.end());
  return *this;
}

TSpbBuilder& TSpbBuilder::AddString(unsigned char tag, const std::string& value) {
  constexpr std::size_t kLimit = std::numeric_limits<unsigned short>::max();
  if (value.size() > kLimit) RefuseLength(tag, value.size(), kLimit);
  bytes_.push_back(tag);
  bytes_.push_back(static_cast<unsigned char>(value.size() & 0xFF));
  bytes_.push_back(static_cast<unsigned char>(value.size() >> 8));
  bytes_.insert(bytes_.end(), value.begin(), value.end());
  return *this;
}

TSpbBuilder& TSpbBuilder::AddNumber(unsigned char tag, std::uint32_t value) {
  bytes_.push_back(tag);
  for (int shift = 0; shift < 32; shift += 8)
    bytes_.push_back(static_cast<unsigned char>((value >> shift) & 0xFF));
  return *this;
}

TSpbBuilder& TSpbBuilder::AddByte(unsigned char tag, unsigned char value) {
  bytes_.push_back(tag);
  bytes_.push_back(value);
  return *this;
}

unsigned short TSpbBuilder::Length() const {
  constexpr std::size_t kLimit = std::numeric_limits<unsigned short>::max();
  if (bytes_.size() > kLimit)
    throw EIBClientError("Слишком длинный блок параметров службы: " +
                         std::to_string(bytes_.size()) + " байт, допустимо не более " +
                         std::to_string(kLimit));
  return static_cast<unsigned short>(bytes_.size());
}

// Texts go to the server in the form the platform's server expects. On Windows: the
// ANSI code page, which every client version understands and in which the server
// opens files. Elsewhere: UTF-8, and the connection says so, since the client would
// otherwise convert every file name from the process's locale (the C locale cannot
// hold a Cyrillic letter) while the server works in UTF-8.
TSpbBuilder AttachParameters(const std::string& userName, const std::string& password) {
  TSpbBuilder spb;
  spb.AddTag(isc_spb_version).AddTag(isc_spb_current_version);
  spb.AddShortString(isc_spb_user_name, platform::Utf8ToAnsi(userName));
  spb.AddShortString(isc_spb_password, platform::Utf8ToAnsi(password));
#ifndef _WIN32
  spb.AddShortString(isc_spb_utf8_filename, "");
#endif
  return spb;
}

namespace {

TSpbBuilder ActionWithFileNames(unsigned char action) {
  TSpbBuilder spb;
  spb.AddTag(action);
  return spb;
}

}  // namespace

std::string FileNameForServer(const std::string& path) {
#ifdef _WIN32
  return platform::Utf8ToAnsi(path);
#else
  return path;
#endif
}

TSpbBuilder BackupParameters(const std::string& databasePath, const std::string& backupPath,
                             TBackupScope scope) {
  TSpbBuilder spb = ActionWithFileNames(isc_action_svc_backup);
  spb.AddString(isc_spb_dbname, FileNameForServer(databasePath));
  spb.AddString(isc_spb_bkp_file, FileNameForServer(backupPath));
  // The database's own triggers do not run for the backup's attachment, and the
  // backup collects the garbage it passes itself: what it does to the database's count
  // of transactions is then the same for every database on a server. (A backup that
  // leaves the garbage hands it to a SuperServer's background collector, whose own
  // transactions, at moments of its choosing, Firebird 4 counts too.)
  std::uint32_t options = isc_spb_bkp_no_triggers;
  if (scope == TBackupScope::kMetadataOnly) options |= isc_spb_bkp_metadata_only;
  spb.AddNumber(isc_spb_options, options);
  spb.AddTag(isc_spb_verbose);
  return spb;
}

TSpbBuilder RestoreParameters(const std::string& backupPath, const std::string& databasePath,
                              std::uint32_t pageSize) {
  TSpbBuilder spb = ActionWithFileNames(isc_action_svc_restore);
  spb.AddString(isc_spb_bkp_file, FileNameForServer(backupPath));
  spb.AddString(isc_spb_dbname, FileNameForServer(databasePath));
  spb.AddNumber(isc_spb_options, isc_spb_res_create);
  spb.AddNumber(isc_spb_res_page_size, pageSize);
  spb.AddTag(isc_spb_verbose);
  return spb;
}

TSpbBuilder HeaderStatisticsParameters(const std::string& databasePath) {
  TSpbBuilder spb = ActionWithFileNames(isc_action_svc_db_stats);
  spb.AddString(isc_spb_dbname, FileNameForServer(databasePath));
  spb.AddNumber(isc_spb_options, isc_spb_sts_hdr_pages);
  return spb;
}

namespace {

// The properties action on one database; the caller adds what to change.
TSpbBuilder PropertiesOf(const std::string& databasePath) {
  TSpbBuilder spb = ActionWithFileNames(isc_action_svc_properties);
  spb.AddString(isc_spb_dbname, FileNameForServer(databasePath));
  return spb;
}

}  // namespace

TSpbBuilder ShutdownParameters(const std::string& databasePath, TShutdownMode mode,
                               std::uint32_t waitSeconds) {
  TSpbBuilder spb = PropertiesOf(databasePath);
  spb.AddByte(isc_spb_prp_shutdown_mode, static_cast<unsigned char>(mode));
  // Not isc_spb_prp_force_shutdown: that one ends the others' attachments, and with
  // them their work in progress.
  spb.AddNumber(isc_spb_prp_attachments_shutdown, waitSeconds);
  return spb;
}

TSpbBuilder SingleUserParameters(const std::string& databasePath) {
  return PropertiesOf(databasePath).AddByte(isc_spb_prp_online_mode, isc_spb_prp_sm_single);
}

TSpbBuilder OnlineParameters(const std::string& databasePath) {
  return PropertiesOf(databasePath).AddByte(isc_spb_prp_online_mode, isc_spb_prp_sm_normal);
}

TSpbBuilder NoLingerParameters(const std::string& databasePath) {
  return PropertiesOf(databasePath).AddNumber(isc_spb_options, isc_spb_prp_nolinger);
}

std::string ParseLineReply(const unsigned char* begin, const unsigned char* end) {
  bool timedOut = false;
  return ParseLineReply(begin, end, timedOut);
}

std::string ParseLineReply(const unsigned char* begin, const unsigned char* end, bool& timedOut) {
  timedOut = false;
  const unsigned char* p = begin;
  if (p >= end) throw EIBClientError("Пустой ответ службы");
  switch (*p++) {
    case isc_info_svc_line: {
      if (end - p < 2) throw EIBClientError("Ответ службы оборван");
      std::size_t length = static_cast<std::size_t>(p[0]) | (static_cast<std::size_t>(p[1]) << 8);
      p += 2;
      if (static_cast<std::size_t>(end - p) < length) throw EIBClientError("Ответ службы оборван");
      // "3e 00 00 40 01": no line within the query's timeout, the output goes on.
      timedOut = length == 0 && p < end && *p == isc_info_svc_timeout;
      return platform::AnsiToUtf8(std::string(reinterpret_cast<const char*>(p), length));
    }
    case isc_info_truncated:
      throw EIBClientError("Ответ службы не поместился в буфер");
    default:
      throw EIBClientError("Неожиданный ответ службы (код " + std::to_string(begin[0]) + ")");
  }
}

}  // namespace fbclient
