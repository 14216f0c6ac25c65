// The products of matrix handles beside raw cblas_dgemm on the same values, in one run. Each
// iteration times the library's product and then dgemm on arrays of the same values and layout
// (the in-core matrices' own arrays; copies of the stored ones); the reported time is the
// library's, the counter "vs_dgemm" the ratio of the two totals.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "QOBSspUmaCore.h"
#include "pfm_ModelBuilder.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

namespace {

// Where the operands and the result live: all in core, stored operands into an in-core result,
// or stored operands into a stored result.
enum class Storage { Incore, Stored, StoredIntoStored };

std::vector<double> Pseudorandom(std::size_t count, unsigned seed) {
  std::vector<double> out(count);
  for (double& x : out) {
    seed = seed * 1664525u + 1013904223u;
    x = double(seed >> 8) / double(1u << 24) - 0.5;
  }
  return out;
}

// A (aRows x aColumns) and B (B is A itself for the Aᵀ·A-like product), stored in a model
// opened for editing and copied in core, with results of both kinds. The stored A and B are
// read-only handles (Matrix), the stored C a writable one (GetMatrix).
class Operands {
 public:
  Operands(const std::string& name, bool transposed, int aRows, int aColumns, int bColumns,
           bool bIsA)
      : m_name(name) {
    const int bRows = transposed ? aRows : aColumns, cRows = transposed ? aColumns : aRows;
    m_a = Pseudorandom(std::size_t(aRows) * std::size_t(aColumns), 1);
    m_b = Pseudorandom(std::size_t(bRows) * std::size_t(bColumns), 2);
    pfm::ModelBuilder builder(name);
    builder.DistributionForType(kTypes[0], builder.AddDistribution(aRows, aColumns, -1, -1, m_a));
    builder.DistributionForType(kTypes[1], builder.AddDistribution(bRows, bColumns, -1, -1, m_b));
    builder.DistributionForType(kTypes[2], builder.AddDistribution(cRows, bColumns, -1, -1));
    builder.Register();
    m_system = std::make_unique<uma_System>(name.c_str(), true);
    m_storedA.reset(m_system->Matrix(kTypes[0], 0));
    m_storedB.reset(m_system->Matrix(kTypes[1], 0));
    m_storedC.reset(m_system->GetMatrix(kTypes[2]));
    if (!m_storedA || !m_storedB || !m_storedC) std::abort();
    m_incoreA = std::make_unique<uma_IncoreMatrix>(aRows, aColumns, nullptr);
    m_incoreA->SetValues(m_a.data());
    m_incoreB = std::make_unique<uma_IncoreMatrix>(bRows, bColumns, nullptr);
    m_incoreB->SetValues(m_b.data());
    m_incoreC = std::make_unique<uma_IncoreMatrix>(cRows, bColumns, nullptr);
    m_rawC.resize(std::size_t(cRows) * std::size_t(bColumns));
    m_bIsA = bIsA;
  }

  ~Operands() {
    m_storedA.reset();
    m_storedB.reset();
    m_storedC.reset();
    m_system.reset();
    pfm::UnregisterModel(m_name);
  }

  const uma_Matrix& A(Storage s) const { return s == Storage::Incore ? *m_incoreA : *m_storedA; }
  const uma_Matrix& B(Storage s) const {
    if (m_bIsA) return A(s);
    return s == Storage::Incore ? *m_incoreB : *m_storedB;
  }
  uma_Matrix& C(Storage s) const {
    return s == Storage::StoredIntoStored ? *m_storedC : *m_incoreC;
  }
  double* RawC() { return m_rawC.data(); }

  // The values of A and B for dgemm: the in-core matrices' own arrays, or the stored values.
  const double* ValuesOfA(Storage s) const {
    return s == Storage::Incore ? m_incoreA->Values() : m_a.data();
  }
  const double* ValuesOfB(Storage s) const {
    if (m_bIsA) return ValuesOfA(s);
    return s == Storage::Incore ? m_incoreB->Values() : m_b.data();
  }

 private:
  static constexpr int kTypes[3] = {1, 2, 3};  // type indices of the stored A, B and C

  std::string m_name;
  std::vector<double> m_a, m_b;
  std::unique_ptr<uma_System> m_system;
  std::unique_ptr<const uma_Matrix> m_storedA, m_storedB;
  std::unique_ptr<uma_Matrix> m_storedC;
  std::unique_ptr<uma_IncoreMatrix> m_incoreA, m_incoreB, m_incoreC;
  std::vector<double> m_rawC;
  bool m_bIsA = false;
};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void Product(benchmark::State& state, bool transposed, Storage storage, int aRows, int aColumns,
             int bColumns, bool bIsA) {
  Operands operands("bench", transposed, aRows, aColumns, bColumns, bIsA);
  const uma_Matrix &A = operands.A(storage), &B = operands.B(storage);
  uma_Matrix& C = operands.C(storage);
  const double* a = operands.ValuesOfA(storage);
  const double* b = operands.ValuesOfB(storage);
  const int m = transposed ? aColumns : aRows, k = transposed ? aRows : aColumns;
  double library = 0.0, raw = 0.0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (transposed) {
      A.TransposeMultiply(&B, &C);
    } else {
      A.Multiply(&B, &C);
    }
    auto middle = std::chrono::steady_clock::now();
    cblas_dgemm(CblasColMajor, transposed ? CblasTrans : CblasNoTrans, CblasNoTrans, m, bColumns, k,
                1.0, a, aRows, b, k, 0.0, operands.RawC(), m);
    auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(Seconds(middle - start));
    library += Seconds(middle - start);
    raw += Seconds(end - middle);
  }
  const double flops = 2.0 * m * bColumns * k;
  state.counters["GFLOPS"] = flops * 1e-9 * double(state.iterations()) / library;
  state.counters["dgemm_ms"] = 1e3 * raw / double(state.iterations());
  state.counters["vs_dgemm"] = library / raw;
}

void Register(const std::string& name, bool transposed, Storage storage, int aRows, int aColumns,
              int bColumns, bool bIsA) {
  const double work = 2.0 * aRows * aColumns * bColumns;
  benchmark::RegisterBenchmark(name.c_str(), Product, transposed, storage, aRows, aColumns,
                               bColumns, bIsA)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->MinTime(work > 1e9 ? 1.0 : 0.3);
}

}  // namespace

int main(int argc, char** argv) {
  // One BLAS thread: the machine is shared, and one core gives steady ratios.
  openblas_set_num_threads(1);
  int count = 0;
  QOBSspUmaCore_initialize(count);
  const std::pair<Storage, const char*> storages[] = {
      {Storage::Incore, "incore"},
      {Storage::Stored, "stored"},
      {Storage::StoredIntoStored, "stored_into_stored"}};
  for (int n : {200, 1000, 2000})
    for (auto [storage, label] : storages) {
      Register("Multiply/" + std::string(label) + "/" + std::to_string(n), false, storage, n, n, n,
               false);
      Register("TransposeMultiply/" + std::string(label) + "/" + std::to_string(n), true, storage,
               n, n, n, false);
    }
  for (auto [storage, label] : storages)
    Register("TransposeMultiply/" + std::string(label) + "/20000x300", true, storage, 20000, 300,
             300, true);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QOBSspUmaCore_finalize(count);
  return 0;
}
