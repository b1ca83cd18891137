// Starts the Windows program of the build and finds its windows, for tests that
// drive it the way an operator would: with window messages, reading what is shown.
#pragma once

#include "platform/win32/WindowsSupport.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace gui {

// Polls `condition` until it holds or `limit` passes; true when it held.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(20));

std::string TextOf(HWND window);
std::string ClassOf(HWND window);
// Line `line` (0 is the top one) of the text a progress window shows, as the window
// reports what it drew; empty before it has drawn any.
std::string DrawnLineOf(HWND progressWindow, int line);
// How many text blocks a progress window has drawn so far (0 for none, or no answer):
// the same before and after reading lines, they come from one text block.
std::size_t DrawnBlocksOf(HWND progressWindow);
// A window's bounds in its parent's client coordinates.
RECT BoundsInParent(HWND window);

// The text of a message box, and its OK button pressed.
std::string DialogText(HWND dialog);
void PressOk(HWND dialog);
// A button clicked without waiting for what the click does.
void Click(HWND button);
// A click as the operator makes it: the mouse moved to the middle of `window` and its
// left button pressed and let go, through the system's input queue.
void RealClick(HWND window);
// A key pressed and let go through the system's input queue: it goes to the window
// that has the keyboard.
void RealKeyPress(WORD virtualKey);
// True when `upper` stands above `lower` in the z-order of the top-level windows.
bool IsAbove(HWND upper, HWND lower);

// For the screenshot scripts: with QVN_SCREENSHOT_DIR set, announces a moment worth
// a picture with a file <name>.ready there and waits (briefly) until the script has
// taken it and removed the file. Without the variable nothing happens.
void Checkpoint(const char* name);

class RunningProgram {
 public:
  // Starts `program` (a full path, or a name beside the test executable) with
  // `arguments`, in `currentFolder` (empty: this process's); the program inherits
  // this process's environment.
  RunningProgram(const std::string& program, const std::string& arguments,
                 const std::string& currentFolder = "");
  ~RunningProgram();  // a program still running is ended
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  DWORD ProcessId() const { return processId_; }
  // The first visible top-level window of the program with `className`, waiting for it.
  HWND WaitForWindow(const wchar_t* className,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) const;
  // A message box of the program with `caption`, waiting for it.
  HWND WaitForDialog(const std::string& caption,
                     std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
  // Every visible top-level window of the program.
  std::vector<HWND> Windows() const;
  // Waits for the program's end; its exit code, or -1 when it did not end in time.
  long WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(20));

 private:
  platform::ScopedKernelHandle process_;
  DWORD processId_ = 0;
};

}  // namespace gui
