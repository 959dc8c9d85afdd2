// Preloaded into a program by demo_test (LD_PRELOAD): when the program ends,
// copies the lines of /proc/self/smaps_rollup that count its anonymous memory
// and the part of it on transparent huge pages to standard error, so the test
// sees which pages the unchanged program got.
#include <cstdio>
#include <cstring>

__attribute__((destructor)) static void report_pages() {
  std::FILE* rollup = std::fopen("/proc/self/smaps_rollup", "r");
  if (rollup == nullptr) {
    return;
  }
  char line[256];
  while (std::fgets(line, sizeof line, rollup) != nullptr) {
    if (std::strncmp(line, "Anonymous:", 10) == 0 ||
        std::strncmp(line, "AnonHugePages:", 14) == 0) {
      std::fputs(line, stderr);
    }
  }
  std::fclose(rollup);
}
