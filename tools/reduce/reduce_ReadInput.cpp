// What uma-reduce reduces, read from the files a user gives.
#include "reduce_ReadInput.h"

#include <algorithm>
#include <map>
#include <set>

#include "reduce_CalculixText.h"
#include "reduce_InputError.h"
#include "reduce_NodeList.h"

namespace uma::reduce {

namespace {

// "NODES:DOFS" with DOFS digits 1-9, or NODES alone.
std::vector<HeldDofs> ResolveHeld(const std::string& text, const NodeCatalogue& catalogue) {
  std::string nodes = text;
  std::vector<int> ldofs;
  const std::size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    const std::string digits = ccx::Trim(text.substr(colon + 1));
    if (digits.empty() || digits.find_first_not_of("123456789") != std::string::npos)
      throw InputError("--fixed: \"" + digits + "\" is not a list of dofs (digits 1 to 9)");
    for (char c : digits) ldofs.push_back(c - '0');
    nodes = text.substr(0, colon);
  }
  std::vector<HeldDofs> held;
  for (int node : ResolveNodeList("--fixed", nodes, catalogue)) held.push_back({node, ldofs});
  return held;
}

}  // namespace

const FullModel& Input::Original() const { return calculix ? calculix->model.model : matrices; }

const FullModel& Input::Reduced() const {
  return transformation.sameModel ? Original() : transformation.model;
}

Input ReadInput(const FullModelFiles& files, const std::string& calculix, const NodeLists& lists,
                std::FILE* err) {
  Input in;
  if (calculix.empty()) {
    in.matrices = ReadFullModel(files);
  } else {
    in.calculix = std::make_unique<CalculixJob>(ReadCalculixJob(calculix, err));
    for (const std::string& w : in.calculix->model.warnings)
      std::fprintf(err, "uma-reduce: warning: %s\n", w.c_str());
  }
  const FullModel& original = in.Original();
  NodeCatalogue catalogue;
  catalogue.source = calculix.empty() ? original.files.nodes : calculix;
  for (const NodeRow& n : original.nodes) catalogue.labels.push_back(n.label);
  if (in.calculix) {
    const CalculixModel& job = in.calculix->model;
    catalogue.sets = job.deck.nodeSets;
    catalogue.expand = [&job](int label) { return job.Expand(label); };
  }

  std::map<int, std::string> tied;  // listed node -> its interface
  for (const InterfaceText& text : lists.interfaces) {
    InterfaceNode node = text.node;
    node.nodes = ResolveNodeList(node.option, text.nodes, catalogue);
    if (node.kind == InterfaceNode::Kind::Distributing)
      node.weights = ResolveWeights(node.option, text.weights, node.nodes, catalogue);
    for (int n : node.nodes) tied.emplace(n, node.option);
    in.interfaces.push_back(std::move(node));
  }
  if (!lists.fixed.empty()) in.held = ResolveHeld(lists.fixed, catalogue);
  if (!lists.internal.empty())
    in.internal = ResolveNodeList("--internal", lists.internal, catalogue);

  NodeCatalogue withInterfaces = catalogue;
  for (const InterfaceNode& i : in.interfaces)
    if (i.placed) withInterfaces.labels.push_back(i.label);
  in.boundary = ResolveNodeList("--boundary", lists.boundary, withInterfaces);
  for (int b : in.boundary) {
    auto it = tied.find(b);
    if (it != tied.end())
      throw InputError("--boundary: node " + std::to_string(b) + " is listed in " + it->second +
                       "; give the interface node as the boundary");
  }
  CheckInternalNodes(original, in.boundary, in.internal);
  in.transformation =
      Transform(original, in.interfaces, in.held,
                in.calculix ? in.calculix->model.derived : std::vector<DerivedDof>{});
  return in;
}

