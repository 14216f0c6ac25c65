// The reduction of a 3-D solid at the scale of real parts: a steel plate of 20-node bricks
// (about 95,000 dofs in mm, t, s, N), a patch of its edge as the boundary (a few hundred dofs),
// 100 fixed-interface modes. Timed file to file with uma-reduce in a process of its own, beside
// scipy (SuperLU + ARPACK) on the same matrices and, when ccx is installed, beside CalculiX's
// own eigenanalysis of the same mesh clamped on the same patch; the peak memory of each
// process; and the eigen-solve alone, block Krylov-Schur beside Spectra's single-vector
// Lanczos on the same factor. Prints which BLAS kernel ran.
//
// UMA_SOLID_ELEMENTS=NX,NY,NZ sets the mesh (default 40,40,4); at 96,96,8 it is about a
// million dofs, for a manual run.
#include <Spectra/SymGEigsShiftSolver.h>
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench_Reference.h"
#include "reduce_BlockLanczos.h"
#include "reduce_CraigBampton.h"
#include "uma_SolidBlock.h"
#include "uma_TempDir.h"

namespace {

constexpr int kModes = 100;
constexpr double kPatch = 0.025;  // the boundary: the edge x = 0 where y <= 25 mm

using uma::bench::Run;
using uma::bench::Spawn;

uma::sample::BlockShape PlateShape() {
  uma::sample::BlockShape s;
  s.lx = s.ly = 0.2;
  s.lz = 0.02;
  s.nx = s.ny = 40;
  s.nz = 4;
  if (const char* e = std::getenv("UMA_SOLID_ELEMENTS"))
    std::sscanf(e, "%d,%d,%d", &s.nx, &s.ny, &s.nz);
  s.quadratic = true;
  return s;
}

struct Plate {
  uma::sample::BlockShape shape = PlateShape();
  uma::sample::UnitSystem units = uma::sample::UnitSystem::MillimetreTonneSecond();
  uma::reduce::FullModel model;
  std::vector<int> boundary;  // node labels
  uma::sample::TempDir dir{"uma-solid-bench-"};
  Eigen::VectorXd ourEigenvalues;
  double ourSeconds = 0;
};

Plate& State() {
  static Plate* plate = [] {
    auto* p = new Plate;
    p->model = uma::sample::SteelBlock(p->shape, p->units);
    const double patch = p->units.FromSI(kPatch, 1, 0, 0);
    for (const uma::reduce::NodeRow& n : p->model.nodes)
      if (n.x == 0 && n.y <= patch * (1 + 1e-12)) p->boundary.push_back(n.label);
    uma::reduce::WriteFullModel(p->model, {p->dir.File("K.mtx"), p->dir.File("M.mtx"),
                                      p->dir.File("dofs.csv"), p->dir.File("nodes.csv"), ""});
    return p;
  }();
  return *plate;
}

std::string Labels(const std::vector<int>& labels) {
  std::string text;
  for (int l : labels) text += (text.empty() ? "" : ",") + std::to_string(l);
  return text;
}

void BM_UmaReduceFileToFile(benchmark::State& state) {
  Plate& p = State();
  const std::string output = p.dir.File("plate.uma");
  Run run;
  for (auto _ : state) {
    run = Spawn({UMA_REDUCE, "--stiffness", p.dir.File("K.mtx"), "--mass", p.dir.File("M.mtx"),
                 "--dofs", p.dir.File("dofs.csv"), "--nodes", p.dir.File("nodes.csv"), "--boundary",
                 Labels(p.boundary), "--modes", std::to_string(kModes), "--units", "mm,t,s,N", "-o",
                 output});
    state.SetIterationTime(run.seconds);
  }
  if (run.status != 0) {
    state.SkipWithError("uma-reduce failed");
    return;
  }
  p.ourSeconds = run.seconds;
  std::fprintf(stderr, "%s", run.out.c_str());
  std::ifstream file(output, std::ios::binary | std::ios::ate);
  state.counters["dofs"] = p.model.size();
  state.counters["boundary_dofs"] = 3.0 * p.boundary.size();
  state.counters["peak_MB"] = run.peakMegabytes;
  state.counters["file_MB"] = static_cast<double>(file.tellg()) / 1e6;
  state.counters["basis_MB"] = 8.0 * p.model.size() * (3.0 * p.boundary.size() + kModes) / 1e6;
}

void BM_CalculiXEigenanalysis(benchmark::State& state) {
  Plate& p = State();
  if (Spawn({"sh", "-c", "command -v ccx"}).status != 0) {
    state.SkipWithError("ccx is not installed: no comparison with CalculiX");
    for (auto _ : state) {
    }
    return;
  }
  // The same mesh and material, clamped on the same patch: the fixed-interface problem.
  {
    std::ofstream deck(p.dir.File("plate.inp"));
    deck << "*NODE, NSET=NALL\n";
    char line[128];
    for (const uma::reduce::NodeRow& n : p.model.nodes) {
      std::snprintf(line, sizeof line, "%d, %.17g, %.17g, %.17g\n", n.label, n.x, n.y, n.z);
      deck << line;
    }
    deck << "*ELEMENT, TYPE=C3D20, ELSET=EALL\n";
    int label = 0;
    for (const std::vector<int>& e : uma::sample::BlockElements(p.shape)) {
      deck << ++label;
      for (std::size_t i = 0; i < e.size(); ++i) deck << (i == 15 ? ",\n" : ", ") << e[i];
      deck << "\n";
    }
    deck << "*NSET, NSET=PATCH\n";
    for (std::size_t i = 0; i < p.boundary.size(); ++i)
      deck << p.boundary[i] << (i % 8 == 7 || i + 1 == p.boundary.size() ? "\n" : ", ");
    deck << "*BOUNDARY\nPATCH, 1, 3\n*MATERIAL, NAME=STEEL\n*ELASTIC\n210000, 0.3\n*DENSITY\n"
            "7.85e-9\n*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n*STEP\n*FREQUENCY\n"
         << kModes << "\n*END STEP\n";
  }
  Run run;
  for (auto _ : state) {
    run = Spawn({"ccx", "-i", "plate"}, p.dir.path());
    state.SetIterationTime(run.seconds);
  }
  // Its frequencies, from the eigenvalue table of plate.dat.
  std::ifstream dat(p.dir.File("plate.dat"));
  std::string text((std::istreambuf_iterator<char>(dat)), std::istreambuf_iterator<char>());
  std::vector<double> theirs;
  const std::regex row(R"(\n\s*(\d+)\s+([-+0-9.E]+)\s+([-+0-9.E]+)\s+([-+0-9.E]+)\s+([-+0-9.E]+))");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), row);
       it != std::sregex_iterator() && theirs.size() < static_cast<std::size_t>(kModes); ++it)
    theirs.push_back(std::stod((*it)[4]));
  state.counters["peak_MB"] = run.peakMegabytes;
  state.counters["ccx_s"] = run.seconds;
  if (p.ourSeconds > 0) state.counters["ratio_ours_to_ccx"] = p.ourSeconds / run.seconds;
  // How far our fixed-interface frequencies are from CalculiX's.
  if (!p.ourEigenvalues.size()) return;
  double worst = 0;
  for (std::size_t k = 0;
       k < theirs.size() && k < static_cast<std::size_t>(p.ourEigenvalues.size()); ++k) {
    const double ours = std::sqrt(p.ourEigenvalues(static_cast<Eigen::Index>(k))) / (2 * M_PI);
    worst = std::max(worst, std::fabs(ours - theirs[k]) / theirs[k]);
  }
  state.counters["frequency_rel_diff"] = worst;
  state.counters["modes_compared"] = static_cast<double>(theirs.size());
}

