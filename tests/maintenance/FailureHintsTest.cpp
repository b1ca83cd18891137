#include <gtest/gtest.h>

#include <ibase.h>

#include <set>
#include <string>
#include <vector>

#include "maintenance/DatabaseShutdown.h"
#include "maintenance/FailureHints.h"

namespace {

// A failure's cause and reason come from its codes, whatever its text says: the
// status vectors as the server gives them (Firebird 3 and 4; the system codes of a
// Linux and of a Windows server), each with a text that would mislead a reader of
// words.
TEST(FailureReason, TheCodesDecideTheCauseAndTheReason) {
  using R = TFailureReason;
  const char kMisleading[] = "database C:\\shutdown\\in use\\ZARVO.FDB: Unable to complete network "
                             "request to host; No space left on device; Your user name and password";
  struct Case {
    std::vector<long> gds;
    std::vector<long> system;
    R reason;
    const char* token;
    bool retryLater;
  };
  const Case cases[] = {
      {{isc_login}, {}, R::kLogin, "login", false},
      {{isc_login_error}, {}, R::kLogin, "login", false},
      {{isc_network_error, isc_net_connect_err}, {111}, R::kServerUnreachable, "server-unreachable", false},
      {{isc_net_read_err}, {}, R::kServerUnreachable, "server-unreachable", false},
      {{isc_att_shutdown}, {}, R::kServerUnreachable, "server-unreachable", false},  // it stopped
      {{isc_io_error, isc_io_write_err}, {28}, R::kNoRoom, "no-room", false},
      {{isc_io_error, isc_io_write_err}, {112}, R::kNoRoom, "no-room", false},
      {{isc_gbak_disk_space_ex}, {}, R::kNoRoom, "no-room", false},
      {{isc_io_error, isc_io_open_err}, {2}, R::kPath, "path", true},
      {{isc_io_error, isc_io_create_err}, {13}, R::kPath, "path", true},
      {{isc_shutfail}, {}, R::kBusy, "busy", true},
      {{isc_lock_timeout, isc_obj_in_use}, {}, R::kBusy, "busy", true},
      {{isc_gbak_db_in_use}, {}, R::kBusy, "busy", true},
      // Decided by the step it came from (the single place taken), or none a site meets.
      {{isc_shutdown}, {}, R::kInternal, "internal", false},
      {{isc_bad_shutdown_mode}, {}, R::kInternal, "internal", false},
      {{isc_random}, {}, R::kInternal, "internal", false},
  };
  std::set<std::string> lines;
  for (const Case& c : cases) {
    EIBInterBaseError failure(kMisleading, -902, c.gds.front(), c.gds, c.system);
    TServerCause cause = ServerCause(failure);
    EXPECT_EQ(FailureReasonOf(failure), c.reason) << c.token << " " << c.gds.front();
    EXPECT_STREQ(ReasonToken(FailureReasonOf(failure)), c.token);
    EXPECT_EQ(RefusedBeforeAnyChange(FailureReasonOf(failure)), c.retryLater) << c.token;
    EXPECT_EQ(OperatorHint(failure), cause.line);
    EXPECT_EQ(cause.line.empty(), c.reason == R::kInternal) << c.token;
    if (!cause.line.empty()) {
      lines.insert(cause.line);
      // The cause only: what became of the working database is the next line's.
      EXPECT_EQ(cause.line.find("Рабочая база данных"), std::string::npos) << cause.line;
      EXPECT_EQ(cause.line.find("\r\n"), std::string::npos) << cause.line;
    }
  }
  const std::vector<std::string> all = OperatorHintLines();
  EXPECT_EQ(lines, (std::set<std::string>{all.begin(), all.end()}));

  // The kinds and the throw sites' own reasons.
  EXPECT_EQ(FailureReasonOf(EOtherProgramAtWork("x")), R::kBusy);
  EXPECT_EQ(FailureReasonOf(EIBClientError("x")), R::kLibrary);
  EXPECT_EQ(FailureReasonOf(Exception("x")), R::kInternal);
  EXPECT_EQ(FailureReasonOf(*Exception("x").Because(R::kRecovered).CopyWithMessage("y")),
            R::kRecovered);
  EXPECT_TRUE(RefusedBeforeAnyChange(R::kRecovered));
  EXPECT_EQ(OperatorHint(Exception(kMisleading)), "");
}

}  // namespace
