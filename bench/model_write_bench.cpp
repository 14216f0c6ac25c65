// Writing a reduced model as uma-reduce writes it (uma::reduce::BuildReducedModel, pfm::SaveModel)
// for a 3-D solid of 60,000 dofs reduced to 300 static and 100 dynamic modes with two loads:
// a basis of 192 MB. Reports, beside the basis: the peak memory that writing adds to the process
// (measured in a process of its own: this program run again), the model file's size over the
// basis and the small matrices, and the time of writing beside a write() of the basis's bytes
// to a file (the anchor).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "QOBSspUmaCore.h"
#include "bench_Memory.h"
#include "bench_RatioReporter.h"
#include "pfm_Support.h"
#include "reduce_ModelOutput.h"
#include "uma_TempDir.h"

namespace {

constexpr int kDofs = 60000, kStatic = 300, kDynamic = 100, kLoads = 2;
constexpr const char* kWriteOption = "--write-once";

double BasisBytes() { return 8.0 * kDofs * (kStatic + kDynamic); }
// The matrices beside the basis: the recovery matrix's load columns and static-mode rows, the
// loads, the reduced matrices, the node coordinates and masses.
double SmallBytes() {
  const double reduced = kStatic + kDynamic;
  return 8.0 * (kLoads * (kDofs + kStatic) + kStatic * reduced + kLoads * kDofs +
                3 * reduced * reduced + kLoads * reduced + 4 * kDofs / 3);
}

// A full model and a reduction of the sizes above, with values that cost nothing to make.
struct Inputs {
  uma::reduce::FullModel model;
  uma::reduce::Reduction reduction;
};

std::unique_ptr<Inputs> MakeInputs() {
  auto in = std::make_unique<Inputs>();
  uma::reduce::FullModel& m = in->model;
  for (int node = 1; node <= kDofs / 3; ++node) {
    m.nodes.push_back({node, 0.01 * node, 0.0, 0.0, 0});
    for (int ldof = 1; ldof <= 3; ++ldof) m.dofs.push_back({node, ldof, 0});
  }
  m.mass.resize(kDofs, kDofs);
  m.mass.setIdentity();
  m.loads = Eigen::MatrixXd::Constant(kDofs, kLoads, 1.0);
  uma::reduce::Reduction& r = in->reduction;
  for (int row = 0; row < kStatic; ++row) r.boundary.push_back(row);
  r.modes.resize(kDofs, kStatic + kDynamic);
  for (Eigen::Index c = 0; c < r.modes.cols(); ++c)
    for (Eigen::Index row = 0; row < kDofs; ++row) r.modes(row, c) = 1e-3 * row + c;
  r.eigenvalues = Eigen::VectorXd::LinSpaced(kDynamic, 1e4, 1e7);
  r.loadResponse = Eigen::MatrixXd::Constant(kDofs, kLoads, 2.0);
  r.reducedLoads = Eigen::MatrixXd::Constant(kStatic + kDynamic, kLoads, 3.0);
  r.stiffness = Eigen::MatrixXd::Identity(kStatic + kDynamic, kStatic + kDynamic);
  r.mass = r.stiffness;
  return in;
}

// In a process of its own: makes the inputs, writes the model to `path`, and prints the bytes
// by which writing raised the peak resident memory and the seconds it took.
int WriteOnce(const std::string& path) {
  int count = 0;
  QOBSspUmaCore_initialize(count);
  std::unique_ptr<Inputs> in = MakeInputs();
  const long before = uma::bench::ResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  pfm::SaveModel(uma::reduce::BuildReducedModel(path, in->model, in->reduction, {}), path);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.0f %.6f\n", uma::bench::PeakAddedBytes(before), seconds);
  QOBSspUmaCore_finalize(count);
  return 0;
}

void WriteReducedModel(benchmark::State& state) {
  uma::sample::TempDir dir("uma-write-bench-");
  const std::string path = dir.File("reduced.uma");
  const std::string command =
      "/proc/" + std::to_string(::getpid()) + "/exe " + kWriteOption + " '" + path + "'";
  double peak = -1, seconds = 0;
  for (auto _ : state) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe || std::fscanf(pipe.get(), "%lf %lf", &peak, &seconds) != 2) {
      state.SkipWithError("the writing process failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
  struct stat st {};
  ::stat(path.c_str(), &st);
  const double file = static_cast<double>(st.st_size);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BasisBytes()));
  state.counters["basis_MB"] = BasisBytes() / 1e6;
  state.counters["small_MB"] = SmallBytes() / 1e6;
  state.counters["write_peak_MB"] = peak / 1e6;
  state.counters["peak_over_basis"] = peak / BasisBytes();
  state.counters["file_MB"] = file / 1e6;
  state.counters["file_over_basis_and_small"] = file / (BasisBytes() + SmallBytes());
}

// The anchor: the basis's bytes written to a new file with write() and synced, as a save is.
void WriteBasisBytes(benchmark::State& state) {
  uma::sample::TempDir dir("uma-write-bench-");
  const std::string path = dir.File("raw");
  std::vector<char> column(8 * kDofs, 1);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (int c = 0; c < kStatic + kDynamic; ++c)
      if (::write(fd, column.data(), column.size()) != static_cast<ssize_t>(column.size()))
        state.SkipWithError("short write");
    ::fsync(fd);
    ::close(fd);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BasisBytes()));
}

}  // namespace

BENCHMARK(WriteBasisBytes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(WriteReducedModel)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == kWriteOption) return WriteOnce(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  uma::bench::RatioReporter reporter(
      {{"WriteReducedModel/iterations:3/manual_time", "WriteBasisBytes/iterations:3/manual_time"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
