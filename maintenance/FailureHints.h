// What a failure means for the operator and for a machine. The server speaks
// English ("Your user name and password are not defined..."), the operator reads
// Russian, and a scheduler reads a token: the failure's own message is always shown
// as it is; this adds one Russian line for the causes a site meets, and names the
// failure's reason. Decided by the status vector's codes, never by the message's
// words (they embed the server's wording and names the user chose).
#pragma once

#include <string>
#include <vector>

#include "support/Exceptions.h"

// The cause of a failure the server or its client reported, by its codes:
//
//   isc_login, isc_login_error                      login               wrong password
//   a system code for a full disk (ENOSPC; Windows
//     ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL),
//     gbak's "free disk space exhausted"             no-room
//   isc_network_error, isc_net_connect_err, the
//     connection's read/write errors, isc_conn_lost,
//     isc_lost_db_connection, isc_att_shutdown        server-unreachable  no server, or it stopped
//   isc_io_open_err, isc_io_create_err              path                the server cannot open it
//   isc_shutfail, isc_shutinprog, isc_obj_in_use,
//     isc_lock_timeout, gbak's "database might be
//     in use"                                       busy                another program holds it
//
// The line says what happened and what to do, never what became of the working
// database (the workflow adds that line); an empty line and kUnset for other codes.
struct TServerCause {
  TFailureReason reason = TFailureReason::kUnset;
  std::string line;
};
TServerCause ServerCause(const EIBInterBaseError& failure);

// ServerCause's line for a server's failure, empty for every other failure (ours say
// what they mean already).
std::string OperatorHint(const Exception& failure);
// Every line ServerCause can give, for the guide to quote.
std::vector<std::string> OperatorHintLines();

// gbak's "Database is not online due to failure to activate one or more indices."
constexpr long kGbakDatabaseNotOnline = 336330998L;

// The reason of a failure: the one its throw site gave, else told by its kind and
// codes (another program at work: busy; the client library: library; a server's
// failure: its cause), else kInternal.
TFailureReason FailureReasonOf(const Exception& failure);

// The stable token a machine reads ("busy", "login", "server-unreachable", ...).
const char* ReasonToken(TFailureReason reason);
// Refused before anything was changed, safe to retry later: busy, recovered, path.
bool RefusedBeforeAnyChange(TFailureReason reason);
