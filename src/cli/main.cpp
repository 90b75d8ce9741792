// Placeholder until the jobs land: only --help and --version.
#include <cstdio>
#include "cli/options.h"
int main(int, char**) {
  std::fputws(velmora::cli::kUsage, stdout);
  return 2;
}
