// A small program with what each hardening flag acts on: a local array (stack canary), a
// formatted print and a copy into a buffer of known size (fortified calls), and calls into the
// C library (immediate binding).
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%d arguments", argc);
  std::strncpy(buffer, argc > 1 ? argv[1] : "none", sizeof buffer - 1);
  buffer[sizeof buffer - 1] = '\0';
  std::printf("%s\n", buffer);
  return 0;
}
