#include "tests/gui/ProgramDriver.h"

#include <thread>

#include "platform/Process.h"
#include "platform/win32/QueryMessages.h"
#include "support/Exceptions.h"

namespace gui {

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string TextOf(HWND window) {
  wchar_t buffer[4096];
  LRESULT n = ::SendMessageW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0],
                             reinterpret_cast<LPARAM>(buffer));
  return platform::Narrow(buffer, static_cast<std::size_t>(n));
}

std::string ClassOf(HWND window) {
  wchar_t buffer[256];
  int n = ::GetClassNameW(window, buffer, 256);
  return platform::Narrow(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string DrawnLineOf(HWND progressWindow, int line) {
  static const UINT drawnText = ::RegisterWindowMessageW(platform::kProgressDrawnTextMessage);
  std::wstring text;
  for (DWORD_PTR character = 0;; text += static_cast<wchar_t>(character)) {
    character = 0;
    ::SendMessageTimeoutW(progressWindow, drawnText, static_cast<WPARAM>(line),
                          static_cast<LPARAM>(text.size()), SMTO_ABORTIFHUNG, 5000, &character);
    if (character == 0) break;
  }
  return platform::Narrow(text.data(), text.size());
}

std::size_t DrawnBlocksOf(HWND progressWindow) {
  static const UINT drawnCount = ::RegisterWindowMessageW(platform::kProgressDrawnCountMessage);
  DWORD_PTR count = 0;
  ::SendMessageTimeoutW(progressWindow, drawnCount, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  return static_cast<std::size_t>(count);
}

RECT BoundsInParent(HWND window) {
  RECT r;
  ::GetWindowRect(window, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RunningProgram::RunningProgram(const std::string& program, const std::string& arguments,
                               const std::string& currentFolder) {
  bool fullPath = program.find_first_of(":\\") != std::string::npos;
  std::wstring command = platform::Widen(
      "\"" + (fullPath ? program : platform::ExecutableDir() + program) + "\" " + arguments);
  std::vector<wchar_t> buffer(command.begin(), command.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring folder = platform::Widen(currentFolder);
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    RaiseLastOSError();
  }
  ::CloseHandle(info.hThread);
  process_.Reset(info.hProcess);
  processId_ = info.dwProcessId;
  ::WaitForInputIdle(info.hProcess, 10000);
}

RunningProgram::~RunningProgram() {
  if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.Get(), 1);
    ::WaitForSingleObject(process_.Get(), 5000);
  }
}

namespace {

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && ::IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> RunningProgram::Windows() const {
  WindowSearch search{processId_, {}};
  ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND RunningProgram::WaitForWindow(const wchar_t* className,
                                   std::chrono::milliseconds limit) const {
  HWND found = nullptr;
  std::string wanted = platform::Narrow(className, wcslen(className));
  WaitFor(
      [&] {
        for (HWND w : Windows()) {
          if (ClassOf(w) == wanted) {
            found = w;
            return true;
          }
        }
        return false;
      },
      limit);
  return found;
}

HWND RunningProgram::WaitForDialog(const std::string& caption,
                                   std::chrono::milliseconds limit) const {
  HWND found = nullptr;
  WaitFor(
      [&] {
        for (HWND w : Windows()) {
          if (ClassOf(w) == "#32770" && TextOf(w) == caption) {
            found = w;
            return true;
          }
        }
        return false;
      },
      limit);
  return found;
}

std::string DialogText(HWND dialog) { return TextOf(::GetDlgItem(dialog, 0xFFFF)); }

void PressOk(HWND dialog) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

void RealClick(HWND window) {
  RECT r;
  ::GetWindowRect(window, &r);
  const POINT target{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  // Absolute positions run from 0 to 65535 over the primary screen.
  auto scale = [](LONG at, int extent) {
    return static_cast<LONG>((at * 65536LL + extent - 1) / extent);
  };
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = scale(target.x, ::GetSystemMetrics(SM_CXSCREEN));
  input.mi.dy = scale(target.y, ::GetSystemMetrics(SM_CYSCREEN));
  input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
  ::SendInput(1, &input, sizeof input);
  // The button goes down only where the system has the pointer already, and each
  // event carries the position too: under Wine the X server is told of the move and
  // may answer with the pointer's old place in between.
  WaitFor([&] {
    POINT at{};
    return ::GetCursorPos(&at) && at.x == target.x && at.y == target.y &&
           ::WindowFromPoint(at) == window;
  }, std::chrono::seconds(5));
  INPUT press[2] = {input, input};
  press[0].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN;
  press[1].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP;
  ::SendInput(2, press, sizeof(INPUT));
}

void RealKeyPress(WORD virtualKey) {
  INPUT inputs[2] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, inputs, sizeof(INPUT));
}

bool IsAbove(HWND upper, HWND lower) {
  for (HWND w = ::GetWindow(upper, GW_HWNDNEXT); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
    if (w == lower) return true;
  }
  return false;
}

void Checkpoint(const char* name) {
  wchar_t dir[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"QVN_SCREENSHOT_DIR", dir, MAX_PATH) == 0) return;
  std::wstring marker = std::wstring(dir) + L"\\" + platform::Widen(name) + L".ready";
  ::CloseHandle(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  WaitFor([&] { return ::GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES; },
          std::chrono::seconds(10));
}

long RunningProgram::WaitForExit(std::chrono::milliseconds limit) {
  if (::WaitForSingleObject(process_.Get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
    return -1;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.Get(), &code);
  return static_cast<long>(code);
}

}  // namespace gui
