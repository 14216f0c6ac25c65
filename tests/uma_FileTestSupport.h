// Helpers for the model-file tests: what a system answers, file bytes and times.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "QOBMtxLinearAlgebra.h"
#include "pfm_TestAccess.h"
#include "uma_ArrayInt.h"
#include "uma_SampleModels.h"
#include "uma_StoredSamples.h"
#include "uma_System.h"
#include "uma_TestAccess.h"

namespace filetest {

inline std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Modification time in nanoseconds.
inline long long MTime(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

// A block of a stored distribution of an open session, read through the platform's dense
// matrix, column by column.
inline std::vector<double> Block(int session, int distribution, int r0, int r1, int c0, int c1) {
  QOBSrvDenseMatrix dense(pfm::ids::Distribution(session, distribution));
  QOBSrvMatrix out(r1 - r0 + 1, c1 - c0 + 1, nullptr, false, false);
  dense.GetValues(r0, r1, c0, c1, out);
  return std::vector<double>(out.m_values,
                             out.m_values + static_cast<std::size_t>(out.m_rows) * out.m_columns);
}

inline std::string Hex(const std::vector<double>& values) {
  std::ostringstream o;
  for (double v : values) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    o << std::hex << bits << ' ';
  }
  return o.str();
}

inline std::string Labels(const uma_ArrayInt* a) {
  if (!a) return "null";
  std::ostringstream o;
  for (int i = 0; i < a->Size(); ++i) o << (*a)[i] << ' ';
  delete a;
  return o.str();
}

// Everything a system answers through the library and the platform's dense matrices, as text:
// counts, the sets of the given set types in every mapping, and each distribution's size, row
// and column labels and values bit for bit.
inline std::string Digest(const uma_System& s, const std::vector<int>& setTypes,
                          int distributions) {
  std::ostringstream o;
  o << "null " << s.IsNull() << " type " << s.Type() << " loads " << s.NumLoads() << " static "
    << s.NumStaticModes() << '\n';
  const int session = uma_TestAccess::Session(s);
  for (int type : setTypes)
    for (int kind = 0; kind <= 4; ++kind)
      o << "set " << type << '/' << kind << ": "
        << Labels(s.MapCSet(type, static_cast<uma_Enum::uma_MapTypeEnum>(kind))) << '\n';
  for (int d = 0; d < distributions && !s.IsNull(); ++d) {
    QOBSrvDenseMatrix dense(pfm::ids::Distribution(session, d));
    int rows = dense.NumberOfRows(), columns = dense.NumberOfColumns();
    o << "matrix " << d << ' ' << rows << 'x' << columns << '\n';
    for (int kind = 0; kind <= 4; ++kind) {
      auto k = static_cast<uma_Enum::uma_MapTypeEnum>(kind);
      o << "  rows/" << kind << ": " << Labels(s.MapCSet(dense.RowCSet(), k)) << '\n';
      o << "  columns/" << kind << ": " << Labels(s.MapCSet(dense.ColumnCSet(), k)) << '\n';
    }
    if (rows > 0 && columns > 0)
      o << "  " << Hex(Block(session, d, 0, rows - 1, 0, columns - 1)) << '\n';
  }
  return o.str();
}

// The set types uma::sample::EveryFeature labels, and one it does not.
inline std::vector<int> SampleSetTypes() {
  return {uma::sample::ASetCSetType(), uma::sample::ASetNodeCSetType(), uma::sample::ElementCSetType(),
          uma::sample::OtherCSetType(), 12345};
}

}  // namespace filetest
