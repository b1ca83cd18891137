// A command the system runs once at the user's next logon: on Windows a value of
// HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce, which Windows deletes as it
// runs it. POSIX has no such place (a site there uses a boot-time unit instead, see
// README): nothing is registered.
#pragma once

#include <string>

namespace platform {

// False when the command could not be registered.
bool RegisterRunAtNextLogon(const std::string& name, const std::string& commandLine);
void UnregisterRunAtNextLogon(const std::string& name) noexcept;
// The registered command, empty when there is none (for tests).
std::string RunAtNextLogonCommand(const std::string& name);

}  // namespace platform
