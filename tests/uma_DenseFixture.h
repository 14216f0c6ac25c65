// Stored dense matrices for the matrix suites: one small labelled model, and dense handles made
// straight from the distributions of an open system, as the system's retrieval makes them.
#pragma once

#include <memory>
#include <vector>

#include "QOBMtxLinearAlgebra.h"
#include "pfm_ModelBuilder.h"
#include "pfm_TestAccess.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"
#include "uma_TestAccess.h"
#include "uma_TestSupport.h"

class DenseTest : public UmaTest {
 protected:
  // Distributions of the model that Register() builds.
  enum Distribution {
    kLabelled = 0,  // 5 x 3: rows dofs 2, 5, 1, 4, 3; columns modes 3, 1, 2; values At(r, c)
    kKinds = 1,     // 2 x 3: rows elements 2, 1; columns nodes 4, 2, 5
    kOpaque = 2,    // 3 x 1: rows a set of another kind, members 7, 3, 9; columns unlabelled
    kEmptyRows = 3  // 0 x 1: rows an empty node set
  };

  // Element (r, c) of kLabelled: its value tells where it came from.
  static double At(int r, int c) { return 10.0 * r + c; }

  static void Register(const char* name = "m") {
    pfm::ModelBuilder b(name);
    for (int label : {101, 102, 103, 104, 105}) b.AddNode(label, label == 103);
    const int dofs[][2] = {{1, 1}, {1, 2}, {2, 3}, {4, 1}, {5, 6}};  // node, ldof
    for (const auto& d : dofs) b.AddDof(d[0], d[1]);
    const int modes[][2] = {{101, 1}, {104, 2}, {105, 3}};  // node label, ldof
    for (const auto& m : modes) b.AddMode(m[0], m[1]);
    for (int label : {900, 901}) b.AddElement(label);
    std::vector<double> labelled;
    for (int c = 0; c < 3; ++c)
      for (int r = 0; r < 5; ++r) labelled.push_back(At(r, c));
    using K = pfm::MemberKind;
    b.AddDistribution(5, 3, b.AddSet(K::Dof, {2, 5, 1, 4, 3}), b.AddSet(K::Mode, {3, 1, 2}),
                      labelled);
    b.AddDistribution(2, 3, b.AddSet(K::Element, {2, 1}), b.AddSet(K::Node, {4, 2, 5}));
    b.AddDistribution(3, 1, b.AddSet(K::Other, {7, 3, 9}), -1, {1, 2, 3});
    b.AddDistribution(0, 1, b.AddSet(K::Node, {}), -1);
    b.Register();
  }

  static int SessionOf(const uma_System& s) {
    return pfm::ids::SessionOf(uma_TestAccess::Record(s)->MyPosition())->id;
  }
  static QOBSrvDenseMatrix* NewDense(const uma_System& s, int distribution) {
    return new QOBSrvDenseMatrix(pfm::ids::Distribution(SessionOf(s), distribution));
  }
  static std::unique_ptr<uma_Matrix> ReadOnly(const uma_System& s, int distribution) {
    return std::unique_ptr<uma_Matrix>(uma_TestAccess::ReadOnly(NewDense(s, distribution), &s));
  }
  static std::unique_ptr<uma_Matrix> Writable(uma_System& s, int distribution) {
    return std::unique_ptr<uma_Matrix>(uma_TestAccess::Writable(NewDense(s, distribution), &s));
  }

  // The block's values, column by column, copied out through an in-core matrix.
  static std::vector<double> Block(const uma_Matrix& m, int r0, int r1, int c0, int c1) {
    uma_IncoreMatrix out(r1 - r0 + 1, c1 - c0 + 1, nullptr);
    m.GetValues(r0, r1, c0, c1, out);
    return std::vector<double>(out.Values(), out.Values() + (r1 - r0 + 1) * (c1 - c0 + 1));
  }
  static std::vector<double> All(const uma_Matrix& m) {
    return Block(m, 0, m.NumRows() - 1, 0, m.NumColumns() - 1);
  }
};
