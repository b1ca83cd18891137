// Where the product's files stand on a site: "C:\QORD\" on Windows, "/opt/QORD/" on
// Linux. Tests on Linux move the root with the environment variable QVN_QORD_ROOT.
#pragma once

#include <string>

namespace fbclient {

// The site root with its closing separator.
std::string SiteRoot();

}  // namespace fbclient
