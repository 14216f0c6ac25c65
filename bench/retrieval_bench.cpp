// Matrix retrieval with options 7 (trim loads and static modes, filter internal nodes) on a
// recovery-like matrix of 20000 dof rows x 300 mode columns with 10% of its nodes internal,
// beside its physical anchor: one gather copy of the rows and columns it keeps. Retrieval
// copies no values until they are read, so it is also timed together with reading them all.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "QOBSspUmaCore.h"
#include "pfm_Observe.h"
#include "uma_IncoreMatrix.h"
#include "uma_RetrievalModels.h"
#include "uma_SampleModels.h"
#include "uma_System.h"

namespace {

constexpr int kNodes = 4000, kDofsPerNode = 5, kModes = 300;
constexpr int kLoads = 6, kStaticModes = 12, kInternalEvery = 10;
constexpr int kRows = kNodes * kDofsPerNode;

struct Setup {
  std::unique_ptr<uma_System> system;
  std::unique_ptr<uma_IncoreMatrix> stored;  // the whole stored matrix, read once
  std::vector<int> keptRows;  // what options 7 keeps: rows of external nodes but the static modes
  int keptColumns = kModes - kLoads;
};
Setup* g_setup = nullptr;

const double* StoredValues() { return g_setup->stored->Values(); }

// The anchor: one gather of the kept rows of the kept columns into `out`.
void Gather(double* out) {
  const double* in = StoredValues();
  const std::vector<int>& rows = g_setup->keptRows;
  for (int c = 0; c < g_setup->keptColumns; ++c) {
    const double* column = in + static_cast<std::size_t>(kLoads + c) * kRows;
    double* to = out + static_cast<std::size_t>(c) * rows.size();
    for (std::size_t r = 0; r < rows.size(); ++r) to[r] = column[rows[r]];
  }
}

void CountBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(g_setup->keptRows.size()) *
                          g_setup->keptColumns * 8);
}

void BM_GatherKeptRows(benchmark::State& state) {
  std::vector<double> out(g_setup->keptRows.size() *
                          static_cast<std::size_t>(g_setup->keptColumns));
  for (auto _ : state) {
    Gather(out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  CountBytes(state);
}

void BM_MatrixOptions7(benchmark::State& state) {
  pfm::ResetPeakDenseMatrices();
  for (auto _ : state) {
    std::unique_ptr<const uma_Matrix> m(g_setup->system->Matrix(uma::sample::RecoveryMatrixType(), 7));
    benchmark::DoNotOptimize(m.get());
  }
  state.counters["peak_dense"] = pfm::PeakDenseMatrices();
}

void BM_MatrixOptions7AndReadAll(benchmark::State& state) {
  uma_IncoreMatrix out(static_cast<int>(g_setup->keptRows.size()), g_setup->keptColumns, nullptr);
  pfm::ResetPeakDenseMatrices();
  for (auto _ : state) {
    std::unique_ptr<const uma_Matrix> m(g_setup->system->Matrix(uma::sample::RecoveryMatrixType(), 7));
    m->GetValues(0, m->NumRows() - 1, 0, m->NumColumns() - 1, out);
    benchmark::DoNotOptimize(out.Values());
    benchmark::ClobberMemory();
  }
  state.counters["peak_dense"] = pfm::PeakDenseMatrices();
  CountBytes(state);
}

BENCHMARK(BM_GatherKeptRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatrixOptions7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatrixOptions7AndReadAll)->Unit(benchmark::kMillisecond);

// The stored recovery matrix as the library hands it out untrimmed, in memory of the bench's own.
std::unique_ptr<uma_IncoreMatrix> ReadWhole(const uma_System& system) {
  std::unique_ptr<const uma_Matrix> m(system.Matrix(uma::sample::RecoveryMatrixType(), 0));
  if (!m) return nullptr;
  auto out = std::make_unique<uma_IncoreMatrix>(kRows, kModes, nullptr);
  m->GetValues(0, kRows - 1, 0, kModes - 1, *out);
  return out;
}

// The retrieval must give what the anchor copies; a benchmark of a wrong answer is worthless.
bool SameAnswer() {
  std::unique_ptr<const uma_Matrix> m(g_setup->system->Matrix(uma::sample::RecoveryMatrixType(), 7));
  int rows = static_cast<int>(g_setup->keptRows.size());
  if (!m || m->NumRows() != rows || m->NumColumns() != g_setup->keptColumns) return false;
  uma_IncoreMatrix got(rows, g_setup->keptColumns, nullptr);
  m->GetValues(0, rows - 1, 0, g_setup->keptColumns - 1, got);
  std::vector<double> want(static_cast<std::size_t>(rows) *
                           static_cast<std::size_t>(g_setup->keptColumns));
  Gather(want.data());
  for (std::size_t i = 0; i < want.size(); ++i)
    if (got.Values()[i] != want[i]) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  QOBSspUmaCore_initialize(count);
  {
    Setup setup;
    uma::sample::RecoverySystem("bench", kNodes, kDofsPerNode, kModes, kLoads, kStaticModes,
                           kInternalEvery)
        .Register();
    for (int r = 0; r < kRows - kStaticModes; ++r)
      if ((r / kDofsPerNode + 1) % kInternalEvery != 0) setup.keptRows.push_back(r);
    setup.system = std::make_unique<uma_System>("bench", false);
    setup.stored = ReadWhole(*setup.system);
    g_setup = &setup;
    if (!setup.stored || !SameAnswer()) {
      std::fprintf(stderr, "retrieval_bench: Matrix(..., 7) does not answer the gathered rows\n");
      return EXIT_FAILURE;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_setup = nullptr;
  }
  QOBSspUmaCore_finalize(count);
  return EXIT_SUCCESS;
}
