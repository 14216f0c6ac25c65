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

#include "bench_Reference.h"
#include "reduce_CraigBampton.h"
#include "reduce_Frame.h"
#include "uma_TempDir.h"

namespace {

constexpr int kGrid = 130, kBoundaryNodes = 10, kModes = 100;

struct Shared {
  uma::reduce::FullModel model;
  uma::reduce::ReductionOptions options;
  double seconds = 0.0, cpuSeconds = 0.0;
  Eigen::VectorXd eigenvalues;
};

Shared& State() {
  static Shared* shared = [] {
    auto* s = new Shared;
    s->model = uma::reduce::BeamGrid(kGrid, kGrid, 0.1, uma::reduce::BeamSection::SteelRectangle(0.02, 0.02))
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

void BM_Reduce(benchmark::State& state) {
  Shared& s = State();
  uma::reduce::Reduction r;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    r = uma::reduce::Reduce(s.model, s.options);
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
  uma::sample::TempDir dir("uma-reduce-bench-");
  std::vector<int> boundary;
  for (int r = 0; r < s.model.size(); ++r)
    if (s.model.dofs[static_cast<std::size_t>(r)].node <= kBoundaryNodes) boundary.push_back(r);
  uma::bench::Reference reference;
  for (auto _ : state) {
    reference = uma::bench::Scipy(dir.path(), s.model, boundary, kModes);
    state.SetIterationTime(reference.ran ? uma::bench::Field(reference.json, "seconds") : 0);
  }
  if (!reference.ran) {
    state.SkipWithError("scipy is not installed for /usr/bin/python3: no comparison");
    return;
  }
  const std::string& json = reference.json;
  const double scipySeconds = uma::bench::Field(json, "seconds");
  state.counters["peak_MB"] = uma::bench::Field(json, "maxrss_mb");
  state.counters["factor_nnz"] = uma::bench::Field(json, "factor_nonzeros");
  // Our run's time over scipy's, and how far the eigenvalues are apart.
  double worst = 0.0;
  for (int k = 0; k < kModes && k < s.eigenvalues.size(); ++k)
    worst = std::max(
        worst, std::abs(s.eigenvalues(k) - reference.eigenvalues[static_cast<std::size_t>(k)]) /
                   reference.eigenvalues[static_cast<std::size_t>(k)]);
  state.counters["eigenvalue_rel_diff"] = worst;
  state.counters["scipy_s"] = scipySeconds;
  state.counters["cpu_s"] = uma::bench::Field(json, "cpu_seconds");
  state.counters["max_residual"] = uma::bench::Field(json, "max_residual");
  if (s.seconds > 0) {
    state.counters["ratio_ours_to_scipy"] = s.seconds / scipySeconds;
    state.counters["cpu_ratio_ours_to_scipy"] =
        s.cpuSeconds / uma::bench::Field(json, "cpu_seconds");
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
