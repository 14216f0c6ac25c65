// Model data helpers: type indices of member kinds, in-memory values, the default commit.
#include "pfm_Model.h"

#include <cstring>

#include "QOBBasCoreUtils.h"
#include "QOBSimAPI.h"

int ads_CoreFragmentTypeIndex(int major, int minor) {
  // Unsigned arithmetic: any pair gives a defined value.
  return static_cast<int>(static_cast<unsigned>(major) * 1000u + static_cast<unsigned>(minor));
}

namespace pfm {

int DofPositionType() { return ads_CoreFragmentTypeIndex(31, 3); }
int ModePositionType() { return ads_CoreFragmentTypeIndex(10, 14); }
int NodePositionType() { return ads_CoreFragmentTypeIndex(31, 58); }
int ElementPositionType() { return ads_CoreFragmentTypeIndex(31, 15); }

MemberKind KindOfPositionType(int positionType) {
  if (positionType == DofPositionType()) return MemberKind::Dof;
  if (positionType == ModePositionType()) return MemberKind::Mode;
  if (positionType == NodePositionType()) return MemberKind::Node;
  if (positionType == ElementPositionType()) return MemberKind::Element;
  return MemberKind::Other;
}

int PositionTypeOf(MemberKind kind) {
  switch (kind) {
    case MemberKind::Dof:
      return DofPositionType();
    case MemberKind::Mode:
      return ModePositionType();
    case MemberKind::Node:
      return NodePositionType();
    case MemberKind::Element:
      return ElementPositionType();
    case MemberKind::Other:
      break;
  }
  return ads_CoreFragmentTypeIndex(99, 1);
}

namespace {
void CheckBlock(int rows, std::size_t size, int r0, int nr, int c0, int nc) {
  if (r0 < 0 || nr < 0 || c0 < 0 || nc < 0 || r0 + static_cast<long long>(nr) > rows ||
      (static_cast<long long>(c0) + nc) * rows > static_cast<long long>(size))
    throw QOBBasError("stored values: block outside the matrix");
}
}  // namespace

void MemoryValues::CopyBlock(const double* values, int rows, int r0, int nr, int c0, int nc,
                             double* out, std::int64_t ld) {
  if (nr <= 0) return;
  for (int c = 0; c < nc; ++c)
    std::memmove(out + c * ld, values + r0 + static_cast<std::int64_t>(c0 + c) * rows,
                 sizeof(double) * static_cast<std::size_t>(nr));
}

void MemoryValues::PutBlock(double* values, int rows, int r0, int nr, int c0, int nc,
                            const double* in, std::int64_t ld) {
  if (nr <= 0) return;
  for (int c = 0; c < nc; ++c)
    std::memmove(values + r0 + static_cast<std::int64_t>(c0 + c) * rows, in + c * ld,
                 sizeof(double) * static_cast<std::size_t>(nr));
}

void MemoryValues::Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const {
  CheckBlock(m_rows, m_values.size(), r0, nr, c0, nc);
  CopyBlock(m_values.data(), m_rows, r0, nr, c0, nc, out, ld);
}

void MemoryValues::Write(int r0, int nr, int c0, int nc, const double* in, std::int64_t ld) {
  CheckBlock(m_rows, m_values.size(), r0, nr, c0, nc);
  PutBlock(m_values.data(), m_rows, r0, nr, c0, nc, in, ld);
}

void ViewValues::Read(int r0, int nr, int c0, int nc, double* out, std::int64_t ld) const {
  if (r0 < 0 || nr < 0 || c0 < 0 || nc < 0 || static_cast<std::int64_t>(r0) + nr > m_ld)
    throw QOBBasError("stored values: block outside the matrix");
  for (int c = 0; c < nc && nr > 0; ++c)
    std::memmove(out + c * ld, m_values + r0 + static_cast<std::int64_t>(c0 + c) * m_ld,
                 sizeof(double) * static_cast<std::size_t>(nr));
}

void ViewValues::Write(int, int, int, int, const double*, std::int64_t) {
  throw QOBBasError("stored values: a view of a program's memory cannot be written");
}

void ModelBacking::Commit(Model& model, const Overlay& changes) {
  for (const auto& [index, columns] : changes) {
    Distribution& d = model.system.distributions.at(static_cast<std::size_t>(index));
    for (const auto& [column, values] : columns)
      d.values->Write(0, d.rows, column, 1, values.data(), d.rows);
  }
}

}  // namespace pfm
