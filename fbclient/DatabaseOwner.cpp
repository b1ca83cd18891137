#include "fbclient/DatabaseOwner.h"

#include <ibase.h>

#include <cstring>
#include <vector>

#include "fbclient/FBClient.h"
#include "fbclient/ServiceParams.h"
#include "platform/AnsiText.h"
#include "support/Exceptions.h"

namespace fbclient {

namespace {

// The attachment and its transaction, released on every way out.
struct Attachment {
  const TFBClient& client;
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  ~Attachment() {
    ISC_STATUS_ARRAY status = {};
    if (tr != 0) client.rollback_transaction(status, &tr);
    if (db != 0) client.detach_database(status, &db);
  }
};

void Check(const TFBClient& client, ISC_STATUS result, const ISC_STATUS* status) {
  if (result != 0) client.RaiseStatus(status);
}

}  // namespace

std::string DatabaseOwner(const std::string& serverName, const std::string& databasePath,
                          const std::string& userName, const std::string& password) {
  const TFBClient& client = TFBClient::Get();
  std::vector<char> dpb = {isc_dpb_version1};
  auto add = [&](char tag, const std::string& value) {
    if (value.size() > 255) throw EIBClientError("Слишком длинный параметр подключения");
    dpb.push_back(tag);
    dpb.push_back(static_cast<char>(value.size()));
    dpb.insert(dpb.end(), value.begin(), value.end());
  };
  add(isc_dpb_user_name, platform::Utf8ToAnsi(userName));
  add(isc_dpb_password, platform::Utf8ToAnsi(password));
  add(isc_dpb_no_db_triggers, std::string(1, '\1'));
  std::string name = serverName + ":" + FileNameForServer(databasePath);
  if (name.size() > 0x7FFF) throw EIBClientError("Слишком длинное имя базы данных");

  Attachment attachment{client};
  ISC_STATUS_ARRAY status = {};
  Check(client,
        client.attach_database(status, static_cast<short>(name.size()), name.c_str(),
                               &attachment.db, static_cast<short>(dpb.size()), dpb.data()),
        status);
  const char start[] = "SET TRANSACTION READ ONLY READ COMMITTED";
  Check(client,
        client.dsql_exec_immed2(status, &attachment.db, &attachment.tr, 0, start, SQL_DIALECT_V6,
                                nullptr, nullptr),
        status);
  const char query[] =
      "SELECT CAST(TRIM(RDB$OWNER_NAME) AS VARCHAR(252) CHARACTER SET NONE) FROM RDB$RELATIONS "
      "WHERE RDB$RELATION_NAME = 'RDB$DATABASE'";
  struct {
    short length;
    char text[252];
  } value = {};
  short nullFlag = 0;
  std::vector<char> area(XSQLDA_LENGTH(1));
  auto* out = reinterpret_cast<XSQLDA*>(area.data());
  out->version = SQLDA_VERSION1;
  out->sqln = out->sqld = 1;
  out->sqlvar[0].sqltype = SQL_VARYING + 1;
  out->sqlvar[0].sqllen = sizeof value.text;
  out->sqlvar[0].sqldata = reinterpret_cast<char*>(&value);
  out->sqlvar[0].sqlind = &nullFlag;
  Check(client,
        client.dsql_exec_immed2(status, &attachment.db, &attachment.tr, 0, query, SQL_DIALECT_V6,
                                nullptr, out),
        status);
  if (nullFlag != 0 || value.length <= 0) return std::string();
  return platform::AnsiToUtf8(
      std::string(value.text, static_cast<std::size_t>(std::min<short>(value.length, 252))));
}

}  // namespace fbclient
