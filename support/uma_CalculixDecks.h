// Small CalculiX decks of steel parts, written in SI units or in mm, t, s, N (the same part): a
// C3D10 bar, an S8 plate held by a *RIGID BODY strip, a B32 L-frame whose corner is a knot, and
// a C3D20 block with an end face for a rigid interface. Each is a model definition only (no
// *STEP), with the element set EALL and the node sets the tests hold.
#pragma once

#include <string>

namespace uma::sample {

struct DeckUnits {
  const char* name;  // as --units takes them
  double length;     // deck lengths per metre
  double youngs;     // steel in these units
  double density;
};
extern const DeckUnits kSI;          // m, kg, s, N
extern const DeckUnits kMillimetre;  // mm, t, s, N

// 0.1 x 0.02 x 0.02 m, 5 x 2 x 2 cubes of 6 tetrahedra each; END: the nodes at x = 0.
std::string SolidBarDeck(const DeckUnits& u);

// 0.2 x 0.1 m, 4 mm thick, 6 x 3 elements at z = 0; CLAMP: the strip of nodes 0 <= x <= 1/6 of
// the length, tied by a *RIGID BODY to reference node 9001 (rotation node 9002) at (0, 0.05, 0).
std::string ShellPlateDeck(const DeckUnits& u);

// Two 0.2 m members of 4 elements, along x then y, a 20 x 20 mm section; CORNER: the node where
// they meet at a right angle (a knot); TIP: the free end of the second.
std::string FrameDeck(const DeckUnits& u);

// 0.06 x 0.03 x 0.03 m, 4 x 2 x 2 elements; FACE: the nodes at x = 0. Nodes 9001 and 9002 lie at
// the face's centre; with `rigidBody` a *RIGID BODY ties FACE to them (REF NODE 9001, ROT NODE
// 9002).
std::string RigidBlockDeck(const DeckUnits& u, bool rigidBody);

}  // namespace uma::sample
