#include "maintenance/DatabaseHeader.h"

#include <limits>

#include "fbclient/ServiceConnection.h"
#include "support/Exceptions.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The value after `label` when the trimmed line is the label followed by blanks
// (or nothing) and the value.
bool ValueAfter(const std::string& line, const std::string& label, std::string& value) {
  if (line.compare(0, label.size(), label) != 0) return false;
  if (line.size() > label.size() && !IsBlank(line[label.size()])) return false;
  value = Trim(line.substr(label.size()));
  return true;
}

[[noreturn]] void RefuseValue(const std::string& label, const std::string& text) {
  throw Exception("Неверное значение \"" + label + "\" в заголовке базы данных: \"" + text +
                  "\"");
}

std::uint64_t Number(const std::string& label, const std::string& text) {
  std::uint64_t value = 0;
  bool digits = !text.empty();
  for (char c : text) {
    if (c < '0' || c > '9' || value > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) {
      digits = false;
      break;
    }
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (!digits) RefuseValue(label, text);
  return value;
}

}  // namespace

bool TDatabaseHeader::Online() const {
  return attributes.find("shutdown") == std::string::npos &&
         attributes.find("maintenance") == std::string::npos;
}

bool TDatabaseHeader::FullShutdown() const {
  return attributes.find("full shutdown") != std::string::npos;
}

bool TDatabaseHeader::SingleUser() const {
  return attributes.find("single-user maintenance") != std::string::npos;
}

bool TDatabaseHeader::FileCopyLocked() const {
  return attributes.find("backup lock") != std::string::npos ||
         attributes.find("backup merge") != std::string::npos ||
         attributes.find("wrong backup state") != std::string::npos;
}

bool TDatabaseHeader::ReadOnly() const {
  return attributes.find("read only") != std::string::npos;
}

TDatabaseHeader ParseDatabaseHeader(const std::vector<std::string>& lines) {
  TDatabaseHeader header;
  bool headerSeen = false, pageSize = false, transaction = false, attachment = false;
  for (const std::string& raw : lines) {
    std::string line = Trim(raw), value;
    if (line == "Database header page information:") {
      headerSeen = true;
    } else if (!headerSeen) {
      continue;
    } else if (ValueAfter(line, "Page size", value)) {
      std::uint64_t size = Number("Page size", value);
      if (size == 0 || size > 65536) RefuseValue("Page size", value);
      header.pageSize = static_cast<unsigned>(size);
      pageSize = true;
    } else if (ValueAfter(line, "Next transaction", value)) {
      header.nextTransaction = Number("Next transaction", value);
      transaction = true;
    } else if (ValueAfter(line, "Next attachment ID", value)) {
      header.nextAttachment = Number("Next attachment ID", value);
      attachment = true;
    } else if (ValueAfter(line, "Attributes", value)) {
      header.attributes = value;
    }
  }
  if (!headerSeen || !pageSize || !transaction || !attachment) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    throw Exception("Сервер не сообщил заголовок базы данных:\r\n" + text);
  }
  return header;
}

std::vector<std::string> ReadHeaderPageLines(const TServerLogin& login,
                                             const std::string& databasePath) {
  std::vector<std::string> lines;
  fbclient::TServiceConnection service(login.ServerName(), login.user, login.password);
  service.Attach();
  service.StartHeaderStatistics(databasePath);
  while (!service.Eof()) lines.push_back(service.GetNextLine());
  service.Detach();
  return lines;
}

TDatabaseHeader ReadDatabaseHeader(const std::string& host, const std::string& databasePath,
                                   const std::string& userName, const std::string& password,
                                   int port) {
  return ReadDatabaseHeader(TServerLogin{host, userName, password, port}, databasePath);
}

TDatabaseHeader ReadDatabaseHeader(const TServerLogin& login, const std::string& databasePath) {
  return ParseDatabaseHeader(ReadHeaderPageLines(login, databasePath));
}