void BM_ScipyReference(benchmark::State& state) {
  Plate& p = State();
  std::vector<int> rows;
  for (int r = 0; r < p.model.size(); ++r)
    if (std::binary_search(p.boundary.begin(), p.boundary.end(),
                           p.model.dofs[static_cast<std::size_t>(r)].node))
      rows.push_back(r);
  uma::bench::Reference reference;
  for (auto _ : state) {
    reference = uma::bench::Scipy(p.dir.path(), p.model, rows, kModes);
    state.SetIterationTime(reference.ran ? uma::bench::Field(reference.json, "seconds") : 0);
  }
  if (!reference.ran) {
    state.SkipWithError("scipy is not installed for /usr/bin/python3: no comparison");
    return;
  }
  const double seconds = uma::bench::Field(reference.json, "seconds");
  state.counters["scipy_s"] = seconds;
  state.counters["peak_MB"] = uma::bench::Field(reference.json, "maxrss_mb");
  if (p.ourSeconds > 0) state.counters["ratio_scipy_to_ours"] = seconds / p.ourSeconds;
}

// The eigen-solve alone on one factor: the block method beside Spectra's single-vector Lanczos
// (its operator scaled as the reduction once scaled it).
struct Interior {
  uma::reduce::SparseMatrix kii, mii;
  std::unique_ptr<uma::reduce::SparseCholesky> factor;
};

