#include "tests/gui/TestSite.h"

#include <filesystem>

#include "platform/Encoding.h"
#include "platform/Process.h"

namespace gui {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  platform::ScopedFileHandle file(::CreateFileW(platform::Widen(path).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  platform::ScopedFileHandle file(::CreateFileW(platform::Widen(path).c_str(), GENERIC_WRITE, 0,
                                                nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file.IsValid()) return false;
  DWORD written = 0;
  return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(platform::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Installation::Installation(const std::string& name) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  dir_ = platform::Narrow(temp, wcslen(temp)) + "qvn_" + name + "_" +
         std::to_string(platform::CurrentProcessId()) + "\\";
  fs::remove_all(fs::u8path(dir_));
  fs::create_directories(fs::u8path(dir_));
}

Installation::~Installation() {
  std::error_code ignored;
  fs::remove_all(fs::u8path(dir_), ignored);
}

void Installation::Add(const std::string& built, const std::string& as) {
  std::string from = platform::ExecutableDir() + built;
  wchar_t programs[MAX_PATH];
  DWORD length = ::GetEnvironmentVariableW(L"QVN_PROGRAMS_DIR", programs, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    std::string packaged = platform::Narrow(programs, length) + built;
    if (Exists(packaged)) from = packaged;
  }
  fs::copy_file(fs::u8path(from),
                fs::u8path(dir_ + (as.empty() ? built : as)),
                fs::copy_options::overwrite_existing);
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
  ::SetEnvironmentVariableW(name, value);
}

ScopedEnvironment::~ScopedEnvironment() { ::SetEnvironmentVariableW(name_, nullptr); }

std::vector<std::string> Texts(const std::string& log) {
  std::vector<std::string> texts;
  std::size_t start = 0;
  for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = log.substr(start, end - start);
    bool stamped = line.size() > 24 && line[2] == '.' && line[5] == '.' && line[13] == ':';
    texts.push_back(stamped ? line.substr(24) : line);
  }
  return texts;
}

ConsoleRun RunConsole(const Installation& site, const std::string& arguments) {
  ConsoleRun run;
  static int runs = 0;
  std::string outputPath = site.Path("console" + std::to_string(++runs) + ".txt");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  platform::ScopedFileHandle output(::CreateFileW(platform::Widen(outputPath).c_str(),
                                                  GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                  CREATE_ALWAYS, 0, nullptr));
  if (!output) {
    run.output = "<no output file>";
    return run;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output.Get();
  startup.hStdError = output.Get();
  std::wstring command =
      platform::Widen("\"" + site.Path("qvnoptimize.exe") + "\" " + arguments);
  std::vector<wchar_t> buffer(command.begin(), command.end());
  buffer.push_back(L'\0');
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info)) {
    run.output = "<not started>";
    return run;
  }
  ::CloseHandle(info.hThread);
  ::WaitForSingleObject(info.hProcess, 120000);
  ::GetExitCodeProcess(info.hProcess, &run.exitCode);
  ::CloseHandle(info.hProcess);
  output.Reset();
  std::string raw = ReadBytes(outputPath);
  run.doubledLineEnd = raw.find("\r\r") != std::string::npos;
  // Text for people comes in the console's code page; this child has no console of
  // its own, so it is the OEM code page.
  for (char c : platform::OemToUtf8(raw)) {
    if (c != '\r') run.output += c;
  }
  return run;
}

}  // namespace gui
