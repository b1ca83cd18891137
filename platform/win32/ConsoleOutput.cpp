#include "platform/ConsoleOutput.h"

#include <fcntl.h>
#include <io.h>

#include "platform/win32/WindowsSupport.h"

namespace platform {

std::string ToOtherCodePage(const std::string& text, unsigned codePage) {
  std::wstring wide = Widen(text);
  if (wide.empty()) return std::string();
  // '?' rather than a look-alike; some code pages take no flags at all.
  for (DWORD flags : {DWORD{WC_NO_BEST_FIT_CHARS}, DWORD{0}}) {
    int size = ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, flags ? "?" : nullptr, nullptr);
    if (size <= 0) continue;
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), out.data(),
                          size, flags ? "?" : nullptr, nullptr);
    return out;
  }
  return std::string(text.size(), '?');  // a code page the system lacks
}

unsigned ConsoleCodePage() {
  UINT page = ::GetConsoleOutputCP();  // 0 without a console
  return page != 0 ? page : ::GetOEMCP();
}

namespace {

// A console window takes characters, not bytes: whatever its code page, it shows
// the text as it is. False when the stream is not a console.
bool WriteToConsoleWindow(std::FILE* stream, const std::string& text) {
  std::fflush(stream);
  auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) return false;
  std::wstring wide = Widen(text);
  DWORD written = 0;
  ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  return true;
}

// The line ends are ours already: the stream's text mode would make each LF a CR LF
// again (CR CR LF), so the bytes go out in binary mode.
void WriteBytes(std::FILE* stream, const std::string& bytes) {
  std::fflush(stream);
  int previous = ::_setmode(::_fileno(stream), _O_BINARY);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
  if (previous != -1) ::_setmode(::_fileno(stream), previous);
}

}  // namespace

void WriteConsoleText(std::FILE* stream, const std::string& text) {
  std::string lines = WithCrLf(text);
  if (!WriteToConsoleWindow(stream, lines)) WriteBytes(stream, ToCodePage(lines, ConsoleCodePage()));
}

void WriteUtf8Text(std::FILE* stream, const std::string& text) {
  std::string lines = WithCrLf(text);
  if (!WriteToConsoleWindow(stream, lines)) WriteBytes(stream, lines);
}

}  // namespace platform
