// A small console program that the command-runner tests start as a child.
//   testchild empty              prints nothing
//   testchild count N            prints lines "line 0001" .. N, each 10 bytes with its LF
//   testchild both               alternates stdout and stderr, flushing each write
//   testchild cp866              prints "Привет, мир" encoded in code page 866
//   testchild readstdin          tries to read standard input, then says how it went
//   testchild args ...           prints each argument between [ and ], one per line
//   testchild fds                prints the numbers of its open descriptors (POSIX)
//   testchild nul                prints "ab", a zero byte, then the 866 bytes of "Да"
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#define read _read
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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
  if (mode == "args") {
    for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
    return 0;
  }
  std::fprintf(stderr, "testchild: unknown mode\n");
  return 2;
}
