// Stands in for the server's statistics tool under Wine: prints its arguments and a
// header page in the console (OEM) code page, 866 on a Russian machine, as a
// Windows console tool does.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

void PrintOem(const wchar_t* text) {
  char buffer[4096];
  int n = ::WideCharToMultiByte(CP_OEMCP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  if (n > 1) std::fwrite(buffer, 1, static_cast<size_t>(n - 1), stdout);
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::printf("args:");
  for (int i = 1; i < count; ++i) {
    std::printf(" [");
    PrintOem(args[i]);
    std::printf("]");
  }
  std::printf("\n");
  PrintOem(L"\x0421\x0442\x0440\x0430\x043D\x0438\x0446\x0430: 16384\n");  // "Страница: 16384"
  return 0;
}
