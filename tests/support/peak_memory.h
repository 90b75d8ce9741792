// The peak memory of this process, measured from a fresh start: the process's all-time peak
// says nothing about code that runs after an earlier test raised it.
#pragma once

namespace velmora::test {

class PeakMemory {
 public:
  // Sets the peak back to the memory in use now (Linux: /proc/self/clear_refs).
  PeakMemory();
  // False where the peak cannot be set back and read (Windows, a system without /proc):
  // GrowthKiB() then means nothing and the check must be skipped, visibly.
  bool available() const { return available_; }
  // How far the peak rose above the memory in use when the object was made, in KiB.
  long GrowthKiB() const;

 private:
  bool available_ = false;
  long start_kib_ = 0;
};

}  // namespace velmora::test
