// A CalculiX job as a full model, each matrix row given to a node of the deck.
#include "reduce_CalculixModel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

// For each position of an expanded element in the .frd (the result format's node order), the
// local node (from 1) of the deck element it was generated for. Shells put three layers of
// nodes at a corner and two at a midside node; beams put eight (or four) around each node.
const std::vector<int>* OwnerTable(const DeckElement& e) {
  static const std::vector<int> kSurface8 = {1, 2, 3, 4, 1, 2, 3, 4, 5, 6,
                                             7, 8, 1, 2, 3, 4, 5, 6, 7, 8};
  static const std::vector<int> kSurface6 = {1, 2, 3, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6};
  static const std::vector<int> kSurface4 = {1, 2, 3, 4, 1, 2, 3, 4};
  static const std::vector<int> kSurface3 = {1, 2, 3, 1, 2, 3};
  static const std::vector<int> kLine3 = {1, 3, 3, 1, 1, 3, 3, 1, 2, 3,
                                          2, 1, 1, 3, 3, 1, 2, 3, 2, 1};
  static const std::vector<int> kLine2 = {1, 2, 2, 1, 1, 2, 2, 1};
  if (e.expansion == Expansion::Surface) {
    switch (e.nodes.size()) {
      case 8:
        return &kSurface8;
      case 6:
        return &kSurface6;
      case 4:
        return &kSurface4;
      case 3:
        return &kSurface3;
      default:
        return nullptr;
    }
  }
  if (e.expansion == Expansion::Line) return e.nodes.size() == 3 ? &kLine3 : &kLine2;
  return nullptr;
}

struct GeneratedNodes {
  std::map<int, int> owner;            // every generated node of the .frd -> its deck node
  std::map<int, std::vector<int>> of;  // deck node -> its generated nodes, ascending
  std::map<int, FrdNode> where;
  std::vector<int> sorted;  // every generated node, ascending
};

GeneratedNodes ReadGenerated(const CalculixDeck& deck, const FrdMesh* frd,
                             const std::string& name) {
  GeneratedNodes g;
  if (!deck.HasExpandedElements()) return g;
  const std::string recipe =
      " (write it with *NODE OUTPUT, OUTPUT=3D or *NODE FILE, OUTPUT=3D in a step before the "
      "matrix storage step)";
  if (!frd || frd->nodes.empty())
    throw InputError((name.empty() ? "the .frd file" : name) +
                     ": the deck's shells and beams need the nodes CalculiX generated for them" +
                     recipe);
  std::map<int, FrdNode> nodes;
  for (const FrdNode& n : frd->nodes) nodes[n.label] = n;
  std::map<int, const FrdElement*> elements;
  for (const FrdElement& e : frd->elements) elements[e.label] = &e;
  for (const DeckElement& e : deck.elements) {
    const std::vector<int>* table = OwnerTable(e);
    if (!table) continue;
    auto found = elements.find(e.label);
    if (found == elements.end())
      throw InputError(name + ": element " + std::to_string(e.label) + " (" + e.type +
                       ") is not there expanded" + recipe);
    const std::vector<int>& solid = found->second->nodes;
    if (solid.size() != table->size())
      throw InputError(name + ": element " + std::to_string(e.label) + " (" + e.type + ") has " +
                       std::to_string(solid.size()) + " nodes instead of the " +
                       std::to_string(table->size()) + " of its expansion");
    for (std::size_t k = 0; k < solid.size(); ++k) {
      const int node = solid[k], deckNode = e.nodes[static_cast<std::size_t>((*table)[k] - 1)];
      if (deck.Node(node))
        throw InputError(name + ": element " + std::to_string(e.label) + " has deck node " +
                         std::to_string(node) + " where a generated node belongs");
      if (!nodes.count(node))
        throw InputError(name + ": node " + std::to_string(node) + " of element " +
                         std::to_string(e.label) + " has no coordinates");
      auto [it, added] = g.owner.emplace(node, deckNode);
      if (!added && it->second != deckNode)
        throw InputError(name + ": generated node " + std::to_string(node) +
                         " belongs both to deck node " + std::to_string(it->second) + " and " +
                         std::to_string(deckNode));
      if (added) g.where[node] = nodes[node];
    }
  }
  for (const auto& [node, deckNode] : g.owner) {
    g.of[deckNode].push_back(node);
    g.sorted.push_back(node);
  }
  return g;
}

// What a node that is neither a deck node nor a generated one of the .frd stands for.
enum class Role { Rotation, Expansion, Incompatible };
struct Extra {
  Role role;
  int node;  // the node whose rotations it holds, or the deck node it belongs to
  double x, y, z;
};

using Key = std::pair<long long, int>;  // (node number, direction): CalculiX's row order

}  // namespace

std::vector<int> CalculixModel::Expand(int label) const {
  std::vector<int> out;
  if (withRows.count(label)) out.push_back(label);
  auto it = generated.find(label);
  if (it != generated.end())
    for (int g : it->second)
      if (!generalised.count(g)) out.push_back(g);
  if (out.empty()) out.push_back(label);  // let the caller say that it has no dof
  return out;
}

