// The C++ side of bench/python_values.py: GetValues of a stored matrix into a new buffer, as a
// host does it, for the Python binding's values() and block() to be compared with in one run.
//   UMA_BENCH_MODEL=FILE python_values_bench    (the file's matrix of type 20061, 20000 x 1000)
// Without UMA_BENCH_MODEL the program writes nothing and reports an error.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "QOBSspUmaCore.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

namespace {

constexpr int kStiffness = 20061;  // the reduced-stiffness type index

// Copies the block into a buffer allocated once and touched (the library's copy alone), or
// into a new, uninitialised buffer per copy, as the binding does into a new array.
void CopyBlock(benchmark::State& state, int rows, int columns) {
  const char* model = std::getenv("UMA_BENCH_MODEL");
  if (!model) return state.SkipWithError("set UMA_BENCH_MODEL to the model file");
  const bool newBuffer = state.range(0) != 0;
  int count = 0;
  QOBSspUmaCore_initialize(count);
  {
    uma_System system(model, false);
    std::unique_ptr<const uma_Matrix> matrix(system.Matrix(kStiffness, 0));
    if (!matrix || matrix->NumRows() < rows || matrix->NumColumns() < columns) {
      state.SkipWithError("the model has no matrix large enough");
    } else {
      const std::size_t values = std::size_t(rows) * std::size_t(columns);
      std::unique_ptr<double[]> reused(newBuffer ? nullptr : new double[values]());
      for (auto _ : state) {
        std::unique_ptr<double[]> fresh(newBuffer ? new double[values] : nullptr);
        double* buffer = newBuffer ? fresh.get() : reused.get();
        uma_IncoreMatrix out(rows, columns, buffer);
        matrix->GetValues(0, rows - 1, 0, columns - 1, out);
        benchmark::DoNotOptimize(buffer);
      }
      state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(values) * 8);
    }
  }
  QOBSspUmaCore_finalize(count);
}

void BM_GetValuesWhole(benchmark::State& state) { CopyBlock(state, 20000, 1000); }
void BM_GetValuesBlock(benchmark::State& state) { CopyBlock(state, 4000, 400); }

// Argument 0: into a reused buffer; 1: into a new buffer per copy.
BENCHMARK(BM_GetValuesWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_GetValuesBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
