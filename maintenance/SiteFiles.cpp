#include "maintenance/SiteFiles.h"

#include <cstdlib>

#include "fbclient/SitePaths.h"

namespace site {

#ifdef _WIN32
std::vector<std::string> KnownDatabasePaths() {
  const std::string root = fbclient::SiteRoot();
  return {root + "DB\\ZARVO.FDB", root + "DB\\TradeDB\\TradeDB.FDB", root + "OfficeDB\\OFFICE.FDB"};
}
std::string DefaultDatabasePath() { return fbclient::SiteRoot() + "DB\\ZARVO.FDB"; }
std::string LogFilePath() { return fbclient::SiteRoot() + "LogFiles\\QVNOptimizeDB.log"; }
std::string StatisticsToolPath() { return fbclient::SiteRoot() + "FIREBIRD\\bin\\gstat.exe"; }
#else
std::vector<std::string> KnownDatabasePaths() {
  const std::string root = fbclient::SiteRoot();
  return {root + "DB/ZARVO.FDB", root + "DB/TradeDB/TradeDB.FDB", root + "OfficeDB/OFFICE.FDB"};
}
std::string DefaultDatabasePath() { return fbclient::SiteRoot() + "DB/ZARVO.FDB"; }
std::string LogFilePath() { return fbclient::SiteRoot() + "LogFiles/QVNOptimizeDB.log"; }
// Debian's name for the statistics tool; tests put another program in its place.
std::string StatisticsToolPath() {
  const char* custom = std::getenv("QVN_STATISTICS_TOOL");
  return custom && *custom ? custom : "/usr/bin/fbstat";
}
#endif

}  // namespace site
