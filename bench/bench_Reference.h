// What the reduction benchmarks share: running a program in a process of its own (wall time,
// peak memory, output), and scipy's reduction of the same matrices as the reference
// (reduce_scipy_reference.py).
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "reduce_FullModel.h"

namespace uma::bench {

struct Run {
  double seconds = 0, peakMegabytes = 0;
  int status = -1;
  std::string out;
};

// Runs `args` (a program on the PATH or a path) in `directory`; keeps its standard output.
inline Run Spawn(const std::vector<std::string>& args, const std::string& directory = "") {
  Run run;
  int pipes[2];
  if (pipe(pipes) != 0) return run;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipes[1], 1);
    close(pipes[0]);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipes[1]);
  char buffer[4096];
  for (ssize_t got; (got = read(pipes[0], buffer, sizeof buffer)) > 0;)
    run.out.append(buffer, static_cast<std::size_t>(got));
  close(pipes[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMegabytes = usage.ru_maxrss / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A number out of a one-line JSON answer.
inline double Field(const std::string& json, const std::string& key) {
  std::size_t at = json.find("\"" + key + "\":");
  return at == std::string::npos ? NAN : std::atof(json.c_str() + at + key.size() + 3);
}

template <class T>
void WriteRaw(const std::string& path, const T* data, std::size_t count) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(count * sizeof(T)));
}

inline void WriteCsc(const std::string& dir, const char* name, const uma::reduce::SparseMatrix& a) {
  WriteRaw(dir + "/" + name + ".indptr", a.outerIndexPtr(), static_cast<std::size_t>(a.cols() + 1));
  WriteRaw(dir + "/" + name + ".indices", a.innerIndexPtr(),
           static_cast<std::size_t>(a.nonZeros()));
  WriteRaw(dir + "/" + name + ".data", a.valuePtr(), static_cast<std::size_t>(a.nonZeros()));
}

struct Reference {
  bool ran = false;
  std::string json;                 // its one-line answer
  std::vector<double> eigenvalues;  // ascending
};

// scipy's fixed-interface reduction of `model` with `boundaryRows` held, `modes` modes, in a
// process of its own; nothing when /usr/bin/python3 has no scipy.
inline Reference Scipy(const std::string& dir, const uma::reduce::FullModel& model,
                       const std::vector<int>& boundaryRows, int modes) {
  Reference r;
  if (Spawn({"/usr/bin/python3", "-c", "import scipy"}).status != 0) return r;
  WriteCsc(dir, "K", model.stiffness);
  WriteCsc(dir, "M", model.mass);
  WriteRaw(dir + "/boundary.int32", boundaryRows.data(), boundaryRows.size());
  Run run = Spawn(
      {"/usr/bin/python3", UMA_BENCH_DIR "/reduce_scipy_reference.py", dir, std::to_string(modes)});
  r.ran = run.status == 0;
  r.json = run.out;
  std::ifstream in(dir + "/scipy-eigenvalues.float64", std::ios::binary);
  r.eigenvalues.resize(static_cast<std::size_t>(modes));
  in.read(reinterpret_cast<char*>(r.eigenvalues.data()),
          static_cast<std::streamsize>(modes * sizeof(double)));
  return r;
}

}  // namespace uma::bench
