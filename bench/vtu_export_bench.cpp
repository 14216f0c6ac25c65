// The model written for a viewer (uma-inspect --vtu) at the scale of real parts: a steel plate
// of 20-node bricks, 33 x 33 x 3 elements (51,204 dofs, 3267 elements), reduced to a 6-dof joint
// and 100 dynamic modes, stored as a model file. Timed beside its two anchors: reading every
// column of the mode matrix through the library, one at a time as the export reads them, and
// writing as many bytes as the file holds with fwrite. The whole tool also runs in a process of
// its own, for its wall time and peak memory against the mode matrix's size (the columns are
// streamed, never held whole). The program ends with the export's throughput as a share of
// each anchor's.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QOBSspUmaCore.h"
#include "bench_RatioReporter.h"
#include "bench_Reference.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_SolidBlock.h"
#include "uma_System.h"
#include "uma_TempDir.h"
#include "inspect_VtuExport.h"

namespace {

constexpr int kStatic = 6, kDynamic = 100;

struct Plate {
  uma::sample::TempDir dir{"uma-vtu-bench-"};
  std::string model, vtu;
  int dofs = 0;
  long long fileBytes = 0;
};

Plate& TheModel() {
  static Plate plate;
  return plate;
}

// The plate's nodes and elements with a mode matrix of random values (as incompressible as a
// real one's), a joint's six static modes and frequencies from 100 Hz up.
void SaveModel(Plate& p) {
  uma::sample::BlockShape shape;
  shape.lx = shape.ly = 0.2;
  shape.lz = 0.02;
  shape.nx = shape.ny = 33;
  shape.nz = 3;
  shape.quadratic = true;
  const uma::reduce::FullModel full =
      uma::sample::SteelBlock(shape, uma::sample::UnitSystem::MillimetreTonneSecond());
  pfm::ModelBuilder b("plate");
  std::vector<int> nodes, dofs, modes;
  std::vector<double> x, y, z;
  std::vector<int> numberOf(static_cast<std::size_t>(full.nodes.back().label) + 1);
  for (const uma::reduce::NodeRow& n : full.nodes) {
    nodes.push_back(numberOf[static_cast<std::size_t>(n.label)] = b.AddNode(n.label));
    x.push_back(n.x);
    y.push_back(n.y);
    z.push_back(n.z);
  }
  for (const uma::reduce::DofRow& d : full.dofs)
    dofs.push_back(b.AddDof(numberOf[static_cast<std::size_t>(d.node)], d.ldof));
  // The joint above the plate's centre, with its six dofs.
  const int joint = b.AddNode(900001);
  nodes.push_back(joint);
  x.push_back(100.0);
  y.push_back(100.0);
  z.push_back(10.0);
  for (int ldof = 1; ldof <= 6; ++ldof) dofs.push_back(b.AddDof(joint, ldof));
  for (int ldof = 1; ldof <= kStatic; ++ldof) modes.push_back(b.AddMode(900001, ldof));
  for (int k = 1; k <= kDynamic; ++k) modes.push_back(b.AddMode(900000000 + k, 0));
  std::vector<double> xyz = x;
  xyz.insert(xyz.end(), y.begin(), y.end());
  xyz.insert(xyz.end(), z.begin(), z.end());
  const int points = static_cast<int>(nodes.size());
  b.NodeCoordinates(b.AddDistribution(points, 3, b.AddSet(pfm::MemberKind::Node, nodes), -1, xyz));

  p.dofs = static_cast<int>(dofs.size());
  const int columns = kStatic + kDynamic;
  std::mt19937_64 random(7);
  std::normal_distribution<double> normal;
  std::vector<double> values(static_cast<std::size_t>(p.dofs) * columns);
  for (double& v : values) v = normal(random);
  const int modeSet = b.AddSet(pfm::MemberKind::Mode, modes);
  b.DistributionForType(pfm::types::ModeMatrix(),
                        b.AddDistribution(p.dofs, columns, b.AddSet(pfm::MemberKind::Dof, dofs),
                                          modeSet, std::move(values)));
  std::vector<double> stiffness(static_cast<std::size_t>(columns) * columns, 0.0);
  for (int k = 0; k < kDynamic; ++k) {
    const double omega = 2 * M_PI * 100.0 * (1 + k);
    stiffness[static_cast<std::size_t>((kStatic + k) * (columns + 1))] = omega * omega;
  }
  b.DistributionForType(pfm::types::ReducedStiffness(),
                        b.AddDistribution(columns, columns, modeSet, modeSet, stiffness));
  b.StaticModes(kStatic).Attribute(pfm::attributes::kUnitLength, "mm");
  b.Attribute(pfm::attributes::kUnitTime, "s");
  int label = 1;
  for (const std::vector<int>& element : uma::sample::BlockElements(shape))
    b.AddMeshElement(label++, "C3D20", element);
  p.model = p.dir.File("plate.uma");
  p.vtu = p.dir.File("plate.vtu");
  pfm::SaveModel(b, p.model);
}

long long FileBytes(const std::string& path) {
  struct stat s {};
  return stat(path.c_str(), &s) == 0 ? static_cast<long long>(s.st_size) : 0;
}

void WriteVtu(benchmark::State& state) {
  Plate& p = TheModel();
  int count = 0;
  QOBSspUmaCore_initialize(count);
  for (auto _ : state) {
    uma::inspect::VtuSummary summary;
    std::string failure = uma::inspect::WriteVtu(p.model, p.vtu, summary);
    if (!failure.empty()) state.SkipWithError(failure.c_str());
  }
  QOBSspUmaCore_finalize(count);
  p.fileBytes = FileBytes(p.vtu);
  state.counters["dofs"] = p.dofs;
  state.counters["file_MB"] = static_cast<double>(p.fileBytes) / 1e6;
  state.SetBytesProcessed(state.iterations() * p.fileBytes);
}

// Anchor: the mode matrix's columns read through the library, one at a time.
void ReadModeColumns(benchmark::State& state) {
  Plate& p = TheModel();
  int count = 0;
  QOBSspUmaCore_initialize(count);
  {
    uma_System system(p.model.c_str(), false);
    std::unique_ptr<const uma_Matrix> modes(system.Matrix(pfm::types::ModeMatrix(), 0));
    std::vector<double> column(static_cast<std::size_t>(p.dofs));
    for (auto _ : state) {
      for (int c = 0; c < modes->NumColumns(); ++c) {
        uma_IncoreMatrix block(p.dofs, 1, column.data());
        modes->GetValues(0, p.dofs - 1, c, c, block);
      }
      benchmark::DoNotOptimize(column.data());
    }
  }
  QOBSspUmaCore_finalize(count);
  state.SetBytesProcessed(state.iterations() * p.fileBytes);
}

// Anchor: as many bytes as the file holds, written with fwrite in 1 MiB pieces.
void WriteBytes(benchmark::State& state) {
  Plate& p = TheModel();
  const std::vector<char> piece(1 << 20, 'x');
  const std::string path = p.dir.File("bytes.bin");
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    for (long long left = p.fileBytes; left > 0; left -= static_cast<long long>(piece.size()))
      std::fwrite(piece.data(), 1, static_cast<std::size_t>(std::min<long long>(left, 1 << 20)), f);
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * p.fileBytes);
}

// The tool as a user runs it: wall time and peak memory of its own process.
void UmaInspectProcess(benchmark::State& state) {
  Plate& p = TheModel();
  uma::bench::Run run;
  for (auto _ : state) {
    run = uma::bench::Spawn({UMA_INSPECT, "--vtu", p.vtu, p.model});
    if (run.status != 0) state.SkipWithError("uma-inspect --vtu failed");
    state.SetIterationTime(run.seconds);
  }
  p.fileBytes = FileBytes(p.vtu);
  state.counters["peak_MB"] = run.peakMegabytes;
  state.counters["modes_MB"] = 8.0 * p.dofs * (kStatic + kDynamic) / 1e6;
}

// The process runs first, while this program is small: a child's peak memory counts the
// parent's pages until it starts the tool.
BENCHMARK(UmaInspectProcess)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(WriteVtu)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ReadModeColumns)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(WriteBytes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SaveModel(TheModel());
  uma::bench::RatioReporter reporter({{"WriteVtu/iterations:3", "ReadModeColumns/iterations:3"},
                                      {"WriteVtu/iterations:3", "WriteBytes/iterations:3"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
