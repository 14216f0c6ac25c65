// Small CalculiX decks of steel parts in SI or in mm, t, s, N, for the reduction's tests.
#include "uma_CalculixDecks.h"

#include <array>
#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

namespace uma::sample {

const DeckUnits kSI = {"m,kg,s,N", 1.0, 210e9, 7850.0};
const DeckUnits kMillimetre = {"mm,t,s,N", 1000.0, 210000.0, 7.85e-9};

namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.14g", v);
  return text;
}

// Nodes by position on a grid of spacing `step` (metres), labelled in the order they are asked.
class Nodes {
 public:
  Nodes(const DeckUnits& u, double step) : m_u(u), m_step(step) {}

  int At(int i, int j, int k) {
    auto [it, added] = m_labels.emplace(std::array<int, 3>{i, j, k}, 0);
    if (added) {
      it->second = static_cast<int>(m_lines.size()) + 1;
      m_lines.push_back(std::to_string(it->second) + ", " + Number(i * m_step * m_u.length) + ", " +
                        Number(j * m_step * m_u.length) + ", " + Number(k * m_step * m_u.length));
    }
    return it->second;
  }

  std::string Text() const {
    std::string out = "*NODE, NSET=NALL\n";
    for (const std::string& line : m_lines) out += line + "\n";
    return out;
  }

  // Labels of the nodes asked for whose position passes `keep`.
  template <class Keep>
  std::vector<int> Where(Keep keep) const {
    std::vector<int> out;
    for (const auto& [ijk, label] : m_labels)
      if (keep(ijk[0], ijk[1], ijk[2])) out.push_back(label);
    return out;
  }

 private:
  const DeckUnits& m_u;
  double m_step;
  std::map<std::array<int, 3>, int> m_labels;
  std::vector<std::string> m_lines;
};

std::string Set(const char* keyword, const char* name, const std::vector<int>& labels) {
  std::string out = std::string("*") + keyword + ", " + keyword + "=" + name + "\n";
  for (std::size_t i = 0; i < labels.size(); ++i)
    out += std::to_string(labels[i]) + (i + 1 == labels.size() || i % 12 == 11 ? "\n" : ", ");
  return out;
}

std::string Elements(const char* type, const std::vector<std::vector<int>>& elements) {
  std::string out = std::string("*ELEMENT, TYPE=") + type + ", ELSET=EALL\n";
  for (std::size_t e = 0; e < elements.size(); ++e) {
    out += std::to_string(e + 1);
    // Sixteen entries a line at most, as CalculiX continues long elements on the next line.
    for (std::size_t k = 0; k < elements[e].size(); ++k)
      out += (k == 15 ? ",\n" : ", ") + std::to_string(elements[e][k]);
    out += "\n";
  }
  return out;
}

std::string Steel(const DeckUnits& u) {
  return "*MATERIAL, NAME=STEEL\n*ELASTIC\n" + Number(u.youngs) + ", 0.3\n*DENSITY\n" +
         Number(u.density) + "\n";
}

std::string Extra(const DeckUnits& u, int label, double x, double y, double z) {
  return std::to_string(label) + ", " + Number(x * u.length) + ", " + Number(y * u.length) + ", " +
         Number(z * u.length) + "\n";
}

}  // namespace

