// The products of matrix handles beside raw cblas_dgemm on the same values, in one run. Each
// iteration times the library's product and then dgemm on the very arrays the library reads;
// the reported time is the library's, the counter "vs_dgemm" the ratio of the two totals.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "QOBSspUmaCore.h"
#include "pfm_Dense.h"
#include "pfm_ModelBuilder.h"
#include "pfm_Session.h"
#include "uma_IncoreMatrix.h"
#include "uma_System.h"
#include "uma_TestAccess.h"

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
// opened for editing and copied in core, with results of both kinds.
class Operands {
 public:
  Operands(const std::string& name, bool transposed, int aRows, int aColumns, int bColumns,
           bool bIsA)
      : m_name(name) {
    const int bRows = transposed ? aRows : aColumns, cRows = transposed ? aColumns : aRows;
    std::vector<double> a = Pseudorandom(std::size_t(aRows) * std::size_t(aColumns), 1);
    std::vector<double> b = Pseudorandom(std::size_t(bRows) * std::size_t(bColumns), 2);
    pfm::ModelBuilder builder(name);
    builder.AddDistribution(aRows, aColumns, -1, -1, a);
    builder.AddDistribution(bRows, bColumns, -1, -1, b);
    builder.AddDistribution(cRows, bColumns, -1, -1);
    builder.Register();
    m_system = std::make_unique<uma_System>(name.c_str(), true);
    const int session = uma_TestAccess::Session(*m_system);
    for (int i = 0; i < 3; ++i) {
      auto* dense = new QOBSrvDenseMatrix(pfm::ids::Distribution(session, i));
      m_stored.emplace_back(i < 2 ? uma_TestAccess::ReadOnly(dense, m_system.get())
                                  : uma_TestAccess::Writable(dense, m_system.get()));
    }
    m_incoreA = std::make_unique<uma_IncoreMatrix>(aRows, aColumns, nullptr);
    m_incoreA->SetValues(a.data());
    m_incoreB = std::make_unique<uma_IncoreMatrix>(bRows, bColumns, nullptr);
    m_incoreB->SetValues(b.data());
    m_incoreC = std::make_unique<uma_IncoreMatrix>(cRows, bColumns, nullptr);
    m_rawC.resize(std::size_t(cRows) * std::size_t(bColumns));
    m_bIsA = bIsA;
  }

  ~Operands() {
    m_stored.clear();
    m_system.reset();
    pfm::ModelRegistry::Remove(m_name);
  }

  const uma_Matrix& A(Storage s) const { return s == Storage::Incore ? *m_incoreA : *m_stored[0]; }
  const uma_Matrix& B(Storage s) const {
    if (m_bIsA) return A(s);
    return s == Storage::Incore ? *m_incoreB : *m_stored[1];
  }
  uma_Matrix& C(Storage s) const {
    return s == Storage::StoredIntoStored ? *m_stored[2] : *m_incoreC;
  }
  double* RawC() { return m_rawC.data(); }

  // The values the library's product reads: the in-core array or the stored values.
  const double* ValuesOf(const uma_Matrix& m) {
    if (const QOBSrvMatrix* incore = uma_TestAccess::Incore(m)) return incore->m_values;
    m_scratch.emplace_back();
    return pfm::DenseValues(*uma_TestAccess::Dense(m), m_scratch.back());
  }

 private:
  std::string m_name;
  std::unique_ptr<uma_System> m_system;
  std::vector<std::unique_ptr<uma_Matrix>> m_stored;
  std::unique_ptr<uma_IncoreMatrix> m_incoreA, m_incoreB, m_incoreC;
  std::vector<double> m_rawC;
  std::vector<std::vector<double>> m_scratch;
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
  const double* a = operands.ValuesOf(A);
  const double* b = operands.ValuesOf(B);
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
