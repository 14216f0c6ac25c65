// Frames of straight 3-D Euler-Bernoulli beams assembled as full models.
#include "reduce_Frame.h"

#include <Eigen/Dense>
#include <cmath>
#include <stdexcept>

namespace uma::reduce {

namespace {

using Matrix12 = Eigen::Matrix<double, 12, 12>;

// Stiffness in local axes; dofs per node ux uy uz rx ry rz.
Matrix12 LocalStiffness(const BeamSection& s, double L) {
  Matrix12 k = Matrix12::Zero();
  const double ea = s.youngs * s.area / L, gj = s.shear * s.torsion / L;
  k(0, 0) = k(6, 6) = ea;
  k(0, 6) = -ea;
  k(3, 3) = k(9, 9) = gj;
  k(3, 9) = -gj;
  // Bending in the x-y plane (uy, rz), about local z.
  const double z = s.youngs * s.iz;
  k(1, 1) = k(7, 7) = 12 * z / (L * L * L);
  k(1, 7) = -12 * z / (L * L * L);
  k(1, 5) = k(1, 11) = 6 * z / (L * L);
  k(5, 7) = k(7, 11) = -6 * z / (L * L);
  k(5, 5) = k(11, 11) = 4 * z / L;
  k(5, 11) = 2 * z / L;
  // Bending in the x-z plane (uz, ry), about local y: rotation signs flip.
  const double y = s.youngs * s.iy;
  k(2, 2) = k(8, 8) = 12 * y / (L * L * L);
  k(2, 8) = -12 * y / (L * L * L);
  k(2, 4) = k(2, 10) = -6 * y / (L * L);
  k(4, 8) = k(8, 10) = 6 * y / (L * L);
  k(4, 4) = k(10, 10) = 4 * y / L;
  k(4, 10) = 2 * y / L;
  return k.selfadjointView<Eigen::Upper>();
}

// Consistent mass in local axes, with the torsional inertia of the polar moment.
Matrix12 LocalMass(const BeamSection& s, double L) {
  Matrix12 m = Matrix12::Zero();
  const double mass = s.density * s.area * L, polar = s.density * (s.iy + s.iz) * L;
  m(0, 0) = m(6, 6) = mass / 3;
  m(0, 6) = mass / 6;
  m(3, 3) = m(9, 9) = polar / 3;
  m(3, 9) = polar / 6;
  const double c = mass / 420;
  m(1, 1) = m(7, 7) = 156 * c;
  m(1, 7) = 54 * c;
  m(1, 5) = 22 * L * c;
  m(1, 11) = -13 * L * c;
  m(5, 7) = 13 * L * c;
  m(7, 11) = -22 * L * c;
  m(5, 5) = m(11, 11) = 4 * L * L * c;
  m(5, 11) = -3 * L * L * c;
  m(2, 2) = m(8, 8) = 156 * c;
  m(2, 8) = 54 * c;
  m(2, 4) = -22 * L * c;
  m(2, 10) = 13 * L * c;
  m(4, 8) = -13 * L * c;
  m(8, 10) = 22 * L * c;
  m(4, 4) = m(10, 10) = 4 * L * L * c;
  m(4, 10) = -3 * L * L * c;
  return m.selfadjointView<Eigen::Upper>();
}

}  // namespace

BeamSection BeamSection::SteelRectangle(double width, double height) {
  BeamSection s;
  s.youngs = 210e9;
  s.shear = s.youngs / (2 * (1 + 0.3));
  s.density = 7850;
  s.area = width * height;
  s.iy = width * height * height * height / 12;
  s.iz = height * width * width * width / 12;
  // Torsion constant of a solid rectangle, long side a, short side b.
  const double a = std::max(width, height), b = std::min(width, height);
  s.torsion = a * b * b * b * (1.0 / 3 - 0.21 * (b / a) * (1 - std::pow(b / a, 4) / 12));
  return s;
}

int Frame::AddNode(int label, double x, double y, double z) {
  NodeRow n;
  n.label = label;
  n.x = x;
  n.y = y;
  n.z = z;
  if (!m_index.emplace(label, static_cast<int>(m_nodes.size())).second)
    throw std::invalid_argument("node " + std::to_string(label) + " is in the frame twice");
  m_nodes.push_back(n);
  return static_cast<int>(m_nodes.size()) - 1;
}

int Frame::IndexOf(int label) const {
  auto it = m_index.find(label);
  if (it != m_index.end()) return it->second;
  throw std::invalid_argument("no node " + std::to_string(label) + " in the frame");
}

void Frame::AddBeam(int labelA, int labelB, const BeamSection& section) {
  m_beams.push_back({IndexOf(labelA), IndexOf(labelB), section});
}

FullModel Frame::Assemble(bool lumpedMass) const {
  FullModel model;
  model.nodes = m_nodes;
  const int n = static_cast<int>(m_nodes.size()) * 6;
  for (const NodeRow& node : m_nodes)
    for (int l = 1; l <= 6; ++l) model.dofs.push_back({node.label, l, 0});

  std::vector<Eigen::Triplet<double, int>> kt, mt;
  kt.reserve(m_beams.size() * 144);
  mt.reserve(m_beams.size() * 144);
  for (const Beam& beam : m_beams) {
    const NodeRow &a = m_nodes[static_cast<std::size_t>(beam.a)],
                  &b = m_nodes[static_cast<std::size_t>(beam.b)];
    Eigen::Vector3d ex(b.x - a.x, b.y - a.y, b.z - a.z);
    const double L = ex.norm();
    if (!(L > 0)) throw std::invalid_argument("a beam of zero length");
    ex /= L;
    Eigen::Vector3d up =
        std::abs(ex.z()) > 0.99 ? Eigen::Vector3d::UnitY() : Eigen::Vector3d::UnitZ();
    Eigen::Vector3d ez = (up - up.dot(ex) * ex).normalized();
    Eigen::Vector3d ey = ez.cross(ex);
    Eigen::Matrix3d r;
    r.row(0) = ex;
    r.row(1) = ey;
    r.row(2) = ez;
    Matrix12 t = Matrix12::Zero();
    for (int i = 0; i < 4; ++i) t.block<3, 3>(3 * i, 3 * i) = r;
    const Matrix12 k = t.transpose() * LocalStiffness(beam.section, L) * t;
    Matrix12 m = t.transpose() * LocalMass(beam.section, L) * t;
    if (lumpedMass) {
      m.setZero();
      for (int i : {0, 1, 2, 6, 7, 8}) m(i, i) = beam.section.density * beam.section.area * L / 2;
    }
    int at[12];
    for (int i = 0; i < 6; ++i) {
      at[i] = beam.a * 6 + i;
      at[6 + i] = beam.b * 6 + i;
    }
    for (int j = 0; j < 12; ++j)
      for (int i = 0; i < 12; ++i) {
        if (k(i, j) != 0.0) kt.emplace_back(at[i], at[j], k(i, j));
        if (m(i, j) != 0.0) mt.emplace_back(at[i], at[j], m(i, j));
      }
  }
  model.stiffness.resize(n, n);
  model.stiffness.setFromTriplets(kt.begin(), kt.end());
  model.mass.resize(n, n);
  model.mass.setFromTriplets(mt.begin(), mt.end());
  model.stiffness.makeCompressed();
  model.mass.makeCompressed();
  model.loads.resize(n, 0);
  return model;
}

Frame StraightBeam(double length, int elements, const BeamSection& section, int firstLabel) {
  Frame frame;
  for (int i = 0; i <= elements; ++i) frame.AddNode(firstLabel + i, length * i / elements, 0, 0);
  for (int i = 0; i < elements; ++i) frame.AddBeam(firstLabel + i, firstLabel + i + 1, section);
  return frame;
}

Frame BeamGrid(int nx, int ny, double spacing, const BeamSection& section) {
  Frame frame;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) frame.AddNode(1 + i + nx * j, spacing * i, spacing * j, 0);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      if (i + 1 < nx) frame.AddBeam(1 + i + nx * j, 2 + i + nx * j, section);
      if (j + 1 < ny) frame.AddBeam(1 + i + nx * j, 1 + i + nx * (j + 1), section);
    }
  return frame;
}

}  // namespace uma::reduce
