// Set mapping of a 1,000,000-member set, for each mapping, beside a memcpy of the 4 MB answer.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "QOBSspUmaCore.h"
#include "pfm_ModelBuilder.h"
#include "uma_ArrayInt.h"
#include "uma_System.h"

namespace {

constexpr int kMembers = 1000000;

// One model with a set of each kind, all of kMembers members in scrambled order.
struct BigSets {
  BigSets() {
    int count = 0;
    QOBSspUmaCore_initialize(count);
    pfm::ModelBuilder b("big-sets");
    for (int i = 1; i <= kMembers; ++i) {
      b.AddNode(100000 + i);
      b.AddDof(i, 1 + i % 6);
      b.AddMode(200000 + i, i % 6);
      b.AddElement(300000 + i);
    }
    std::vector<int> order(kMembers);
    std::iota(order.begin(), order.end(), 1);
    int kinds[] = {b.AddSet(pfm::MemberKind::Dof, order), b.AddSet(pfm::MemberKind::Mode, order),
                   b.AddSet(pfm::MemberKind::Node, order),
                   b.AddSet(pfm::MemberKind::Element, order)};
    for (int k = 0; k < 4; ++k) b.SetForType(ads_CoreFragmentTypeIndex(20, 200 + k), kinds[k]);
    b.Register();
    system = std::make_unique<uma_System>("big-sets", false);
  }
  std::unique_ptr<uma_System> system;
};

BigSets& Sets() {
  static BigSets sets;
  return sets;
}

// kind: 0 dofs, 1 modes, 2 nodes, 3 elements.
void BM_MapCSet(benchmark::State& state, int kind, uma_Enum::uma_MapTypeEnum type) {
  uma_System& system = *Sets().system;
  for (auto _ : state) {
    std::unique_ptr<uma_ArrayInt> a(
        system.MapCSet(ads_CoreFragmentTypeIndex(20, 200 + kind), type));
    benchmark::DoNotOptimize(a.get());
  }
  state.SetBytesProcessed(state.iterations() * kMembers * 4);
}

void BM_Memcpy4MB(benchmark::State& state) {
  std::vector<int> from(kMembers, 1), to(kMembers);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kMembers * sizeof(int));
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kMembers * 4);
}

}  // namespace

BENCHMARK(BM_Memcpy4MB)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapCSet, Gdof2Node, 0, uma_Enum::uma_MapNode)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapCSet, Gdof2Ldof, 0, uma_Enum::uma_MapDof)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapCSet, Mode2Node, 1, uma_Enum::uma_MapNode)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapCSet, Mode2Ldof, 1, uma_Enum::uma_MapDof)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapCSet, Node2Node, 2, uma_Enum::uma_MapNode)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapCSet, Element2Element, 3, uma_Enum::uma_MapElement)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MapCSet, Internal, 2, uma_Enum::uma_MapInternal)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
