// Who owns a database, as the database itself records it. A restore makes the user
// who restores the owner of the new database, so the rebuild looks first.
#pragma once

#include <string>

namespace fbclient {

// Attaches to `databasePath` on `serverName` ("127.0.0.1/3050") as the user, the
// database's own triggers not run, and reads its owner's name (blanks trimmed).
// Raises EIBInterBaseError or EIBClientError.
std::string DatabaseOwner(const std::string& serverName, const std::string& databasePath,
                          const std::string& userName, const std::string& password);

}  // namespace fbclient
