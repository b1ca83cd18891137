#include <cstdio>
#include <cstdlib>

#include "fbclient/FBUtils.h"
#include "platform/win32/WindowsSupport.h"

namespace FBUtils {

void RefuseStartWithMessageBox() {
  ::MessageBoxW(::GetActiveWindow(), platform::Widen(kRefusalText).c_str(),
                platform::Widen(kRefusalCaption).c_str(), MB_OK | MB_ICONERROR);
  ::ExitProcess(0);
}

void RefuseStartOnConsole() {
  std::string line = std::string(kRefusalText) + "\r\n";
  HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (error != nullptr && error != INVALID_HANDLE_VALUE && ::GetConsoleMode(error, &mode)) {
    // A console shows UTF-16 correctly whatever its code page.
    std::wstring wide = platform::Widen(line);
    DWORD written = 0;
    ::WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
  ::ExitProcess(0);
}

}  // namespace FBUtils
