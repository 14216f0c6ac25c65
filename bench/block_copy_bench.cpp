// Block copies between a stored 20000 x 1000 matrix and an in-core 4000 x 400 one, out
// (GetValues) and back in (SetValues through a writable handle of a model open for editing),
// beside a column-by-column memcpy of the same bytes. Each iteration takes the next of ten
// blocks that tile the matrix, so the copies are not served from a warm cache. The program
// ends with the ratio of each copy's throughput to its memcpy's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QOBSspUmaCore.h"
#include "bench_RatioReporter.h"
#include "pfm_ModelBuilder.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

namespace {

constexpr int kRows = 20000, kColumns = 1000;
constexpr int kType = 1;  // the stored matrix's type index; any will do
constexpr int kBlockRows = 4000, kBlockColumns = 400;
constexpr std::size_t kColumnBytes = sizeof(double) * kBlockRows;
constexpr std::int64_t kBlockBytes = static_cast<std::int64_t>(kColumnBytes) * kBlockColumns;

// First row and first column of the k-th block: five row bands times two column bands.
int FirstRow(int k) { return (k % 5) * kBlockRows; }
int FirstColumn(int k) { return (k / 5 % 2) * (kColumns - kBlockColumns); }

// The stored matrix behind a writable handle, and a plain array of the same layout for the
// memcpy anchor.
struct Setup {
  int count = 0;
  std::unique_ptr<uma_System> system;
  std::unique_ptr<uma_Matrix> stored;
  std::vector<double> plain;
  std::unique_ptr<uma_IncoreMatrix> block;

  Setup() : plain(static_cast<std::size_t>(kRows) * kColumns) {
    QOBSspUmaCore_initialize(count);
    block = std::make_unique<uma_IncoreMatrix>(kBlockRows, kBlockColumns, nullptr);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<double>(i % 1000003);
    pfm::ModelBuilder builder("block_copy");
    builder.DistributionForType(kType, builder.AddDistribution(kRows, kColumns, -1, -1, plain));
    builder.Register();
    system = std::make_unique<uma_System>("block_copy", true);
    stored.reset(system->GetMatrix(kType));
    if (!stored) std::abort();
  }
  ~Setup() {
    block.reset();
    stored.reset();
    system.reset();
    pfm::UnregisterModel("block_copy");
    QOBSspUmaCore_finalize(count);
  }
};

Setup& Shared() {
  static Setup setup;
  return setup;
}

void MemcpyOut(benchmark::State& state) {
  Setup& s = Shared();
  double* to = s.block->Values();
  int k = 0;
  for (auto _ : state) {
    const double* from =
        s.plain.data() + FirstRow(k) + static_cast<std::size_t>(FirstColumn(k)) * kRows;
    for (int c = 0; c < kBlockColumns; ++c)
      std::memcpy(to + static_cast<std::size_t>(c) * kBlockRows,
                  from + static_cast<std::size_t>(c) * kRows, kColumnBytes);
    benchmark::DoNotOptimize(to);
    benchmark::ClobberMemory();
    k = (k + 1) % 10;
  }
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}

void GetValues(benchmark::State& state) {
  Setup& s = Shared();
  int k = 0;
  for (auto _ : state) {
    s.stored->GetValues(FirstRow(k), FirstRow(k) + kBlockRows - 1, FirstColumn(k),
                        FirstColumn(k) + kBlockColumns - 1, *s.block);
    benchmark::ClobberMemory();
    k = (k + 1) % 10;
  }
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}

void MemcpyIn(benchmark::State& state) {
  Setup& s = Shared();
  const double* from = s.block->Values();
  int k = 0;
  for (auto _ : state) {
    double* to = s.plain.data() + FirstRow(k) + static_cast<std::size_t>(FirstColumn(k)) * kRows;
    for (int c = 0; c < kBlockColumns; ++c)
      std::memcpy(to + static_cast<std::size_t>(c) * kRows,
                  from + static_cast<std::size_t>(c) * kBlockRows, kColumnBytes);
    benchmark::ClobberMemory();
    k = (k + 1) % 10;
  }
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}

void SetValues(benchmark::State& state) {
  Setup& s = Shared();
  int k = 0;
  for (auto _ : state) {
    s.stored->SetValues(FirstRow(k), FirstRow(k) + kBlockRows - 1, FirstColumn(k),
                        FirstColumn(k) + kBlockColumns - 1, *s.block);
    benchmark::ClobberMemory();
    k = (k + 1) % 10;
  }
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}

BENCHMARK(MemcpyOut)->Unit(benchmark::kMillisecond);
BENCHMARK(GetValues)->Unit(benchmark::kMillisecond);
BENCHMARK(MemcpyIn)->Unit(benchmark::kMillisecond);
BENCHMARK(SetValues)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  uma::bench::RatioReporter reporter({{"GetValues", "MemcpyOut"}, {"SetValues", "MemcpyIn"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
