// Placeholder until the jobs land: only the usage text.
#include <cstdio>
#include "cli/options.h"
#ifdef _WIN32
int wmain(int, wchar_t**) {
#else
int main(int, char**) {
#endif
  std::fputws(velmora::cli::kUsage, stdout);
  return 2;
}