Interior& FactoredInterior() {
  static Interior* interior = [] {
    Plate& p = State();
    auto* in = new Interior;
    std::vector<char> boundary(static_cast<std::size_t>(p.model.size()), 0);
    for (int r = 0; r < p.model.size(); ++r)
      boundary[static_cast<std::size_t>(r)] = std::binary_search(
          p.boundary.begin(), p.boundary.end(), p.model.dofs[static_cast<std::size_t>(r)].node);
    std::vector<int> where(boundary.size(), -1);
    int ni = 0;
    for (std::size_t r = 0; r < boundary.size(); ++r)
      if (!boundary[r]) where[r] = ni++;
    auto restrict = [&](const uma::reduce::SparseMatrix& a) {
      std::vector<Eigen::Triplet<double, int>> t;
      for (int c = 0; c < a.outerSize(); ++c)
        for (uma::reduce::SparseMatrix::InnerIterator it(a, c); it; ++it)
          if (where[static_cast<std::size_t>(it.row())] >= 0 &&
              where[static_cast<std::size_t>(c)] >= 0)
            t.emplace_back(where[static_cast<std::size_t>(it.row())],
                           where[static_cast<std::size_t>(c)], it.value());
      uma::reduce::SparseMatrix out(ni, ni);
      out.setFromTriplets(t.begin(), t.end());
      return out;
    };
    in->kii = restrict(p.model.stiffness);
    in->mii = restrict(p.model.mass);
    in->factor = std::make_unique<uma::reduce::SparseCholesky>(in->kii);
    return in;
  }();
  return *interior;
}

void BM_EigenSolveBlock(benchmark::State& state) {
  Interior& in = FactoredInterior();
  uma::reduce::LanczosResult r;
  for (auto _ : state) r = uma::reduce::BlockLanczos(*in.factor, in.mii, kModes);
  State().ourEigenvalues = r.values;
  state.counters["solves"] = r.solves;
  state.counters["restarts"] = r.restarts;
}

class ScaledInverse {
 public:
  using Scalar = double;
  ScaledInverse(const uma::reduce::SparseCholesky& f, double s) : m_f(f), m_s(s) {}
  Eigen::Index rows() const { return m_f.size(); }
  Eigen::Index cols() const { return m_f.size(); }
  void set_shift(double) {}
  void perform_op(const double* x, double* y) const {
    m_f.Solve(x, y);
    Eigen::Map<Eigen::VectorXd>(y, m_f.size()) *= m_s;
  }

 private:
  const uma::reduce::SparseCholesky& m_f;
  double m_s;
};

class MassProduct {
 public:
  using Scalar = double;
  explicit MassProduct(const uma::reduce::SparseMatrix& m) : m_m(m) {}
  Eigen::Index rows() const { return m_m.rows(); }
  Eigen::Index cols() const { return m_m.cols(); }
  void perform_op(const double* x, double* y) const {
    Eigen::Map<Eigen::VectorXd>(y, m_m.rows()).noalias() =
        m_m * Eigen::Map<const Eigen::VectorXd>(x, m_m.cols());
  }

 private:
  const uma::reduce::SparseMatrix& m_m;
};

void BM_EigenSolveSpectra(benchmark::State& state) {
  Interior& in = FactoredInterior();
  const double scale = State().ourEigenvalues.size() ? State().ourEigenvalues(0) : 1.0;
  Eigen::VectorXd values;
  for (auto _ : state) {
    ScaledInverse op(*in.factor, scale);
    MassProduct bop(in.mii);
    Spectra::SymGEigsShiftSolver<ScaledInverse, MassProduct, Spectra::GEigsMode::ShiftInvert>
        solver(op, bop, kModes, 2 * kModes + 1, 0.0);
    solver.init();
    solver.compute(Spectra::SortRule::LargestMagn, 1000, 1e-12);
    values = solver.eigenvalues() * scale;
  }
  double worst = 0;
  std::sort(values.data(), values.data() + values.size());
  for (Eigen::Index k = 0; k < values.size() && k < State().ourEigenvalues.size(); ++k)
    worst = std::max(worst, std::fabs(values(k) - State().ourEigenvalues(k)) / values(k));
  state.counters["eigenvalue_rel_diff_to_block"] = worst;
}

}  // namespace

BENCHMARK(BM_EigenSolveBlock)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_EigenSolveSpectra)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_UmaReduceFileToFile)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_ScipyReference)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_CalculiXEigenanalysis)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

int main(int argc, char** argv) {
  std::fprintf(stderr, "BLAS: %s (OpenBLAS kernel %s, %d threads)\n", openblas_get_config(),
               openblas_get_corename(), openblas_get_num_threads());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
