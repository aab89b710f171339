// snapsalvager-cli: the whole recovery without a window.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--version") == 0)) {
    std::printf("snapsalvager-cli %s\n", SNAPSALVAGER_VERSION);
    return 0;
  }
  std::fprintf(stderr, "usage: snapsalvager-cli --version\n");
  return 2;
}
