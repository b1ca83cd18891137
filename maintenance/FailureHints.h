// What a failure reported by the Firebird server or its client means for the
// operator. The server speaks English ("Your user name and password are not
// defined..."); the operator reads Russian. The failure's own message is always
// shown as it is; this adds one Russian line for the failures a site meets.
#pragma once

#include <string>

// The line for a failure whose message holds a text the server or the client
// library gives for one of these; empty for any other message:
//
//   "...Your user name and password are not defined..."       wrong password
//   "...Unable to complete network request to host..."        server not running
//   "...I/O error during "open" operation for file..."        file not found by the server
//   "...free disk space exhausted..." / "No space left..."    no room on the disk
//   "...database shutdown unsuccessful..." / "is in use"      another program holds it
//
// Each line says what happened, that the working database is unchanged, and what
// to do: it is for failures raised before the rebuilt file replaces the working one.
std::string OperatorHint(const std::string& failureMessage);
