// The CalculiX readers (deck, .dof, .sti/.mas, .frd) and the node lists: what they take, and
// that they refuse anything else with the file and line, including the damaged inputs the
// fuzzer found (tests/data/calculix/).
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "reduce_CalculixDeck.h"
#include "reduce_CalculixFrd.h"
#include "reduce_CalculixMatrices.h"
#include "reduce_CalculixModel.h"
#include "reduce_InputError.h"
#include "reduce_NodeList.h"
#include "uma_TempDir.h"

namespace {

std::string Write(const uma::sample::TempDir& dir, const std::string& name, const std::string& text) {
  std::ofstream(dir.File(name)) << text;
  return dir.File(name);
}

// The reason an InputError gives, or "" when `read` succeeds.
template <class Read>
std::string Refusal(Read read) {
  try {
    read();
  } catch (const uma::reduce::InputError& e) {
    return e.what();
  }
  return "";
}

const char kDeck[] =
    "** comment\n"
    "*Heading\n a title that is no data\n"
    "*NODE, NSET=Nall\n1, 0, 0, 0\n2, 1.5D0, 0, 0\n3, 1, 1\n4, 0, 1, 0\n5,0,0,1\n6,1,0,1\n"
    "7,1,1,1\n8,0,1,1\n9, 5, 5, 5\n"
    "*element, type=c3d8, elset=Block\n"
    "1, 1, 2, 3, 4,\n5, 6, 7, 8\n"
    "*NSET, NSET=BOTTOM, GENERATE\n1, 4, 1\n"
    "*NSET, NSET=both\nbottom, 5, 6\n"
    "*BOUNDARY\nBOTTOM, 3\n8, 1, 2, 0.0\n"
    "*RIGID BODY, NSET=BOTTOM, REF NODE=9\n"
    "*MATERIAL, NAME=STEEL\n*ELASTIC\n210000, 0.3\n"
    "*STEP\n*STATIC\n*NODE, NSET=LATE\n100, 0, 0, 0\n*END STEP\n";

TEST(CalculixDeck, ReadsTheModelDefinitionUpToTheFirstStep) {
  const uma::reduce::CalculixDeck deck = uma::reduce::ParseCalculixDeck("deck.inp", kDeck);
  ASSERT_EQ(deck.nodes.size(), 9u);
  EXPECT_EQ(deck.Node(2)->x, 1.5);
  EXPECT_EQ(deck.Node(3)->z, 0.0);
  EXPECT_EQ(deck.Node(100), nullptr);  // in a step
  ASSERT_EQ(deck.elements.size(), 1u);
  EXPECT_EQ(deck.elements[0].type, "C3D8");
  EXPECT_EQ(deck.elements[0].nodes, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(deck.elementSets.at("BLOCK"), (std::vector<int>{1}));
  EXPECT_EQ(deck.nodeSets.at("BOTH"), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(deck.nodeSets.at("NALL").size(), 9u);
  ASSERT_EQ(deck.boundaries.size(), 5u);
  EXPECT_EQ(deck.boundaries[4].node, 8);
  EXPECT_EQ(deck.boundaries[4].last, 2);
  ASSERT_EQ(deck.rigidBodies.size(), 1u);
  EXPECT_EQ(deck.rigidBodies[0].referenceNode, 9);
  EXPECT_EQ(deck.rigidBodies[0].generatedRotationNode, 10);  // above the largest label so far
  EXPECT_FALSE(deck.HasExpandedElements());
  // The copy CalculiX runs on stops where the steps begin.
  EXPECT_EQ(deck.modelLines.back(), "210000, 0.3");
}

TEST(CalculixDeck, IncludesFilesBesideTheDeck) {
  uma::sample::TempDir dir;
  Write(dir, "mesh.inp", "*NODE\n1, 0, 0, 0\n2, 1, 0, 0\n3, 0.5, 0.5, 0\n");
  const std::string deck = Write(dir, "part.inp",
                                 "*INCLUDE, INPUT=mesh.inp\n*ELEMENT, TYPE=S3, ELSET=E\n"
                                 "1, 1, 2, 3\n");
  const uma::reduce::CalculixDeck d = uma::reduce::ReadCalculixDeck(deck);
  EXPECT_EQ(d.nodes.size(), 3u);
  EXPECT_TRUE(d.HasExpandedElements());
  EXPECT_EQ(d.files.size(), 2u);
  EXPECT_EQ(d.modelLines.front(), "*NODE");  // the included lines in place
}

TEST(CalculixDeck, RefusesWhatItCannotTakeFaithfully) {
  uma::sample::TempDir dir;
  Write(dir, "self.inp", "*INCLUDE, INPUT=self.inp\n");
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {
      {"*NODE\n1, 0, x, 0\n", "d.inp:2: coordinate \"x\" is not a finite number"},
      {"*NODE\n1, 0, nan, 0\n", "d.inp:2: coordinate \"nan\" is not a finite number"},
      {"*NODE\n1\n1\n", "d.inp:3: node 1 is defined again"},
      {"*NODE\n-4, 0\n", "d.inp:2: node label -4 is not a positive label"},
      {"*NODE\n1, 0\n*ELEMENT, TYPE=C3D4\n1, 1, 1, 1\n*STEP\n",
       "d.inp:4: element 1 (C3D4) has 3 nodes instead of 4"},
      {"*NODE\n1, 0\n*ELEMENT, TYPE=C3D4\n1, 1, 1, 1, 1, 1\n",
       "d.inp:4: element 1 has more than 4 nodes"},
      {"*ELEMENT, TYPE=C3D4\n1, 1, 2, 3, 4\n",
       "d.inp:2: element 1 has node 1, which the deck does not define"},
      {"*ELEMENT, TYPE=U1\n", "d.inp:1: element type U1 is not read"},
      {"*NSET, NSET=A, GENERATE\n1, 2000000000\n",
       "d.inp:2: the set would hold more than 10000000 members"},
      {"*NSET, NSET=A, GENERATE\n5, 1\n", "d.inp:2: the last label is below the first"},
      {"*NSET, NSET=A\nB\n", "d.inp:2: no node set B is defined before this line"},
      {"*TRANSFORM, NSET=A\n",
       "d.inp:1: *TRANSFORM is not read: the matrices would be in local "
       "directions"},
      {"*NODE, NSET=N\n1\n*RIGID BODY, NSET=N\n",
       "d.inp:3: *RIGID BODY needs REF NODE=: the interface node needs a label and a position"},
      {"*BOUNDARY\n3, 1\n", "d.inp:2: *BOUNDARY on node 3, which the deck does not define"},
      {"*INCLUDE, INPUT=x.inp\n", "d.inp:1: *INCLUDE is not read here"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Refusal([&] { uma::reduce::ParseCalculixDeck("d.inp", c.text); }), c.reason) << c.text;
  EXPECT_NE(Refusal([&] {
              uma::reduce::ReadCalculixDeck(dir.File("self.inp"));
            }).find("*INCLUDE nests more than 16 files deep"),
            std::string::npos);
  EXPECT_EQ(Refusal([&] { uma::reduce::ReadCalculixDeck(dir.File("none.inp")); }),
            dir.File("none.inp") + ": cannot be read");
}

TEST(CalculixMatrices, ReadOneTriangleAndTheRowsNodes) {
  std::istringstream dof("1.1\n1.3\n\n12.2\n");
  const std::vector<uma::reduce::CalculixRow> rows = uma::reduce::ReadCalculixDofs("j.dof", dof);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].node, 12);
  EXPECT_EQ(rows[2].direction, 2);
  EXPECT_EQ(rows[2].line, 4);
  // CalculiX's upper triangle with an explicit zero; a cell may come from the lower one too.
  std::istringstream sti("1 1  4.0e+00\n1 2  1.0e+00\n2 2  5.0e+00\n1 3 0.0\n3 2 2.0\n3 3 6\n");
  const Eigen::MatrixXd k(uma::reduce::ReadCalculixMatrix("j.sti", sti, 3, "stiffness"));
  Eigen::Matrix3d expected;
  expected << 4, 1, 0, 1, 5, 2, 0, 2, 6;
  EXPECT_EQ((k - expected).norm(), 0.0);

  const struct {
    const char* text;
    const char* reason;
  } dofs[] = {{"1.4\n", "j.dof:1: direction 4 is not read: only 1, 2 and 3 (displacements)"},
              {"1\n", "j.dof:1: \"1\" is not \"node.direction\""},
              {"-1.1\n", "j.dof:1: \"-1.1\" is not \"node.direction\""},
              {"0.1\n", "j.dof:1: node 0 is not a positive label"},
              {"\n", "j.dof: no degree of freedom"}},
    matrices[] = {
        {"1 2 3 4\n", "j.sti:1: an entry of the stiffness matrix is \"row column value\""},
        {"1 4 1.0\n", "j.sti:1: entry (1, 4) is outside the 3 rows the .dof file gives"},
        {"1 1 inf\n", "j.sti:1: value \"inf\" is not a finite number"},
        {"1 2 1\n2 1 1\n", "j.sti:2: entry (1, 2) is given again (first on line 1)"}};
  for (const auto& c : dofs) {
    std::istringstream in(c.text);
    EXPECT_EQ(Refusal([&] { uma::reduce::ReadCalculixDofs("j.dof", in); }), c.reason);
  }
  for (const auto& c : matrices) {
    std::istringstream in(c.text);
    EXPECT_EQ(Refusal([&] { uma::reduce::ReadCalculixMatrix("j.sti", in, 3, "stiffness"); }), c.reason);
  }
}

// A result file's mesh, in CalculiX's long ASCII form and in binary, results left unread.
TEST(CalculixFrd, ReadsTheMeshBlocksInAsciiAndBinary) {
  const std::string ascii =
      "    1C\n    1UUSER\n"
      "    2C                             2                                     1\n"
      " -1         9 0.00000E+00 1.50000E+00-5.00000E-02\n"
      " -1        10 1.00000E+00 0.00000E+00 0.00000E+00\n"
      " -3\n"
      "    3C                             1                                     1\n"
      " -1         7    1    0    1\n"
      " -2         9        10        11        12        13        14        15        16\n"
      " -3\n"
      "    1PSTEP                         1           1           1\n 9999\n";
  std::istringstream a(ascii);
  const uma::reduce::FrdMesh mesh =
      uma::reduce::ReadFrdMesh("j.frd", a, static_cast<long long>(ascii.size()));
  ASSERT_EQ(mesh.nodes.size(), 2u);
  EXPECT_EQ(mesh.nodes[0].label, 9);
  EXPECT_EQ(mesh.nodes[0].y, 1.5);
  EXPECT_EQ(mesh.nodes[0].z, -0.05);
  EXPECT_FALSE(mesh.fullPrecision);
  ASSERT_EQ(mesh.elements.size(), 1u);
  EXPECT_EQ(mesh.elements[0].label, 7);
  EXPECT_EQ(mesh.elements[0].nodes.back(), 16);

  std::string binary =
      "    2C                             1                                     3\n";
  const std::int32_t label = 9;
  const double xyz[] = {0.1, 1.0 / 3, -0.05};
  binary.append(reinterpret_cast<const char*>(&label), 4);
  binary.append(reinterpret_cast<const char*>(xyz), sizeof xyz);
  binary += "    3C                             1                                     2\n";
  const std::int32_t element[] = {7, 11, 0, 1, 9, 9};  // a 2-node beam
  binary.append(reinterpret_cast<const char*>(element), sizeof element);
  std::istringstream b(binary);
  const uma::reduce::FrdMesh exact =
      uma::reduce::ReadFrdMesh("j.frd", b, static_cast<long long>(binary.size()));
  ASSERT_EQ(exact.nodes.size(), 1u);
  EXPECT_EQ(exact.nodes[0].y, 1.0 / 3);
  EXPECT_TRUE(exact.fullPrecision);
  EXPECT_EQ(exact.elements[0].nodes, (std::vector<int>{9, 9}));

  // A header that claims more than the file holds is refused before anything is allocated.
  std::string huge = "    2C    2000000000    3\n";
  std::istringstream h(huge);
  EXPECT_EQ(Refusal([&] { uma::reduce::ReadFrdMesh("j.frd", h, 100); }),
            "j.frd:1: 2000000000 records announced in a file of 100 bytes");
  std::istringstream cut(binary.substr(0, 90));
  EXPECT_NE(
      Refusal([&] { uma::reduce::ReadFrdMesh("j.frd", cut, 90); }).find("the binary block ends early"),
      std::string::npos);
}

TEST(NodeLists, TakeLabelsRangesSetsAndFiles) {
  uma::sample::TempDir dir;
  Write(dir, "list.txt", "# hole\n5\n7, 8\n\n");
  uma::reduce::NodeCatalogue c;
  c.source = "model";
  c.labels = {1, 2, 3, 5, 7, 8, 20, 30};
  c.sets["HOLE"] = {30, 20};
  c.expand = [](int label) {
    return label == 3 ? std::vector<int>{3, 101, 102} : std::vector<int>{};
  };
  EXPECT_EQ(uma::reduce::ResolveNodeList("--boundary", "2-5,hole,@" + dir.File("list.txt") + ",2", c),
            (std::vector<int>{2, 3, 101, 102, 5, 30, 20, 7, 8}));
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {"4", "--boundary: node 4 is not in model"},
      {"9-19", "--boundary: no node of model is in 9-19"},
      {"9-1", "--boundary: range 9-1 runs backwards"},
      {"RIM", "--boundary: \"RIM\" is neither a node label, a range nor a node set of the deck"},
      {"@" + dir.File("none"), "--boundary: " + dir.File("none") + " cannot be read"},
      {"", "--boundary: no node given"},
  };
  for (const auto& k : cases)
    EXPECT_EQ(Refusal([&] { uma::reduce::ResolveNodeList("--boundary", k.text, c); }), k.reason);

  // Weights: by label, a deck node's shared among the nodes that stand for it.
  const std::vector<int> nodes = {3, 101, 102, 5};
  EXPECT_EQ(uma::reduce::ResolveWeights("--distributing 9", "3=3,5=0.5", nodes, c),
            (std::vector<double>{1.0, 1.0, 1.0, 0.5}));
  Write(dir, "w.csv", "5, 2\n");
  EXPECT_EQ(uma::reduce::ResolveWeights("--distributing 9", "@" + dir.File("w.csv"), nodes, c),
            (std::vector<double>{1.0, 1.0, 1.0, 2.0}));
  EXPECT_EQ(Refusal([&] { uma::reduce::ResolveWeights("--distributing 9", "7=1", nodes, c); }),
            "--distributing 9: node 7 has a weight but is not listed");
  EXPECT_EQ(Refusal([&] { uma::reduce::ResolveWeights("--distributing 9", "5=-1", nodes, c); }),
            "--distributing 9: the weight of node 5 is not above 0");
}

// Rows the deck and the .frd cannot account for are refused with the .dof's line.
TEST(CalculixModel, RefusesRowsTheDeckDoesNotExplain) {
  const uma::reduce::CalculixDeck deck = uma::reduce::ParseCalculixDeck(
      "d.inp", "*NODE\n1, 0\n2, 1\n3, 0, 1\n4, 0, 0, 1\n*ELEMENT, TYPE=C3D4\n1, 1, 2, 3, 4\n");
  const uma::reduce::CalculixFiles names{"j.sti", "j.mas", "j.dof", ""};
  std::vector<uma::reduce::CalculixRow> rows = {{2, 1, 1}, {1, 1, 2}};
  const uma::reduce::SparseMatrix k(2, 2);
  EXPECT_EQ(Refusal([&] { uma::reduce::AssembleCalculixModel(deck, names, rows, k, k, nullptr); }),
            "j.dof:1: node 2 direction 1 does not follow the deck: the rows cannot be given to its "
            "nodes in CalculiX's order");
  rows = {{1, 1, 1}, {77, 1, 2}};
  EXPECT_EQ(Refusal([&] { uma::reduce::AssembleCalculixModel(deck, names, rows, k, k, nullptr); }),
            "j.dof: node 77 is neither the deck's nor one CalculiX generated for it");
  // A shell without the .frd that says where its generated nodes are.
  const uma::reduce::CalculixDeck shell = uma::reduce::ParseCalculixDeck(
      "s.inp", "*NODE\n1, 0\n2, 1\n3, 0, 1\n*ELEMENT, TYPE=S3\n1, 1, 2, 3\n");
  EXPECT_NE(Refusal([&] {
              uma::reduce::AssembleCalculixModel(shell, names, rows, k, k, nullptr);
            }).find("the deck's shells and beams need the nodes CalculiX generated for them"),
            std::string::npos);
}

// Damaged inputs kept as test data (made by hand, and those the fuzzer found): each is refused
// with a reason that names it, never a crash.
TEST(CalculixReaders, RefuseTheDamagedInputsKeptAsTestData) {
  const std::string folder = std::string(UMA_SOURCE_DIR) + "/tests/data/calculix";
  DIR* dir = ::opendir(folder.c_str());
  ASSERT_NE(dir, nullptr) << folder;
  int replayed = 0;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name[0] == '.') continue;
    std::ifstream in(folder + "/" + name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(name);
    const std::string reason = Refusal([&] {
      std::istringstream text(bytes);
      if (name.rfind("deck-", 0) == 0) uma::reduce::ParseCalculixDeck(name, bytes);
      if (name.rfind("dof-", 0) == 0) uma::reduce::ReadCalculixDofs(name, text);
      if (name.rfind("sti-", 0) == 0) uma::reduce::ReadCalculixMatrix(name, text, 12, "stiffness");
      if (name.rfind("frd-", 0) == 0)
        uma::reduce::ReadFrdMesh(name, text, static_cast<long long>(bytes.size()));
    });
    EXPECT_EQ(reason.rfind(name, 0), 0u) << reason;
    ++replayed;
  }
  ::closedir(dir);
  EXPECT_GT(replayed, 0);
}

}  // namespace
