// A reader of CalculiX input decks: the model definition up to the first *STEP, as far as a
// reduction needs it. It takes *NODE, *ELEMENT, *NSET and *ELSET (GENERATE included), *INCLUDE,
// *BOUNDARY and *RIGID BODY, skips every other keyword with its data lines, and refuses what it
// cannot take faithfully (*TRANSFORM, an unknown element type, a malformed line) with an
// InputError that names the file and line.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace uma::reduce {

struct DeckNode {
  int label = 0;
  double x = 0.0, y = 0.0, z = 0.0;
};

// How CalculiX treats an element type in its matrices.
enum class Expansion {
  None,     // a 3-D element (or a spring, a mass): its nodes are the deck's nodes
  Surface,  // shells, membranes, plane and axisymmetric elements: expanded into a layer of solids
  Line,     // beams and trusses: expanded into solids around the line
};

struct DeckElement {
  int label = 0;
  std::string type;  // upper case, as the deck names it ("C3D10", "S8")
  std::vector<int> nodes;
  Expansion expansion = Expansion::None;
  bool incompatibleModes = false;  // CalculiX adds three nodes of incompatible modes to it
  std::string file;
  long line = 0;
};

// A *BOUNDARY line of the model definition: dofs first..last of a node held.
struct DeckBoundary {
  int node = 0;
  int first = 0, last = 0;
};

// A *RIGID BODY: the nodes tied to the reference node, and the node whose three dofs are the
// body's rotations. When the deck names no rotation node CalculiX makes one, labelled one above
// the largest node label at that point of the deck (`generatedRotationNode`).
struct DeckRigidBody {
  std::vector<int> nodes;
  int referenceNode = 0;
  int rotationNode = 0;  // 0 when CalculiX makes it
  int generatedRotationNode = 0;
  std::string file;
  long line = 0;
};

struct CalculixDeck {
  std::string path;
  std::vector<std::string> files;  // the deck and every file it includes
  std::vector<DeckNode> nodes;     // in the order the deck gives them
  std::map<int, std::size_t> nodeIndex;
  std::vector<DeckElement> elements;
  std::map<std::string, std::vector<int>> nodeSets;  // names in upper case, members in order
  std::map<std::string, std::vector<int>> elementSets;
  std::vector<DeckBoundary> boundaries;
  std::vector<DeckRigidBody> rigidBodies;
  // The model definition with every *INCLUDE in place: what a run of CalculiX on a copy of the
  // deck starts from.
  std::vector<std::string> modelLines;

  bool HasExpandedElements() const;
  const DeckNode* Node(int label) const;
};

// Reads the deck at `path` and the files it includes. Throws InputError naming the file and
// line of the first fault.
CalculixDeck ReadCalculixDeck(const std::string& path);

// The same from text (for the fuzzer); `name` stands for the file in messages, and *INCLUDE is
// refused.
CalculixDeck ParseCalculixDeck(const std::string& name, const std::string& text);

}  // namespace uma::reduce
