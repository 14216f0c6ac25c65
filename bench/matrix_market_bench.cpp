// Reading the stiffness of a 3-D solid (a block of 8-node bricks, about 100,000 dofs, one
// triangle stored) from a Matrix Market file into the compressed columns of both triangles that
// the reduction takes, beside reading the same file's bytes with read() (the anchor). Both run
// on a warm file, timed by the wall clock. The peak memory of one read is measured in a process
// of its own (this program run again) and reported per stored entry of the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_Memory.h"
#include "bench_RatioReporter.h"
#include "reduce_MatrixMarket.h"
#include "uma_SolidBlock.h"
#include "uma_TempDir.h"

namespace {

struct Input {
  uma::sample::TempDir dir{"uma-mtx-bench-"};
  std::string path;
  long long bytes = 0;
  long long entries = 0;  // stored in the file: one triangle
  int dofs = 0;
};

Input& TheInput() {
  static Input* input = [] {
    auto* in = new Input;
    uma::sample::BlockShape shape;
    shape.nx = 60;
    shape.ny = 22;
    shape.nz = 22;
    uma::reduce::FullModel model = uma::sample::SteelBlock(shape, uma::sample::UnitSystem::SI());
    in->dofs = model.size();
    in->path = in->dir.File("K.mtx");
    uma::reduce::WriteSymmetric(in->path, model.stiffness);
    in->entries = (model.stiffness.nonZeros() + model.stiffness.rows()) / 2;
    std::ifstream f(in->path, std::ios::binary | std::ios::ate);
    in->bytes = static_cast<long long>(f.tellg());
    return in;
  }();
  return *input;
}

uma::reduce::SparseMatrix ReadStiffness(const std::string& path) {
  return uma::reduce::ToSymmetric(uma::reduce::ReadMatrixMarket(path), "stiffness");
}

constexpr const char* kPeakOption = "--peak-of-one-read";

// In a process of its own (this program run again), so that nothing else counts: the bytes
// by which one read raises the peak resident memory above what the process held before it.
void PrintPeakOfOneRead(const std::string& path) {
  const long before = uma::bench::ResidentKiB();
  uma::reduce::SparseMatrix k = ReadStiffness(path);
  std::printf("%.0f\n", k.nonZeros() > 0 ? uma::bench::PeakAddedBytes(before) : -1.0);
}

double PeakBytesOfOneRead(const std::string& path) {
  const std::string command =
      "/proc/" + std::to_string(::getpid()) + "/exe " + kPeakOption + " '" + path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  double bytes = -1;
  if (!pipe || std::fscanf(pipe.get(), "%lf", &bytes) != 1) return -1;
  return bytes;
}

void ReadMatrixMarket(benchmark::State& state) {
  Input& in = TheInput();
  ReadStiffness(in.path);  // a warm file
  for (auto _ : state) {
    uma::reduce::SparseMatrix k = ReadStiffness(in.path);
    benchmark::DoNotOptimize(k.valuePtr());
  }
  state.SetBytesProcessed(state.iterations() * in.bytes);
  state.counters["file_MB"] = static_cast<double>(in.bytes) / 1e6;
  state.counters["dofs"] = in.dofs;
  state.counters["stored_entries"] = static_cast<double>(in.entries);
  const double peak = PeakBytesOfOneRead(in.path);
  state.counters["peak_MB"] = peak / 1e6;
  state.counters["peak_bytes_per_entry"] = peak / static_cast<double>(in.entries);
}

// The anchor: the file's bytes through read(), 4 MiB at a time.
void RawRead(benchmark::State& state) {
  Input& in = TheInput();
  std::vector<char> buffer(4 << 20);
  for (auto _ : state) {
    const int fd = ::open(in.path.c_str(), O_RDONLY | O_CLOEXEC);
    long long total = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) total += got;
    ::close(fd);
    if (total != in.bytes) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * in.bytes);
}

}  // namespace

BENCHMARK(RawRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ReadMatrixMarket)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == kPeakOption) {
    PrintPeakOfOneRead(argv[2]);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  uma::bench::RatioReporter reporter({{"ReadMatrixMarket/real_time", "RawRead/real_time"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
