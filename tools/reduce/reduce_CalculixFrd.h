// A reader of the mesh blocks of a CalculiX result file (JOB.frd): the first node block ("2C":
// labels and coordinates) and the element block after it ("3C": labels, types and nodes), in
// ASCII (written by *NODE FILE: coordinates to 6 digits) or binary (by *NODE OUTPUT: doubles).
// With OUTPUT=3D they hold the solids CalculiX expanded shells and beams into, and the nodes it
// generated for them. Results are not read. Anything else is refused with an InputError naming
// the file and line (or byte offset, in a binary block).
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace uma::reduce {

struct FrdNode {
  int label = 0;
  double x = 0.0, y = 0.0, z = 0.0;
};

struct FrdElement {
  int label = 0;
  int type = 0;            // the result format's code: 1 he8, 2 pe6, 4 he20, 5 pe15, ...
  std::vector<int> nodes;  // in the result format's order
};

struct FrdMesh {
  std::vector<FrdNode> nodes;
  std::vector<FrdElement> elements;
  bool fullPrecision = false;  // the coordinates were binary doubles
};

FrdMesh ReadFrdMesh(const std::string& path);
// `size` bounds what a block's header may announce (the stream's length in bytes).
FrdMesh ReadFrdMesh(const std::string& name, std::istream& in, long long size);

}  // namespace uma::reduce
