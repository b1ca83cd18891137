// A small console program that the command-runner tests start as a child.
//   testchild empty              prints nothing
//   testchild count N            prints lines "line 0001" .. N, each 10 bytes with its LF
//   testchild both               alternates stdout and stderr, flushing each write
//   testchild cp866              prints "Привет, мир" encoded in code page 866
//   testchild readstdin          tries to read standard input, then says how it went
//   testchild args ...           prints each argument between [ and ], one per line
//   testchild fds                prints the numbers of its open descriptors (POSIX)
//   testchild nul                prints "ab", a zero byte, then the 866 bytes of "Да"
//   testchild hang               prints "pid N" (its own), then sleeps for ten minutes
//   testchild grandchild         starts "testchild hang" with its own output, prints
//                                "pid N" of that heir, and ends at once
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define read _read
#else
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

unsigned long OwnId() {
#ifdef _WIN32
  return ::GetCurrentProcessId();
#else
  return static_cast<unsigned long>(::getpid());
#endif
}

// Starts this program again as "hang", with the same standard handles; its id or 0.
unsigned long StartHeir(const char* self) {
#ifdef _WIN32
  (void)self;
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(path) + L"\" hang";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info))
    return 0;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return info.dwProcessId;
#else
  char mode[] = "hang";
  char* argv[] = {const_cast<char*>(self), mode, nullptr};
  pid_t pid = 0;
  return posix_spawn(&pid, self, nullptr, nullptr, argv, environ) == 0
             ? static_cast<unsigned long>(pid)
             : 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "empty") return 0;
  if (mode == "count") {
    int n = argc > 2 ? std::atoi(argv[2]) : 0;
    for (int i = 0; i < n; ++i) std::printf("line %04d\n", i);
    return 0;
  }
  if (mode == "both") {
    for (int i = 0; i < 5; ++i) {
      std::fprintf(stdout, "out%d;", i);
      std::fflush(stdout);
      std::fprintf(stderr, "err%d;", i);
      std::fflush(stderr);
    }
    return 0;
  }
  if (mode == "cp866") {
    // П р и в е т ,   м и р
    const unsigned char text[] = {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2, ',', ' ', 0xAC, 0xA8, 0xE0};
    std::fwrite(text, 1, sizeof text, stdout);
    return 0;
  }
  if (mode == "nul") {
    const unsigned char text[] = {'a', 'b', 0x00, 0x84, 0xA0};
    std::fwrite(text, 1, sizeof text, stdout);
    return 0;
  }
  if (mode == "readstdin") {
    char c;
    int n = static_cast<int>(read(0, &c, 1));
    std::printf("read returned %d\n", n < 0 ? -1 : n);
    return 0;
  }
#ifndef _WIN32
  if (mode == "fds") {
    for (int fd = 0; fd < 4096; ++fd) {
      if (fcntl(fd, F_GETFD) != -1) std::printf("%d\n", fd);
    }
    return 0;
  }
#endif
  if (mode == "hang") {
    std::printf("pid %lu\n", OwnId());
    std::fflush(stdout);
#ifdef _WIN32
    ::Sleep(600000);
#else
    ::sleep(600);
#endif
    return 0;
  }
  if (mode == "grandchild") {
    std::printf("pid %lu\n", StartHeir(argv[0]));
    return 0;
  }
  if (mode == "args") {
    for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
    return 0;
  }
  std::fprintf(stderr, "testchild: unknown mode\n");
  return 2;
}
