// Where the local server is reached and as whom. The password and the port come
// from the utility library and are looked up afresh for every step (the password
// first, then the port), never kept from one run to the next.
#pragma once

#include <string>

inline const char kServerHost[] = "127.0.0.1";
inline const char kServerUser[] = "SYSDBA";

struct TServerLogin {
  std::string host, user, password;
  int port = 0;
  // "127.0.0.1/3050", the service manager's server name.
  std::string ServerName() const { return host + "/" + std::to_string(port); }
};

TServerLogin CurrentServerLogin();
