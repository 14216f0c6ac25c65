// Model files: the time to open a stored model and to read a 4000 x 400 block out of the middle
// of a stored matrix of about 13 MB, 100 MB and 1 GB, beside a memcpy of the same block's bytes
// in memory (the anchor). The program ends with the ratios: each read's throughput over its
// memcpy's, and opening and reading the first block of the larger files over the 13 MB one's. The
// files are made once per run under /tmp and removed at the end; the 1 GB one only when /tmp has
// room for it. Reads run on a warm file (just written, then read once before timing); each read is
// a read transaction that checks the file is still the version opened, and copies from SQLite's
// page cache (the file is never mapped).
#include <benchmark/benchmark.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QOBSspUmaCore.h"
#include "bench_RatioReporter.h"
#include "pfm_Support.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"
#include "uma_TempDir.h"

namespace {

constexpr int kBlockRows = 4000, kBlockColumns = 400;
constexpr int kType = 1;  // the stored matrix's type index

struct StoredMatrix {
  const char* label;
  int rows;
  int columns;
  std::string path;
  int firstRow() const { return (rows - kBlockRows) / 2; }
  int firstColumn() const { return (columns - kBlockColumns) / 2; }
  double megabytes() const { return 8.0 * rows * columns / 1e6; }
};

StoredMatrix g_matrices[] = {
    {"13MB", 4000, 400, ""}, {"100MB", 12500, 1000, ""}, {"1GB", 50000, 2500, ""}};

double ValueAt(int r, int c) { return r + c * 1e-6; }

// Values made as they are read, so that even the largest model never sits in memory.
class GeneratedValues : public pfm::ValueStore {
 public:
  void Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const override {
    for (int c = 0; c < nc; ++c)
      for (int r = 0; r < nr; ++r) out[c * ld + r] = ValueAt(r0 + r, c0 + c);
  }
  void Write(int, int, int, int, const double*, std::int64_t) override {}
};

void Save(StoredMatrix& m, const uma::sample::TempDir& dir) {
  pfm::ModelBuilder b(m.label);
  b.DistributionForType(
      kType, b.AddDistributionFrom(m.rows, m.columns, -1, -1, std::make_shared<GeneratedValues>()));
  m.path = dir.File(std::string(m.label) + ".db");
  pfm::SaveModel(b, m.path);
}

// A model opened for reading as a host opens it, with its stored matrix (destroyed first);
// `matrix` is null when the open failed, and the benchmark is then skipped with the reason.
struct Opened {
  std::unique_ptr<uma_System> system;
  std::unique_ptr<const uma_Matrix> matrix;

