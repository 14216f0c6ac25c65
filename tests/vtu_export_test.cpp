// The model written for a viewer (uma-inspect --vtu), read back with VTK's own reader: cells as
// VTK draws them, mode columns as displacement fields bit for bit, and models it cannot show
// refused with nothing written.
#include <dirent.h>
#include <sqlite3.h>
#include <vtkCell.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkFieldData.h>
#include <vtkIntArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkStringArray.h>
#include <vtkUnstructuredGrid.h>
#include <vtkXMLUnstructuredGridReader.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_FileTestSupport.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"
#include "inspect_VtuExport.h"

namespace {

using Point = std::array<double, 3>;

struct Element {
  int label;
  std::string type;
  std::vector<Point> corners;
  std::vector<std::pair<int, int>> midsides;  // CalculiX's midside nodes: the corners (from 1)
  int vtkType;
};

// Elements of positive volume in CalculiX's node order, its midside nodes listed as CalculiX
// numbers them.
std::vector<Element> CalculixElements() {
  const std::vector<Point> tet{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const std::vector<Point> wedge{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
  const std::vector<Point> hex{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                               {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  const std::vector<Point> tri{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const std::vector<Point> quad{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  return {
      {1, "C3D4", tet, {}, 10},
      {2, "C3D6", wedge, {}, 13},
      {3, "C3D8", hex, {}, 12},
      {4, "C3D10", tet, {{1, 2}, {2, 3}, {3, 1}, {1, 4}, {2, 4}, {3, 4}}, 24},
      {5,
       "C3D15",
       wedge,
       {{1, 2}, {2, 3}, {3, 1}, {4, 5}, {5, 6}, {6, 4}, {1, 4}, {2, 5}, {3, 6}},
       26},
      {6,
       "C3D20R",
       hex,
       {{1, 2},
        {2, 3},
        {3, 4},
        {4, 1},
        {5, 6},
        {6, 7},
        {7, 8},
        {8, 5},
        {1, 5},
        {2, 6},
        {3, 7},
        {4, 8}},
       25},
      {7, "S3", tri, {}, 5},
      {8, "s4r", quad, {}, 9},  // names are taken in any case
      {9, "S6", tri, {{1, 2}, {2, 3}, {3, 1}}, 22},
      {10, "S8", quad, {{1, 2}, {2, 3}, {3, 4}, {4, 1}}, 23},
      {11, "B31", {{0, 0, 0}, {1, 0, 0}}, {}, 3},
      {12, "B32", {{0, 0, 0}, {1, 0, 0}}, {{1, 2}}, 21},  // the middle node is listed second
      {13, "MASS", {{0, 0, 0}}, {}, 1},
  };
}

// Node labels of each element's nodes in CalculiX's order (a B32's middle node second).
std::vector<int> NodesOf(const Element& e, int first) {
  std::vector<int> nodes;
  const int count = static_cast<int>(e.corners.size() + e.midsides.size());
  for (int i = 0; i < count; ++i) nodes.push_back(first + i);
  if (e.type == "B32") std::swap(nodes[1], nodes[2]);
  return nodes;
}

class VtuExport : public UmaTest {
 public:
  // A model of `points` (label, x, y, z; internal labels listed), the mesh, and a mode matrix
  // over (node, ldof) rows with `columns` given column by column.
  struct Spec {
    std::vector<std::pair<int, Point>> points;
    std::vector<int> internal;
    std::vector<pfm::MeshElement> mesh;
    std::vector<std::pair<int, int>> dofs;
    std::vector<std::pair<int, int>> modes;  // static modes' (node, dof), then 900000000 + k
    std::vector<double> values;
    int staticModes = 0;
    std::vector<double> stiffness, mass;  // over the modes, column by column; may be empty
    std::vector<int> withoutCoordinates;  // nodes left out of the node coordinates
    bool coordinates = true;              // false: no node coordinates at all
  };

 protected:
  std::string Save(const Spec& s, const std::string& name = "model.uma",
                   int formatVersion = pfm::kModelFormatVersion) {
    pfm::ModelBuilder b(name);
    std::map<int, int> number;
    std::vector<int> nodes, dofs, modes;
    std::vector<double> xyz(3 * s.points.size());
    for (std::size_t i = 0; i < s.points.size(); ++i) {
      const auto& [label, x] = s.points[i];
      const bool internal =
          std::find(s.internal.begin(), s.internal.end(), label) != s.internal.end();
      nodes.push_back(number[label] = b.AddNode(label, internal));
      for (std::size_t a = 0; a < 3; ++a) xyz[i + a * s.points.size()] = x[a];
    }
    for (int label : s.withoutCoordinates) number[label] = b.AddNode(label);
    for (const auto& [node, ldof] : s.dofs) dofs.push_back(b.AddDof(number.at(node), ldof));
    for (const auto& [node, ldof] : s.modes) modes.push_back(b.AddMode(node, ldof));
    const int nodeSet = b.AddSet(pfm::MemberKind::Node, nodes);
    if (s.coordinates)
      b.NodeCoordinates(b.AddDistribution(static_cast<int>(nodes.size()), 3, nodeSet, -1, xyz));
    const int modeSet = b.AddSet(pfm::MemberKind::Mode, modes);
    const int n = static_cast<int>(modes.size());
    if (!dofs.empty())
      b.DistributionForType(
          pfm::types::ModeMatrix(),
          b.AddDistribution(static_cast<int>(dofs.size()), n, b.AddSet(pfm::MemberKind::Dof, dofs),
                            modeSet, s.values));
    if (!s.stiffness.empty())
      b.DistributionForType(pfm::types::ReducedStiffness(),
                            b.AddDistribution(n, n, modeSet, modeSet, s.stiffness));
    if (!s.mass.empty())
      b.DistributionForType(pfm::types::ReducedMass(),
                            b.AddDistribution(n, n, modeSet, modeSet, s.mass));
    b.StaticModes(s.staticModes).Attribute(pfm::attributes::kUnitLength, "mm");
    b.Attribute(pfm::attributes::kUnitTime, "s");
    for (const pfm::MeshElement& e : s.mesh) b.AddMeshElement(e.label, e.type, e.nodes);
    const std::string path = m_dir.File(name);
    pfm::SaveModel(b, path, formatVersion);
    return path;
  }

  vtkSmartPointer<vtkUnstructuredGrid> Read(const std::string& path) {
    vtkNew<vtkXMLUnstructuredGridReader> reader;
    reader->SetFileName(path.c_str());
    reader->Update();
    return reader->GetOutput();
  }

  // Runs the export expecting a refusal that says `reason`, and checks that the target kept its
  // content and that no other file appeared.
  void ExpectRefused(const std::string& model, const std::string& reason) {
    const std::string target = m_dir.File("out.vtu");
    filetest::WriteBytes(target, "an older file");
    std::vector<std::string> before = Files();
    uma::inspect::VtuSummary summary;
    std::string failure = uma::inspect::WriteVtu(model, target, summary);
    EXPECT_NE(failure.find(reason), std::string::npos) << failure;
    EXPECT_EQ(filetest::Bytes(target), "an older file");
    EXPECT_EQ(Files(), before);
  }

  // Every name in the test's folder: no temporary file may stay behind.
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    DIR* dir = opendir(m_dir.path().c_str());
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
  }

  uma::sample::TempDir m_dir;
};

TEST_F(VtuExport, ElementsBecomeTheCellsVtkDrawsThemAs) {
  Spec s;
  int next = 1;
  for (const Element& e : CalculixElements()) {
    std::vector<int> nodes = NodesOf(e, next);
    std::vector<Point> xs = e.corners;
    for (const auto& [a, b] : e.midsides) {
      const Point &p = e.corners[a - 1], &q = e.corners[b - 1];
      xs.push_back({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2});
    }
    if (e.type == "B32") std::swap(xs[1], xs[2]);
    for (std::size_t i = 0; i < xs.size(); ++i) s.points.push_back({nodes[i], xs[i]});
    s.mesh.push_back({e.label, e.type, nodes});
    next += static_cast<int>(nodes.size());
  }
  s.points.push_back({9001, {5, 5, 5}});  // in no element: a vertex of its own
  s.points.push_back({9002, {6, 5, 5}});  // the same, but internal: no cell
  s.internal = {9002};
  const std::string vtu = m_dir.File("mesh.vtu");
  uma::inspect::VtuSummary summary;
  ASSERT_EQ(uma::inspect::WriteVtu(Save(s), vtu, summary), "");
  EXPECT_EQ(summary.vertices, 1);
  EXPECT_EQ(summary.elementsByType.at("C3D20R"), 1);

  auto grid = Read(vtu);
  const std::vector<Element> elements = CalculixElements();
  ASSERT_EQ(grid->GetNumberOfCells(), static_cast<vtkIdType>(elements.size() + 1));
  auto* labels = vtkIntArray::SafeDownCast(grid->GetPointData()->GetArray("node label"));
  auto* elementLabels = vtkIntArray::SafeDownCast(grid->GetCellData()->GetArray("element label"));
  auto* types = vtkStringArray::SafeDownCast(grid->GetCellData()->GetAbstractArray("element type"));
  ASSERT_TRUE(labels && elementLabels && types);
  for (vtkIdType c = 0; c < static_cast<vtkIdType>(elements.size()); ++c) {
    const Element& e = elements[static_cast<std::size_t>(c)];
    SCOPED_TRACE(e.type);
    vtkCell* cell = grid->GetCell(c);
    EXPECT_EQ(cell->GetCellType(), e.vtkType);
    EXPECT_EQ(elementLabels->GetValue(c), e.label);
    EXPECT_EQ(types->GetValue(c), e.type);
    // The cell's nodes are the element's.
    std::vector<int> nodes;
    for (vtkIdType i = 0; i < cell->GetNumberOfPoints(); ++i)
      nodes.push_back(labels->GetValue(cell->GetPointId(i)));
    std::vector<int> expected = s.mesh[static_cast<std::size_t>(c)].nodes;
    std::sort(nodes.begin(), nodes.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(nodes, expected);
    // Each of VTK's quadratic edges has its middle node halfway between its ends.
    for (int k = 0; k < cell->GetNumberOfEdges(); ++k) {
      vtkCell* edge = cell->GetEdge(k);
      if (edge->GetNumberOfPoints() != 3) continue;
      double a[3], b[3], mid[3];
      edge->GetPoints()->GetPoint(0, a);
      edge->GetPoints()->GetPoint(1, b);
      edge->GetPoints()->GetPoint(2, mid);
      for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(mid[axis], (a[axis] + b[axis]) / 2);
    }
    // A solid's faces turn outwards, as VTK expects of a cell of positive volume.
    if (cell->GetCellDimension() == 3) {
      Point centre{};
      for (vtkIdType i = 0; i < cell->GetNumberOfPoints(); ++i)
        for (int axis = 0; axis < 3; ++axis)
          centre[static_cast<std::size_t>(axis)] +=
              cell->GetPoints()->GetPoint(i)[axis] / static_cast<double>(cell->GetNumberOfPoints());
      for (int f = 0; f < cell->GetNumberOfFaces(); ++f) {
        vtkCell* face = cell->GetFace(f);
        double p[3][3], faceCentre[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i) face->GetPoints()->GetPoint(i, p[i]);
        for (vtkIdType i = 0; i < face->GetNumberOfPoints(); ++i)
          for (int axis = 0; axis < 3; ++axis)
            faceCentre[axis] += face->GetPoints()->GetPoint(i)[axis] /
                                static_cast<double>(face->GetNumberOfPoints());
        const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
        const double v[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
        const double normal[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                  u[0] * v[1] - u[1] * v[0]};
        double outwards = 0;
        for (int axis = 0; axis < 3; ++axis)
          outwards += normal[axis] * (faceCentre[axis] - centre[static_cast<std::size_t>(axis)]);
        EXPECT_GT(outwards, 0) << "face " << f;
      }
    }
  }
  vtkCell* vertex = grid->GetCell(static_cast<vtkIdType>(elements.size()));
  EXPECT_EQ(vertex->GetCellType(), 1);
  EXPECT_EQ(labels->GetValue(vertex->GetPointId(0)), 9001);
  EXPECT_EQ(elementLabels->GetValue(static_cast<vtkIdType>(elements.size())), 0);
}

// Bit patterns, so that -0.0 and NaN count.
std::uint64_t Bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

TEST_F(VtuExport, ModeColumnsAreDisplacementFieldsBitForBit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Spec s;
  s.points = {{11, {0, 0, 0}}, {12, {1, 0, 0}}, {13, {2, 0, 0}}, {14, {3, 0, 0}}};
  s.internal = {13};
  // Node 11 carries six dofs, 12 three and a generalised coordinate, 13 translations, 14 none.
  s.dofs = {{11, 1}, {11, 2}, {11, 3}, {11, 4}, {11, 5}, {11, 6}, {12, 3},
            {12, 1}, {12, 2}, {12, 7}, {13, 1}, {13, 2}, {13, 3}};
  s.modes = {{11, 1}, {11, 5}, {900000001, 0}, {900000002, 0}};
  s.staticModes = 2;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 13; ++r) s.values.push_back(c + r / 16.0 + 1e-3);
  s.values[1] = -0.0;
  s.values[2] = nan;
  s.values[13 + 3] = 5e-324;
  s.values[2 * 13 + 10] = -std::numeric_limits<double>::infinity();
  // Stiffness 4 pi^2 f^2 m for 2 Hz and (negative) 3 Hz, over masses 2 and 0.5.
  s.stiffness.assign(16, 0.0);
  s.mass.assign(16, 0.0);
  const double pi = 3.14159265358979323846;
  s.stiffness[10] = 4 * pi * pi * 4 * 2;
  s.stiffness[15] = -4 * pi * pi * 9 * 0.5;
  s.mass[10] = 2;
  s.mass[15] = 0.5;
  const std::string vtu = m_dir.File("modes.vtu");
  uma::inspect::VtuSummary summary;
  ASSERT_EQ(uma::inspect::WriteVtu(Save(s), vtu, summary), "");
  EXPECT_EQ(uma::inspect::AsText(summary, vtu),
            "wrote " + vtu + ": 4 points (1 internal), 4 vertices; 2 static and 2 dynamic modes, " +
                "with rotations\n");

  auto grid = Read(vtu);
  vtkFieldData* field = grid->GetFieldData();
  auto* names = vtkStringArray::SafeDownCast(field->GetAbstractArray("mode names"));
  ASSERT_NE(names, nullptr);
  const std::vector<std::string> expectedNames = {"static 1 (node 11 dof 1)",
                                                  "static 2 (node 11 dof 5)", "dynamic 1 (2 Hz)",
                                                  "dynamic 2 (-3 Hz)"};
  ASSERT_EQ(names->GetNumberOfValues(), 4);
  for (vtkIdType c = 0; c < 4; ++c) EXPECT_EQ(names->GetValue(c), expectedNames[c]);
  vtkDataArray* frequencies = field->GetArray("frequencies");
  ASSERT_NE(frequencies, nullptr);
  EXPECT_NEAR(frequencies->GetComponent(0, 0), 2.0, 1e-12);
  EXPECT_NEAR(frequencies->GetComponent(1, 0), -3.0, 1e-12);
  EXPECT_EQ(vtkStringArray::SafeDownCast(field->GetAbstractArray("unit.length"))->GetValue(0),
            "mm");
  EXPECT_EQ(vtkStringArray::SafeDownCast(field->GetAbstractArray("frequency unit"))->GetValue(0),
            "Hz");

  vtkPointData* pd = grid->GetPointData();
  EXPECT_STREQ(pd->GetVectors()->GetName(), "dynamic 1 (2 Hz)");
  vtkDataArray* internal = pd->GetArray("internal node");
  EXPECT_EQ(internal->GetComponent(2, 0), 1);
  EXPECT_EQ(internal->GetComponent(0, 0), 0);
  // Each row of a translation or rotation is its point's component; everything else is 0.
  const std::map<std::pair<int, int>, std::pair<int, int>> where = {
      {{11, 1}, {0, 0}}, {{11, 2}, {0, 1}}, {{11, 3}, {0, 2}}, {{11, 4}, {0, 3}},
      {{11, 5}, {0, 4}}, {{11, 6}, {0, 5}}, {{12, 3}, {1, 2}}, {{12, 1}, {1, 0}},
      {{12, 2}, {1, 1}}, {{13, 1}, {2, 0}}, {{13, 2}, {2, 1}}, {{13, 3}, {2, 2}}};
  for (int c = 0; c < 4; ++c) {
    vtkDataArray* u = pd->GetArray(expectedNames[static_cast<std::size_t>(c)].c_str());
    vtkDataArray* r =
        pd->GetArray((expectedNames[static_cast<std::size_t>(c)] + " rotation").c_str());
    ASSERT_TRUE(u && r);
    ASSERT_EQ(u->GetNumberOfComponents(), 3);
    std::vector<std::uint64_t> expected(24, Bits(0.0)), got;
    for (std::size_t row = 0; row < s.dofs.size(); ++row) {
      auto at = where.find(s.dofs[row]);
      if (at == where.end()) continue;  // dof 7 moves nothing
      const auto [point, slot] = at->second;
      expected[static_cast<std::size_t>(point * 3 + (slot % 3) + (slot >= 3 ? 12 : 0))] =
          Bits(s.values[static_cast<std::size_t>(c) * 13 + row]);
    }
    for (vtkIdType p = 0; p < 4; ++p)
      for (int k = 0; k < 3; ++k) got.push_back(Bits(u->GetComponent(p, k)));
    for (vtkIdType p = 0; p < 4; ++p)
      for (int k = 0; k < 3; ++k) got.push_back(Bits(r->GetComponent(p, k)));
    EXPECT_EQ(got, expected) << "column " << c;
  }
}

// A small model: two nodes along x with a translation each, one dynamic mode.
VtuExport::Spec TwoNodes() {
  VtuExport::Spec s;
  s.points = {{1, {0, 0, 0}}, {2, {1, 0, 0}}};
  s.dofs = {{1, 1}, {2, 1}};
  s.modes = {{900000001, 0}};
  s.values = {0.5, 1.0};
  return s;
}

TEST_F(VtuExport, RefusesWhatItCannotShowAndLeavesTheTargetAsItWas) {
  VtuExport::Spec unknown = TwoNodes();
  unknown.mesh = {{7, "C3D27", {1, 2}}};  // a type without a cell: reported, not guessed
  ExpectRefused(Save(unknown, "unknown.uma"),
                "unknown.uma: element 7 is of type \"C3D27\", which has no cell in a VTU file");
  VtuExport::Spec count = TwoNodes();
  count.mesh = {{8, "C3D8", {1, 2}}};
  ExpectRefused(Save(count, "count.uma"), "count.uma: element 8 of type C3D8 has 2 nodes, not 8");
  VtuExport::Spec uncoordinated = TwoNodes();
  uncoordinated.withoutCoordinates = {3};
  uncoordinated.dofs.push_back({3, 2});
  uncoordinated.values.push_back(2.0);
  ExpectRefused(Save(uncoordinated, "uncoordinated.uma"),
                "uncoordinated.uma: node 3 has degrees of freedom in the mode matrix but no "
                "coordinates");
  VtuExport::Spec twice = TwoNodes();
  twice.dofs = {{1, 1}, {1, 1}};
  ExpectRefused(Save(twice, "twice.uma"),
                "twice.uma: node 1 dof 1 appears twice in the rows of the mode matrix");
  VtuExport::Spec bare = TwoNodes();
  bare.coordinates = false;
  ExpectRefused(Save(bare, "bare.uma"),
                "bare.uma: the model stores no node coordinates (type 31037)");
  ExpectRefused(m_dir.File("absent.uma"), "no such file: " + m_dir.File("absent.uma"));

  // A column that cannot be read half way through: nothing is written.
  VtuExport::Spec three = TwoNodes();
  three.modes = {{900000001, 0}, {900000002, 0}, {900000003, 0}};
  three.values = {1, 2, 3, 4, 5, 6};
  const std::string damaged = Save(three, "damaged.uma", 1);  // one row per column, to damage
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(damaged.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "UPDATE column_values SET data = zeroblob(4) WHERE column_index = 1 AND "
                         "distribution = (SELECT distribution FROM distribution_by_type WHERE "
                         "matrix_type = 20074)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ExpectRefused(damaged, "a damaged file: " + damaged);

  // Never the model itself, nor a folder that is not there.
  const std::string model = Save(TwoNodes());
  const std::string bytes = filetest::Bytes(model);
  uma::inspect::VtuSummary summary;
  EXPECT_EQ(uma::inspect::WriteVtu(model, model, summary),
            "the output " + model + " is the model itself");
  EXPECT_EQ(filetest::Bytes(model), bytes);
  EXPECT_EQ(uma::inspect::WriteVtu(model, m_dir.File("none/out.vtu"), summary),
            "cannot write " + m_dir.File("none/out.vtu") + ": No such file or directory");
}

TEST_F(VtuExport, ElementsOfNodesTheModelLacksAreLeftOutAndCounted) {
  VtuExport::Spec s = TwoNodes();
  s.dofs.clear();  // and no mode matrix: the geometry alone
  s.points.push_back({3, {2, 0, 0}});
  s.mesh = {{1, "B31", {1, 2}}, {2, "B31", {2, 99}}, {3, "B31", {98, 3}}};
  const std::string vtu = m_dir.File("partial.vtu");
  uma::inspect::VtuSummary summary;
  ASSERT_EQ(uma::inspect::WriteVtu(Save(s), vtu, summary), "");
  EXPECT_EQ(summary.elementsLeftOut, 2);
  EXPECT_EQ(summary.leftOutReason,
            "element 2 names node 99, which has no coordinates in the model");
  EXPECT_EQ(summary.vertices, 1);  // node 3, which no drawn element uses
  EXPECT_EQ(summary.staticModes + summary.dynamicModes, 0);
  auto grid = Read(vtu);
  EXPECT_EQ(grid->GetNumberOfCells(), 2);
  EXPECT_EQ(vtkStringArray::SafeDownCast(grid->GetFieldData()->GetAbstractArray("mode names"))
                ->GetNumberOfValues(),
            0);
}

TEST_F(VtuExport, AFailedAllocationAnywhereWritesNothingAndLeaksNothing) {
  VtuExport::Spec s = TwoNodes();
  s.mesh = {{1, "B31", {1, 2}}};
  const std::string model = Save(s), target = m_dir.File("out.vtu");
  filetest::WriteBytes(target, "an older file");
  const std::vector<std::string> before = Files();
  for (long long n = 1;; ++n) {
    const long long live = pfm::Allocation().liveBlocks;
    pfm::FailAllocationAt(n);
    uma::inspect::VtuSummary summary;
    const std::string failure = uma::inspect::WriteVtu(model, target, summary);
    pfm::FailAllocationAt(0);
    EXPECT_EQ(pfm::Allocation().liveBlocks, live) << "allocation " << n;
    if (failure.empty()) break;
    EXPECT_EQ(filetest::Bytes(target), "an older file") << failure;
    EXPECT_EQ(Files(), before);
    ASSERT_LT(n, 1000) << failure;
  }
  EXPECT_NE(filetest::Bytes(target), "an older file");
}

}  // namespace
