// Service parameter buffers and service replies. The builder refuses a value that
// does not fit its length field (it never truncates), and replies are read against
// their end, so a short or malformed reply is an error rather than a wild read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fbclient {

class TSpbBuilder {
 public:
  TSpbBuilder() = default;

  // A lone tag (isc_spb_version's value, an action, isc_spb_verbose).
  TSpbBuilder& AddTag(unsigned char tag);
  // A string with a one-byte length (the attach buffer): at most 255 bytes.
  TSpbBuilder& AddShortString(unsigned char tag, const std::string& value);
  // A string with a two-byte length (service actions): at most 65535 bytes.
  TSpbBuilder& AddString(unsigned char tag, const std::string& value);
  // A 32-bit number, least significant byte first.
  TSpbBuilder& AddNumber(unsigned char tag, std::uint32_t value);
  // A one-byte value (the shutdown and online modes).
  TSpbBuilder& AddByte(unsigned char tag, unsigned char value);

  const std::vector<unsigned char>& Bytes() const noexcept { return bytes_; }
  // The length for the API's 16-bit length argument; refuses a longer buffer.
  unsigned short Length() const;
  const char* Data() const noexcept { return reinterpret_cast<const char*>(bytes_.data()); }

 private:
  std::vector<unsigned char> bytes_;
};

// Parameter buffers of the service calls the maintenance jobs make.
TSpbBuilder AttachParameters(const std::string& userName, const std::string& password);
// A backup of everything, or of the metadata only (the same attachment and
// transactions on the database, without its data).
enum class TBackupScope { kEverything, kMetadataOnly };
TSpbBuilder BackupParameters(const std::string& databasePath, const std::string& backupPath,
                             TBackupScope scope = TBackupScope::kEverything);
TSpbBuilder RestoreParameters(const std::string& backupPath, const std::string& databasePath,
                              std::uint32_t pageSize);

// The header page of a database, as the statistics service prints it; the service
// reads the page from the file and does not attach to the database.
TSpbBuilder HeaderStatisticsParameters(const std::string& databasePath);

// The database's shutdown modes as the server's properties action sets them.
enum class TShutdownMode : unsigned char {
  kSingle = 2,  // one attachment at most, SYSDBA or the owner only
  kFull = 3,    // nobody at all
};

// Shuts the database down in `mode` once nobody is attached who may not stay: the
// server refuses every new attachment from the request on, waits up to `waitSeconds`
// for the others to leave (0: refused at once while anybody is attached) and never
// ends an attachment for it.
TSpbBuilder ShutdownParameters(const std::string& databasePath, TShutdownMode mode,
                               std::uint32_t waitSeconds = 0);
// From full shutdown to single-user: one SYSDBA or owner attachment at most.
TSpbBuilder SingleUserParameters(const std::string& databasePath);
// Brings the database back online (normal mode) from either shutdown mode.
TSpbBuilder OnlineParameters(const std::string& databasePath);
// Closes a database that nobody is attached to at once, whatever its linger time
// (which stays set for later).
TSpbBuilder NoLingerParameters(const std::string& databasePath);

// A file name (UTF-8) in the form the platform's server expects: the ANSI code page
// on Windows, UTF-8 elsewhere (then marked with isc_spb_utf8_filename).
std::string FileNameForServer(const std::string& path);

// The text of an isc_info_svc_line reply. An empty text is the end of the output.
// Raises EIBClientError for a reply that is malformed, truncated or not a line.
std::string ParseLineReply(const unsigned char* begin, const unsigned char* end);
// The same for a query made with a read timeout: `timedOut` tells an empty text that
// only means "nothing yet" (the reply's isc_info_svc_timeout) from the end.
std::string ParseLineReply(const unsigned char* begin, const unsigned char* end, bool& timedOut);

}  // namespace fbclient