  Opened(const StoredMatrix& m, benchmark::State& state)
      : system(std::make_unique<uma_System>(m.path.c_str(), false)),
        matrix(system->Matrix(kType, 0)) {
    if (!matrix) state.SkipWithError(pfm::LastOpenFailure().c_str());
  }
};

// Reads columns firstColumn() + c0 .. + c1 of the block into `block`, from its column c0.
void ReadColumns(const StoredMatrix& m, const uma_Matrix& matrix, int c0, int c1,
                 uma_IncoreMatrix& block) {
  matrix.GetValues(m.firstRow(), m.firstRow() + kBlockRows - 1, m.firstColumn() + c0,
                   m.firstColumn() + c1, block);
}

void Open(benchmark::State& state, const StoredMatrix* m) {
  for (auto _ : state) {
    uma_System system(m->path.c_str(), false);
    if (system.IsNull()) state.SkipWithError(pfm::LastOpenFailure().c_str());
    benchmark::DoNotOptimize(system.Type());
  }
}

void ReadBlockOfOpenModel(benchmark::State& state, const StoredMatrix* m) {
  Opened model(*m, state);
  if (!model.matrix) return;
  uma_IncoreMatrix block(kBlockRows, kBlockColumns, nullptr);
  // Brings the block's pages into the reader's page cache.
  ReadColumns(*m, *model.matrix, 0, kBlockColumns - 1, block);
  for (auto _ : state) {
    ReadColumns(*m, *model.matrix, 0, kBlockColumns - 1, block);
    benchmark::DoNotOptimize(block.Values());
  }
  if (block.Values()[0] != ValueAt(m->firstRow(), m->firstColumn()))
    state.SkipWithError("wrong values");
  state.SetBytesProcessed(state.iterations() * 8LL * kBlockRows * kBlockColumns);
}

// The same block asked for one column at a time, as hosts read mode shapes and matrices derived
// through row maps read it, on a warm file: shows what each call to the file costs beyond its
// values.
void ReadBlockByColumns(benchmark::State& state, const StoredMatrix* m) {
  Opened model(*m, state);
  if (!model.matrix) return;
  uma_IncoreMatrix column(kBlockRows, 1, nullptr);
  for (int c = 0; c < kBlockColumns; ++c) ReadColumns(*m, *model.matrix, c, c, column);  // warm
  for (auto _ : state) {
    for (int c = 0; c < kBlockColumns; ++c) {
      ReadColumns(*m, *model.matrix, c, c, column);
      benchmark::DoNotOptimize(column.Values());
    }
  }
  state.SetBytesProcessed(state.iterations() * 8LL * kBlockRows * kBlockColumns);
}

void OpenAndReadBlock(benchmark::State& state, const StoredMatrix* m) {
  uma_IncoreMatrix block(kBlockRows, kBlockColumns, nullptr);
  for (auto _ : state) {
    Opened model(*m, state);
    if (!model.matrix) return;
    ReadColumns(*m, *model.matrix, 0, kBlockColumns - 1, block);
  }
  state.SetBytesProcessed(state.iterations() * 8LL * kBlockRows * kBlockColumns);
}

// The anchor: the same block's bytes copied column by column out of an in-memory matrix with
// the stored matrix's leading dimension.
void MemcpyBlock(benchmark::State& state, const StoredMatrix* m) {
  std::vector<double> source(static_cast<std::size_t>(m->rows) * kBlockColumns, 1.0);
  std::vector<double> block(static_cast<std::size_t>(kBlockRows) * kBlockColumns);
  for (auto _ : state) {
    for (int c = 0; c < kBlockColumns; ++c)
      std::memcpy(block.data() + static_cast<std::size_t>(c) * kBlockRows,
                  source.data() + static_cast<std::size_t>(c) * m->rows + m->firstRow(),
                  8 * kBlockRows);
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 8LL * kBlockRows * kBlockColumns);
}

bool RoomFor(double megabytes) {
  struct statvfs fs {};
  if (::statvfs("/tmp", &fs) != 0) return false;
  return static_cast<double>(fs.f_bavail) * fs.f_frsize / 1e6 > 3 * megabytes;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  int count = 0;
  QOBSspUmaCore_initialize(count);
  {
    uma::sample::TempDir dir("uma-bench-");
    for (StoredMatrix& m : g_matrices) {
      if (!RoomFor(m.megabytes())) {
        std::fprintf(stderr, "skipping the %s matrix: /tmp has too little room\n", m.label);
        continue;
      }
      Save(m, dir);
      const std::string size = std::string("/") + m.label;
      benchmark::RegisterBenchmark(("Open" + size).c_str(), Open, &m);
      benchmark::RegisterBenchmark(("ReadBlock" + size).c_str(), ReadBlockOfOpenModel, &m);
      benchmark::RegisterBenchmark(("ReadBlockByColumns" + size).c_str(), ReadBlockByColumns, &m);
      benchmark::RegisterBenchmark(("OpenAndReadBlock" + size).c_str(), OpenAndReadBlock, &m);
      benchmark::RegisterBenchmark(("MemcpyBlock" + size).c_str(), MemcpyBlock, &m);
    }
    uma::bench::RatioReporter reporter({{"ReadBlock/13MB", "MemcpyBlock/13MB"},
                                        {"ReadBlock/1GB", "MemcpyBlock/1GB"},
                                        {"ReadBlockByColumns/13MB", "MemcpyBlock/13MB"},
                                        {"ReadBlockByColumns/100MB", "MemcpyBlock/100MB"},
                                        {"ReadBlockByColumns/1GB", "MemcpyBlock/1GB"},
                                        {"OpenAndReadBlock/100MB", "OpenAndReadBlock/13MB"},
                                        {"OpenAndReadBlock/1GB", "OpenAndReadBlock/13MB"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  QOBSspUmaCore_finalize(count);
  benchmark::Shutdown();
  return 0;
}
