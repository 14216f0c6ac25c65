// Node lists as users give them (--boundary, --internal, --fixed, the nodes of an interface):
// comma-separated items, each a label ("1001"), a range ("100-140": every node of the model
// with a label in it), a node set of the deck ("HOLE", any case) or @FILE, a file of the same
// items separated by commas, blanks or lines ('#' starts a comment).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace uma::reduce {

// What lists are resolved against.
struct NodeCatalogue {
  std::string source;                            // where the nodes come from, for messages
  std::vector<int> labels;                       // the model's nodes
  std::map<std::string, std::vector<int>> sets;  // node sets by upper-case name (may be none)
  // The nodes that stand for a label (a deck node and the nodes generated for it); none means
  // the label itself.
  std::function<std::vector<int>(int)> expand;
};

// The nodes `text` names, each once, in the order first named. Throws InputError starting with
// `option` for an item that names nothing: a label not in the model, an empty range, an unknown
// set, a file that cannot be read.
std::vector<int> ResolveNodeList(const std::string& option, const std::string& text,
                                 const NodeCatalogue& catalogue);

// Weights of a distributing interface: "LABEL=W" items, or @FILE with "label,weight" lines.
// Answers the weight of each of `nodes` (1 where none is given); a weight for a node that is
// not listed, or that is not a positive number, is refused.
std::vector<double> ResolveWeights(const std::string& option, const std::string& text,
                                   const std::vector<int>& nodes, const NodeCatalogue& catalogue);

}  // namespace uma::reduce
