// The viewer's messages from the program's string table.
#include "platform/win32/WindowsSupport.h"
#include "progress/ProgressViewer.h"

std::string LoadProgressMessage(int id) {
  // LoadStringW with a zero length hands out a pointer to the resource itself.
  const wchar_t* text = nullptr;
  int length = ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(id),
                             reinterpret_cast<LPWSTR>(&text), 0);
  // A program built without the string table still says what went wrong.
  if (length <= 0 || text == nullptr) return CompiledProgressMessage(id);
  return platform::Narrow(text, static_cast<std::size_t>(length));
}