std::string SolidBarDeck(const DeckUnits& u) {
  const double h = 0.01;  // half the cube's side: corner nodes at even grid indices
  Nodes nodes(u, h);
  // Each cube splits into six tetrahedra around its diagonal from corner 0 to corner 6, which
  // matches from cube to cube.
  static const int kCorner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                    {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  static const int kTets[6][4] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                  {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
  static const int kEdges[6][2] = {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {1, 3}, {2, 3}};
  std::vector<std::vector<int>> tets;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k)
        for (const auto& tet : kTets) {
          std::array<std::array<int, 3>, 4> p;
          for (int c = 0; c < 4; ++c)
            for (int d = 0; d < 3; ++d)
              p[c][d] = 2 * ((d == 0 ? i : d == 1 ? j : k) + kCorner[tet[c]][d]);
          // A positive volume, as CalculiX wants: swap two corners otherwise.
          long long a[3], b[3], c[3];
          for (int d = 0; d < 3; ++d) {
            a[d] = p[1][d] - p[0][d];
            b[d] = p[2][d] - p[0][d];
            c[d] = p[3][d] - p[0][d];
          }
          const long long volume = a[0] * (b[1] * c[2] - b[2] * c[1]) -
                                   a[1] * (b[0] * c[2] - b[2] * c[0]) +
                                   a[2] * (b[0] * c[1] - b[1] * c[0]);
          if (volume < 0) std::swap(p[1], p[2]);
          std::vector<int> e;
          for (const auto& q : p) e.push_back(nodes.At(q[0], q[1], q[2]));
          for (const auto& edge : kEdges)
            e.push_back(nodes.At((p[edge[0]][0] + p[edge[1]][0]) / 2,
                                 (p[edge[0]][1] + p[edge[1]][1]) / 2,
                                 (p[edge[0]][2] + p[edge[1]][2]) / 2));
          tets.push_back(e);
        }
  return "** a steel bar of C3D10 tetrahedra\n" + nodes.Text() + Elements("C3D10", tets) +
         Set("NSET", "END", nodes.Where([](int i, int, int) { return i == 0; })) + Steel(u) +
         "*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n";
}

std::string ShellPlateDeck(const DeckUnits& u) {
  const double h = 0.2 / 12;  // half an element
  Nodes nodes(u, h);
  std::vector<std::vector<int>> quads;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 3; ++j) {
      const int x = 2 * i, y = 2 * j;
      quads.push_back({nodes.At(x, y, 0), nodes.At(x + 2, y, 0), nodes.At(x + 2, y + 2, 0),
                       nodes.At(x, y + 2, 0), nodes.At(x + 1, y, 0), nodes.At(x + 2, y + 1, 0),
                       nodes.At(x + 1, y + 2, 0), nodes.At(x, y + 1, 0)});
    }
  return "** a steel plate of S8 shells\n" + nodes.Text() + Extra(u, 9001, 0, 0.05, 0) +
         Extra(u, 9002, 0, 0.05, 0) + Elements("S8", quads) +
         Set("NSET", "CLAMP", nodes.Where([](int i, int, int) { return i <= 2; })) + Steel(u) +
         "*SHELL SECTION, ELSET=EALL, MATERIAL=STEEL\n" + Number(0.004 * u.length) +
         "\n*RIGID BODY, NSET=CLAMP, REF NODE=9001, ROT NODE=9002\n";
}

std::string FrameDeck(const DeckUnits& u) {
  const double h = 0.2 / 8;
  Nodes nodes(u, h);
  std::vector<std::vector<int>> beams;
  for (int e = 0; e < 4; ++e)
    beams.push_back({nodes.At(2 * e, 0, 0), nodes.At(2 * e + 1, 0, 0), nodes.At(2 * e + 2, 0, 0)});
  for (int e = 0; e < 4; ++e)
    beams.push_back({nodes.At(8, 2 * e, 0), nodes.At(8, 2 * e + 1, 0), nodes.At(8, 2 * e + 2, 0)});
  return "** a steel L-frame of B32 beams\n" + nodes.Text() + Elements("B32", beams) +
         Set("NSET", "CORNER", {nodes.At(8, 0, 0)}) + Set("NSET", "TIP", {nodes.At(8, 8, 0)}) +
         Steel(u) + "*BEAM SECTION, ELSET=EALL, MATERIAL=STEEL, SECTION=RECT\n" +
         Number(0.02 * u.length) + ", " + Number(0.02 * u.length) + "\n0, 0, 1\n";
}

std::string RigidBlockDeck(const DeckUnits& u, bool rigidBody) {
  const double h = 0.0075;
  Nodes nodes(u, h);
  std::vector<std::vector<int>> bricks;
  // C3D20: corners of the face z-, then of the face z+, then the midsides of those faces, then
  // the midsides of the edges between them.
  static const int kNodes[20][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {0, 0, 2},
                                    {2, 0, 2}, {2, 2, 2}, {0, 2, 2}, {1, 0, 0}, {2, 1, 0},
                                    {1, 2, 0}, {0, 1, 0}, {1, 0, 2}, {2, 1, 2}, {1, 2, 2},
                                    {0, 1, 2}, {0, 0, 1}, {2, 0, 1}, {2, 2, 1}, {0, 2, 1}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k) {
        std::vector<int> e;
        for (const auto& n : kNodes)
          e.push_back(nodes.At(2 * i + n[0], 2 * j + n[1], 2 * k + n[2]));
        bricks.push_back(e);
      }
  std::string deck = "** a steel block of C3D20 bricks\n" + nodes.Text() +
                     Extra(u, 9001, 0, 0.015, 0.015) + Extra(u, 9002, 0, 0.015, 0.015) +
                     Elements("C3D20", bricks) +
                     Set("NSET", "FACE", nodes.Where([](int i, int, int) { return i == 0; })) +
                     Steel(u) + "*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n";
  if (rigidBody) deck += "*RIGID BODY, NSET=FACE, REF NODE=9001, ROT NODE=9002\n";
  return deck;
}

}  // namespace uma::sample
