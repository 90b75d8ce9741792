#include "support/peak_memory.h"

#include <fstream>
#include <string>

namespace velmora::test {
namespace {

// A "VmHWM:   1234 kB" line of /proc/self/status, or -1.
long StatusKiB(const char* field) {
#ifdef _WIN32
  (void)field;
  return -1;
#else
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
#endif
}

}  // namespace

PeakMemory::PeakMemory() {
#ifndef _WIN32
  // "5" resets the resident peak (VmHWM) to the resident size now.
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  if (!clear) return;
  start_kib_ = StatusKiB("VmHWM");
  available_ = start_kib_ >= 0;
#endif
}

long PeakMemory::GrowthKiB() const {
  return available_ ? StatusKiB("VmHWM") - start_kib_ : -1;
}

}  // namespace velmora::test
