// The fixed-interface reduction of a generated full model of about 100,000 degrees of freedom
// (a flat grid of 130 x 130 steel beam nodes), to 60 boundary dofs (ten edge nodes) and 100
// fixed-interface modes, beside the same numerics in scipy (SuperLU + ARPACK shift-invert eigsh,
// bench/reduce_scipy_reference.py) on the same matrices in the same run. Reports the time ratio
// (below 1: faster than scipy), the peak memory of each process beside its factor's size, and
// how far the two sets of eigenvalues are apart. The scipy side is skipped, with a message, when
// /usr/bin/python3 has no scipy.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "reduce_CraigBampton.h"
#include "reduce_Frame.h"
#include "uma_TempDir.h"

namespace {

constexpr int kGrid = 130, kBoundaryNodes = 10, kModes = 100;

struct Shared {
  reduce::FullModel model;
  reduce::ReductionOptions options;
  double seconds = 0.0, cpuSeconds = 0.0;
  Eigen::VectorXd eigenvalues;
};

Shared& State() {
  static Shared* shared = [] {
    auto* s = new Shared;
    s->model = reduce::BeamGrid(kGrid, kGrid, 0.1, reduce::BeamSection::SteelRectangle(0.02, 0.02))
                   .Assemble();
    for (int i = 1; i <= kBoundaryNodes; ++i) s->options.boundary.push_back(i);
    s->options.modes = kModes;
    return s;
  }();
  return *shared;
}

// CPU seconds of every thread of the process so far.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

template <class T>
void WriteRaw(const std::string& path, const T* data, std::size_t count) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(count * sizeof(T)));
}

void WriteCsc(const std::string& dir, const char* name, const reduce::SparseMatrix& a) {
  WriteRaw(dir + "/" + name + ".indptr", a.outerIndexPtr(), static_cast<std::size_t>(a.cols() + 1));
  WriteRaw(dir + "/" + name + ".indices", a.innerIndexPtr(),
           static_cast<std::size_t>(a.nonZeros()));
  WriteRaw(dir + "/" + name + ".data", a.valuePtr(), static_cast<std::size_t>(a.nonZeros()));
}

// A number out of the reference's one-line JSON answer.
double Field(const std::string& json, const std::string& key) {
  std::size_t at = json.find("\"" + key + "\":");
  return at == std::string::npos ? NAN : std::atof(json.c_str() + at + key.size() + 3);
}

void BM_Reduce(benchmark::State& state) {
  Shared& s = State();
  reduce::Reduction r;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    r = reduce::Reduce(s.model, s.options);
    benchmark::DoNotOptimize(r.stiffness.data());
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.cpuSeconds = CpuSeconds() - cpu;
  }
  s.eigenvalues = r.eigenvalues;
  // Accuracy: the largest relative residual |K phi - lambda M phi| / |lambda M phi| of a mode
  // over the interior rows (the boundary rows hold the reactions).
  double residual = 0.0;
  for (int q = 0; q < r.dynamicModes(); ++q) {
    const Eigen::VectorXd phi = r.modes.col(r.staticModes() + q);
    const Eigen::VectorXd mphi = r.eigenvalues(q) * (s.model.mass * phi);
    Eigen::VectorXd rest = s.model.stiffness * phi - mphi;
    double top = 0.0, bottom = 0.0;
    for (int i : r.interior) {
      top += rest(i) * rest(i);
      bottom += mphi(i) * mphi(i);
    }
    residual = std::max(residual, std::sqrt(top / bottom));
  }
  state.counters["max_residual"] = residual;
  state.counters["dofs"] = s.model.size();
  state.counters["modes"] = r.dynamicModes();
  state.counters["boundary_dofs"] = r.staticModes();
  state.counters["factor_nnz"] = r.factor.nonzeros;
  state.counters["factor_MB"] = r.factor.bytes / 1e6;
  state.counters["peak_MB"] = PeakMegabytes();
  state.counters["cpu_s"] = s.cpuSeconds;
}

void BM_ScipyReference(benchmark::State& state) {
  Shared& s = State();
  if (std::system("/usr/bin/python3 -c 'import scipy' 2>/dev/null") != 0) {
    state.SkipWithError("scipy is not installed for /usr/bin/python3: no comparison");
    for (auto _ : state) {
    }
    return;
  }
  sample::TempDir dir("uma-reduce-bench-");
  WriteCsc(dir.path(), "K", s.model.stiffness);
  WriteCsc(dir.path(), "M", s.model.mass);
  std::vector<int> boundary;
  for (int r = 0; r < s.model.size(); ++r)
    if (s.model.dofs[static_cast<std::size_t>(r)].node <= kBoundaryNodes) boundary.push_back(r);
  WriteRaw(dir.File("boundary.int32"), boundary.data(), boundary.size());

  const std::string command = "/usr/bin/python3 " UMA_BENCH_DIR "/reduce_scipy_reference.py " +
                              dir.path() + " " + std::to_string(kModes);
  std::string json;
  for (auto _ : state) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char line[1024];
    json.clear();
    while (pipe && std::fgets(line, sizeof line, pipe.get())) json += line;
    state.SetIterationTime(Field(json, "seconds"));
  }
  const double scipySeconds = Field(json, "seconds");
  state.counters["peak_MB"] = Field(json, "maxrss_mb");
  state.counters["factor_nnz"] = Field(json, "factor_nonzeros");

  // Our run's time over scipy's, and how far the eigenvalues are apart.
  std::ifstream in(dir.File("scipy-eigenvalues.float64"), std::ios::binary);
  std::vector<double> theirs(kModes);
  in.read(reinterpret_cast<char*>(theirs.data()), kModes * sizeof(double));
  double worst = 0.0;
  for (int k = 0; k < kModes && k < s.eigenvalues.size(); ++k)
    worst = std::max(worst, std::abs(s.eigenvalues(k) - theirs[static_cast<std::size_t>(k)]) /
                                theirs[static_cast<std::size_t>(k)]);
  state.counters["eigenvalue_rel_diff"] = worst;
  state.counters["scipy_s"] = scipySeconds;
  state.counters["cpu_s"] = Field(json, "cpu_seconds");
  state.counters["max_residual"] = Field(json, "max_residual");
  if (s.seconds > 0) {
    state.counters["ratio_ours_to_scipy"] = s.seconds / scipySeconds;
    state.counters["cpu_ratio_ours_to_scipy"] = s.cpuSeconds / Field(json, "cpu_seconds");
  }
}

}  // namespace

BENCHMARK(BM_Reduce)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_ScipyReference)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