pfm::ModelBuilder Input::Build(const std::string& name, const Reduction& reduction,
                               OutputOptions options) {
  const FullModel& original = Original();
  const std::vector<NodeRow>& nodes =
      transformation.identity ? original.nodes : transformation.outputNodes;
  if (calculix) {
    const CalculixModel& job = calculix->model;
    std::set<int> internal(options.internal.begin(), options.internal.end());
    for (const auto& [node, deckNode] : job.owner)
      if (internal.insert(node).second) options.internal.push_back(node);
    for (const DeckElement& e : job.deck.elements)
      options.mesh.push_back({e.label, e.type, e.nodes});
    // A generated node's mass is its deck node's: hosts that hide internal nodes see it all.
    std::map<int, double> mass;
    const std::vector<double> lumped = LumpedNodeMass(original);
    for (std::size_t i = 0; i < original.nodes.size(); ++i) {
      auto owner = job.owner.find(original.nodes[i].label);
      mass[owner == job.owner.end() ? original.nodes[i].label : owner->second] += lumped[i];
    }
    options.lumpedMass.clear();
    for (const NodeRow& n : nodes)
      options.lumpedMass.push_back(job.owner.count(n.label) ? 0.0 : mass[n.label]);
  }
  if (transformation.identity) return BuildReducedModel(name, original, reduction, options);

  if (options.lumpedMass.empty()) {
    std::map<int, double> mass;
    const std::vector<double> lumped = LumpedNodeMass(original);
    for (std::size_t i = 0; i < original.nodes.size(); ++i)
      mass[original.nodes[i].label] = lumped[i];
    for (const NodeRow& n : nodes) options.lumpedMass.push_back(mass[n.label]);
  }
  FullModel& out = m_outputModel;
  out = FullModel{};
  out.dofs = transformation.outputDofs;
  out.nodes = transformation.outputNodes;
  out.files = original.files;
  // The loads as given: on the original dofs, none on the rows the expansion adds.
  out.loads =
      Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(out.dofs.size()), original.loads.cols());
  out.loads.topRows(original.loads.rows()) = original.loads;
  // Field by field, so that the basis is never held twice.
  Reduction& expanded = m_outputReduction;
  expanded.boundary = reduction.boundary;
  for (int& row : expanded.boundary)
    row = transformation.outputRowOfQ[static_cast<std::size_t>(row)];
  expanded.interior = reduction.interior;
  expanded.modes = transformation.expansion * reduction.modes;
  expanded.eigenvalues = reduction.eigenvalues;
  expanded.loadResponse = transformation.expansion * reduction.loadResponse;
  expanded.reducedLoads = reduction.reducedLoads;
  expanded.stiffness = reduction.stiffness;
  expanded.mass = reduction.mass;
  expanded.factor = reduction.factor;
  expanded.plan = reduction.plan;
  expanded.quality = reduction.quality;
  expanded.constraintResidual = reduction.constraintResidual;
  expanded.rigidBody = reduction.rigidBody;
  return BuildReducedModel(name, out, expanded, options);
}

std::string Input::Describe() const {
  std::string out;
  char line[512];
  if (calculix) {
    const CalculixModel& job = calculix->model;
    std::map<std::string, int> types;
    for (const DeckElement& e : job.deck.elements) ++types[e.type];
    std::string mesh;
    for (const auto& [type, count] : types) mesh += " " + std::to_string(count) + " " + type;
    std::snprintf(line, sizeof line,
                  "  CalculiX        %s: %zu deck nodes, %zu generated (internal), elements:%s\n",
                  job.deck.path.c_str(), job.deck.nodes.size(), job.owner.size(), mesh.c_str());
    out += line;
    if (!job.deck.boundaries.empty()) {
      std::set<int> nodes;
      for (const DeckBoundary& b : job.deck.boundaries) nodes.insert(b.node);
      std::snprintf(line, sizeof line, "                  its *BOUNDARY holds dofs of %zu nodes\n",
                    nodes.size());
      out += line;
    }
    if (calculix->ranCalculix)
      std::snprintf(line, sizeof line,
                    "                  matrices written by CalculiX in %.2f s on a copy of the "
                    "deck\n",
                    calculix->calculixSeconds);
    else
      std::snprintf(line, sizeof line, "                  matrices read from %s, %s, %s\n",
                    job.model.files.stiffness.c_str(), job.model.files.mass.c_str(),
                    job.model.files.dofs.c_str());
    out += line;
  }
  for (const InterfaceNode& i : interfaces) {
    std::snprintf(line, sizeof line, "  interface       %s: %s of %zu nodes%s\n", i.option.c_str(),
                  i.kind == InterfaceNode::Kind::Rigid ? "rigid" : "weighted average",
                  i.nodes.size(), i.placed ? ", a new node" : "");
    out += line;
  }
  if (!held.empty()) {
    std::snprintf(line, sizeof line, "  held            the dofs of %zu nodes (--fixed)\n",
                  held.size());
    out += line;
  }
  return out;
}

}  // namespace uma::reduce
