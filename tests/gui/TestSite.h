// Files and folders for the tests that run the Windows programs: a throwaway
// installation folder, byte-exact file access through the wide API, the program
// log's texts, and a run of the console program with its output captured.
#pragma once

#include "platform/win32/WindowsSupport.h"

#include <string>
#include <vector>

namespace gui {

inline const char kLogPath[] = "C:\\QORD\\LogFiles\\QVNOptimizeDB.log";

// File access through the wide API: the C++ streams of this runtime take narrow
// (ANSI) names, which cannot hold every path.
std::string ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// A fresh folder for one test, holding a copy of the program and what it needs.
class Installation {
 public:
  explicit Installation(const std::string& name);
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;
  // Copies a file of the build (beside the test) into the folder, under `as`; a file
  // of that name in the folder QVN_PROGRAMS_DIR names (the unpacked release package)
  // is taken from there instead.
  void Add(const std::string& built, const std::string& as = "");
  std::string Path(const std::string& name) const { return dir_ + name; }

 private:
  std::string dir_;
};

// Sets an environment variable for the programs this test starts.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const wchar_t* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const wchar_t* name_;
};

// The log's lines without their time stamps (23 characters and a blank).
std::vector<std::string> Texts(const std::string& log);

// The Windows console build of the front end: its output (stdout and stderr into one
// file, in the OEM code page since it is not a console, read back into UTF-8 and
// compared without the CR) and its exit code.
struct ConsoleRun {
  DWORD exitCode = 0;
  std::string output;
  bool doubledLineEnd = false;  // a "\r\r" in the raw output
};
ConsoleRun RunConsole(const Installation& site, const std::string& arguments);

}  // namespace gui
