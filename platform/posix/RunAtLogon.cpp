#include "platform/RunAtLogon.h"

namespace platform {

bool RegisterRunAtNextLogon(const std::string&, const std::string&) { return true; }
void UnregisterRunAtNextLogon(const std::string&) noexcept {}
std::string RunAtNextLogonCommand(const std::string&) { return std::string(); }

}  // namespace platform
