// A child program for tests: prints each argument on its own line between brackets, writes one line to
// standard error, sleeps for the milliseconds given after "--sleep", and ends with the exit code given
// after "--exit".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  int code = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--exit") == 0 && i + 1 < argc) code = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--sleep") == 0 && i + 1 < argc) Sleep(static_cast<DWORD>(std::atoi(argv[i + 1])));
    std::printf("[%s]\n", argv[i]);
  }
  std::fprintf(stderr, "stderr line\n");
  return code;
}
