// Fixed places of the product on a site, per platform. Windows: "C:\QORD\..."; Linux: the same tree under "/opt/QORD"
// (movable for tests with QVN_QORD_ROOT), Debian's statistics tool.
#pragma once

#include <string>
#include <vector>

namespace site {

// The fuel database, the path field's initial text.
std::string DefaultDatabasePath();
// The site's databases the programs know: the fuel, the shop and the office
// database, in that order.
std::vector<std::string> KnownDatabasePaths();
// The program log.
std::string LogFilePath();
// The server's statistics tool.
std::string StatisticsToolPath();

}  // namespace site
