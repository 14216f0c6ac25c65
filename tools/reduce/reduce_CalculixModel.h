// A CalculiX job as a full model: the matrices of its matrix storage step, each row given to a
// node. CalculiX's own rows need mapping back:
// - shells and beams are expanded into solids whose generated nodes hold the rows, while the
//   .dof file names each after its deck node; the .frd (OUTPUT=3D) tells which generated nodes
//   belong to which deck node, and rows follow CalculiX's numbering (ascending node, then
//   direction), so each row goes to the last of its deck node's generated nodes that keeps that
//   order;
// - a *RIGID BODY's rotation node, and the rotation node of a knot (where expanded members meet
//   at an angle), hold rotations: they become local dofs 4-6 of the reference node;
// - a knot's expansion node and the incompatible modes of C3D8I elements (and of S4, B31 and T3D2,
//   which expand into them) are generalised coordinates: internal nodes with local dofs 7-9.
// Generated nodes are internal nodes with labels of their own, each with the deck node it
// belongs to; an expanded deck node gets output rows of its own, the mean of its generated
// nodes' translations, so that hosts that hide internal nodes still see it move.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "reduce_CalculixDeck.h"
#include "reduce_CalculixFrd.h"
#include "reduce_CalculixMatrices.h"
#include "reduce_FullModel.h"
#include "reduce_Interface.h"

namespace uma::reduce {

struct CalculixModel {
  FullModel model;
  CalculixDeck deck;
  std::map<int, int> owner;                   // generated node -> the deck node it belongs to
  std::map<int, std::vector<int>> generated;  // deck node -> its generated nodes with rows
  std::set<int> generalised;  // generated nodes of generalised coordinates (dofs 7-9)
  std::set<int> withRows;     // nodes that have rows
  std::vector<DerivedDof> derived;
  std::vector<std::string> warnings;

  // The nodes that stand for `label` in a boundary or an interface: itself when it has rows,
  // and its generated nodes that hold translations.
  std::vector<int> Expand(int label) const;
};

struct CalculixFiles {
  std::string sti, mas, dof, frd;  // frd empty when the deck has no expanded elements
};

// Reads the files and maps the rows. Throws InputError naming the file when they do not follow
// the deck (rows the deck and the .frd cannot account for, a .frd without the expanded elements).
CalculixModel AssembleCalculixModel(CalculixDeck deck, const CalculixFiles& files);

// The same from what was read (for the fuzzer and the tests).
CalculixModel AssembleCalculixModel(CalculixDeck deck, const CalculixFiles& names,
                                    const std::vector<CalculixRow>& rows, SparseMatrix stiffness,
                                    SparseMatrix mass, const FrdMesh* frd);

}  // namespace uma::reduce
