// The memory a step of a benchmark adds to its process: resident kilobytes before it, and the
// peak after it. Measured in a process of the benchmark's own (the program run again), so that
// nothing else it held counts.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace uma::bench {

// Resident kilobytes now.
inline long ResidentKiB() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The bytes by which the process's peak resident memory rose above `beforeKiB`.
inline double PeakAddedBytes(long beforeKiB) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return 1024.0 * static_cast<double>(usage.ru_maxrss - beforeKiB);
}

}  // namespace uma::bench
