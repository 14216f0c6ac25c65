// The node bit vector.
#include "QOBBasCoreUtils.h"

int omi_BlkBitVect::Count() const {
  int n = 0;
  for (std::uint64_t w : m_words) n += __builtin_popcountll(w);
  return n;
}

bool omi_BlkBitVect::Test(int bit) const {
  if (bit < 0 || bit >= m_size) return false;
  return (m_words[static_cast<std::size_t>(bit) / 64] >> (bit % 64)) & 1u;
}

void omi_BlkBitVect::Set(int bit, bool value) {
  if (bit < 0) return;
  if (bit >= m_size) {
    m_size = bit + 1;
    m_words.resize((static_cast<std::size_t>(m_size) + 63) / 64, 0);
  }
  std::uint64_t mask = std::uint64_t{1} << (bit % 64);
  std::uint64_t& word = m_words[static_cast<std::size_t>(bit) / 64];
  word = value ? (word | mask) : (word & ~mask);
}