CalculixModel AssembleCalculixModel(CalculixDeck deck, const CalculixFiles& files) {
  std::vector<CalculixRow> rows = ReadCalculixDofs(files.dof);
  const int n = static_cast<int>(rows.size());
  SparseMatrix k = ReadCalculixMatrix(files.sti, n, "stiffness");
  SparseMatrix m = ReadCalculixMatrix(files.mas, n, "mass");
  FrdMesh frd;
  if (!files.frd.empty()) frd = ReadFrdMesh(files.frd);
  return AssembleCalculixModel(std::move(deck), files, rows, std::move(k), std::move(m),
                               files.frd.empty() ? nullptr : &frd);
}

CalculixModel AssembleCalculixModel(CalculixDeck deck, const CalculixFiles& names,
                                    const std::vector<CalculixRow>& rows, SparseMatrix stiffness,
                                    SparseMatrix mass, const FrdMesh* frd) {
  const std::string dofFile = names.dof.empty() ? "the .dof file" : names.dof;
  GeneratedNodes gen = ReadGenerated(deck, frd, names.frd);

  // Rotation nodes of rigid bodies: named in the deck, or made by CalculiX.
  std::map<int, Extra> extra;
  for (const DeckRigidBody& r : deck.rigidBodies) {
    const int rotation = r.rotationNode ? r.rotationNode : r.generatedRotationNode;
    if (r.rotationNode || !deck.Node(rotation))
      extra[rotation] = {Role::Rotation, r.referenceNode, 0, 0, 0};
  }
  std::set<int> unknown;
  for (const CalculixRow& r : rows)
    if (!deck.Node(r.node) && !gen.owner.count(r.node) && !extra.count(r.node))
      unknown.insert(r.node);

  // Incompatible modes are numbered last, three per element in the order of element labels.
  std::vector<const DeckElement*> incompatible;
  for (const DeckElement& e : deck.elements)
    if (e.incompatibleModes) incompatible.push_back(&e);
  std::sort(incompatible.begin(), incompatible.end(),
            [](const DeckElement* a, const DeckElement* b) { return a->label < b->label; });
  std::vector<int> others(unknown.begin(), unknown.end());
  if (others.size() < 3 * incompatible.size())
    throw InputError(dofFile + ": " + std::to_string(others.size()) +
                     " nodes that are not the deck's, but its C3D8I, S4, B31 and T3D2 elements "
                     "alone have " +
                     std::to_string(3 * incompatible.size()) + " nodes of incompatible modes");
  const std::size_t knots = others.size() - 3 * incompatible.size();
  for (std::size_t i = 0; i < incompatible.size(); ++i) {
    const DeckElement& e = *incompatible[i];
    Extra x{Role::Incompatible, e.nodes[0], 0, 0, 0};
    for (int node : e.nodes) {
      const DeckNode* d = deck.Node(node);
      x.x += d->x / static_cast<double>(e.nodes.size());
      x.y += d->y / static_cast<double>(e.nodes.size());
      x.z += d->z / static_cast<double>(e.nodes.size());
    }
    for (std::size_t k = 0; k < 3; ++k) extra[others[knots + 3 * i + k]] = x;
  }

  // A knot is numbered right after the generated nodes of its deck node: a rotation node (left
  // out when the deck holds its rotations) and an expansion node.
  std::map<int, std::vector<int>> knotNodes;
  for (std::size_t i = 0; i < knots; ++i) {
    auto below = std::lower_bound(gen.sorted.begin(), gen.sorted.end(), others[i]);
    if (below == gen.sorted.begin())
      throw InputError(dofFile + ": node " + std::to_string(others[i]) +
                       " is neither the deck's nor one CalculiX generated for it");
    knotNodes[gen.owner.at(*(below - 1))].push_back(others[i]);
  }
  for (const auto& [reference, nodes] : knotNodes) {
    if (nodes.size() > 2)
      throw InputError(dofFile + ": nodes " + std::to_string(nodes[0]) + " to " +
                       std::to_string(nodes.back()) + " cannot all belong to the knot at node " +
                       std::to_string(reference));
    const DeckNode* d = deck.Node(reference);
    if (nodes.size() == 2) extra[nodes[0]] = {Role::Rotation, reference, d->x, d->y, d->z};
    extra[nodes.back()] = {Role::Expansion, reference, d->x, d->y, d->z};
  }

  // Each row's node: the deck node itself, one of its generated nodes (never for a knot, whose
  // generated nodes all follow its reference node), or the node the row names. Rows run by node
  // number, then direction; the last node that keeps that order is taken, which is CalculiX's
  // choice where it held some of a deck node's generated nodes.
  auto candidates = [&](int label) {
    std::vector<int> c{label};
    auto g = gen.of.find(label);
    if (deck.Node(label) && g != gen.of.end() && !knotNodes.count(label))
      c.insert(c.end(), g->second.begin(), g->second.end());
    return c;
  };
  const std::size_t n = rows.size();
  std::vector<int> latest(n);
  Key next{std::numeric_limits<long long>::max(), 0};
  for (std::size_t r = n; r-- > 0;) {
    std::vector<int> c = candidates(rows[r].node);
    int chosen = 0;
    for (auto it = c.rbegin(); it != c.rend(); ++it)
      if (Key{*it, rows[r].direction} < next && (!chosen || *it > chosen)) chosen = *it;
    if (!chosen)
      throw InputError(Where(dofFile, rows[r].line) + "node " + std::to_string(rows[r].node) +
                       " direction " + std::to_string(rows[r].direction) +
                       " does not follow the deck" + (frd ? " and the .frd" : "") +
                       ": the rows cannot be given to its nodes in CalculiX's order");
    latest[r] = chosen;
    next = {chosen, rows[r].direction};
  }
  // The same from the first row on, taking the first node that keeps the order: where the two
  // differ among generated nodes, the .dof alone cannot tell which one holds the row.
  Key previous{std::numeric_limits<long long>::min(), 0};
  std::set<int> ambiguous;
  for (std::size_t r = 0; r < n; ++r) {
    int chosen = 0;
    std::vector<int> c = candidates(rows[r].node);
    if (c.size() > 1 && latest[r] != rows[r].node) c.erase(c.begin());
    for (int node : c)
      if (previous < Key{node, rows[r].direction} && (!chosen || node < chosen)) chosen = node;
    if (!chosen) chosen = latest[r];
    previous = {chosen, rows[r].direction};
    if (chosen != latest[r]) ambiguous.insert(rows[r].node);
  }

  CalculixModel out;
  FullModel& model = out.model;
  model.files = {names.sti, names.mas, names.dof, deck.path, ""};
  model.held = !deck.boundaries.empty();
  std::set<int>& withRows = out.withRows;
  for (std::size_t r = 0; r < n; ++r) {
    const int node = latest[r], direction = rows[r].direction;
    DofRow d{node, direction, rows[r].line};
    auto x = extra.find(node);
    if (x != extra.end()) {
      d.node = x->second.role == Role::Rotation ? x->second.node : node;
      d.ldof = direction + (x->second.role == Role::Rotation ? 3 : kFirstGeneralisedDof - 1);
    }
    withRows.insert(d.node);
    model.dofs.push_back(d);
  }

  // Nodes: the deck's (rotation nodes are rotations, not nodes), then generated ones with rows.
  for (const DeckNode& d : deck.nodes)
    if (!extra.count(d.label)) model.nodes.push_back({d.label, d.x, d.y, d.z, 0});
  for (int node : withRows) {
    if (deck.Node(node)) continue;
    auto g = gen.owner.find(node);
    if (g != gen.owner.end()) {
      const FrdNode& at = gen.where.at(node);
      model.nodes.push_back({node, at.x, at.y, at.z, 0});
      out.owner[node] = g->second;
      out.generated[g->second].push_back(node);
    } else {
      const Extra& x = extra.at(node);
      model.nodes.push_back({node, x.x, x.y, x.z, 0});
      out.generalised.insert(node);
      out.owner[node] = x.node;
      out.generated[x.node].push_back(node);
    }
  }

  // An expanded deck node moves as the mean of its generated nodes.
  std::map<std::pair<int, int>, std::vector<int>> rowsOf;
  for (int r = 0; r < static_cast<int>(n); ++r)
    rowsOf[{model.dofs[static_cast<std::size_t>(r)].node,
            model.dofs[static_cast<std::size_t>(r)].ldof}]
        .push_back(r);
  for (const auto& [deckNode, nodes] : out.generated) {
    if (knotNodes.count(deckNode)) continue;
    for (int direction = 1; direction <= 3; ++direction) {
      if (rowsOf.count({deckNode, direction})) continue;
      DerivedDof derived{deckNode, direction, {}};
      for (int g : nodes) {
        auto it = rowsOf.find({g, direction});
        if (it != rowsOf.end()) derived.rows.push_back(it->second[0]);
      }
      if (!derived.rows.empty()) out.derived.push_back(std::move(derived));
    }
  }

  if (!ambiguous.empty()) {
    std::string labels;
    int shown = 0;
    for (int a : ambiguous)
      if (shown++ < 8) labels += " " + std::to_string(a);
    out.warnings.push_back(
        "the rows of " + std::to_string(ambiguous.size()) + " deck nodes (" + labels.substr(1) +
        (ambiguous.size() > 8 ? ", ..." : "") +
        ") could belong to more than one of their generated nodes (the deck holds or ties some "
        "of them); each was given to the last one, as CalculiX numbers them, so their positions "
        "may be off by up to the section's size");
  }
  model.stiffness = std::move(stiffness);
  model.mass = std::move(mass);
  CheckFullModel(model);
  out.deck = std::move(deck);
  return out;
}

}  // namespace uma::reduce
