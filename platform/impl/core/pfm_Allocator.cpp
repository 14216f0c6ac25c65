// The platform allocator: malloc with a small header that records each block's size, so that
// live blocks and bytes can be counted, and a failure that tests can inject.
#include <cstdlib>
#include <new>
#include <string>

#include "QOBBasCoreUtils.h"
#include "pfm_Observe.h"

namespace {

// Keeps the user block 16-byte aligned, as malloc's own blocks are.
struct alignas(16) BlockHeader {
  std::size_t bytes;
};

pfm::AllocationStats g_stats;
long long g_failAt = 0;  // countdown to an injected failure; 0 when off

// The request that callers make when a size does not fit in 32 bits; never met.
constexpr std::size_t kRefusedRequest = 0xFFFFFFFFu;

void* Allocate(std::size_t bytes) {
  g_stats.lastRequest = bytes;
  if (g_failAt > 0 && --g_failAt == 0) throw QOBBasOutOfMemory(bytes);
  if (bytes == kRefusedRequest || bytes > SIZE_MAX - sizeof(BlockHeader))
    throw QOBBasOutOfMemory(bytes);
  void* raw = std::malloc(sizeof(BlockHeader) + bytes);
  if (!raw) throw QOBBasOutOfMemory(bytes);
  static_cast<BlockHeader*>(raw)->bytes = bytes;
  ++g_stats.liveBlocks;
  ++g_stats.allocations;
  g_stats.liveBytes += static_cast<long long>(bytes);
  return static_cast<BlockHeader*>(raw) + 1;
}

}  // namespace

QOBBasOutOfMemory::QOBBasOutOfMemory(std::size_t bytes)
    : QOBBasError("out of memory: a request of " + std::to_string(bytes) + " bytes was refused"),
      m_bytes(bytes) {}

void* mem_OperatorNewThrow(std::size_t bytes) { return Allocate(bytes); }

void* mem_OperatorNewThrowBuiltin(std::size_t bytes) { return Allocate(bytes); }

void mem_Free(void* block) {
  if (!block) return;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  --g_stats.liveBlocks;
  ++g_stats.frees;
  g_stats.liveBytes -= static_cast<long long>(header->bytes);
  std::free(header);
}

namespace pfm {

AllocationStats Allocation() { return g_stats; }

void FailAllocationAt(long long n) { g_failAt = n > 0 ? n : 0; }

}  // namespace pfm
