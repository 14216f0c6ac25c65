// A full finite-element model as the reduction takes it.
#include "reduce_FullModel.h"

#include <map>
#include <unordered_map>
#include <utility>

#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

constexpr int kMaxLoads = 10000;

std::string NameOr(const std::string& file, const char* fallback) {
  return file.empty() ? fallback : file;
}

}  // namespace

void CheckFullModel(const FullModel& model) {
  const FullModelFiles& f = model.files;
  const std::string kFile = NameOr(f.stiffness, "stiffness"), mFile = NameOr(f.mass, "mass"),
                    dofsFile = NameOr(f.dofs, "dofs"), nodesFile = NameOr(f.nodes, "nodes");
  const Eigen::Index n = model.stiffness.rows();
  if (model.stiffness.cols() != n)
    throw InputError(Where(kFile, 0) + "the stiffness matrix must be square");
  if (model.mass.rows() != n || model.mass.cols() != n)
    throw InputError(Where(mFile, 0) + "the mass matrix is " + std::to_string(model.mass.rows()) +
                     " x " + std::to_string(model.mass.cols()) + " but the stiffness matrix is " +
                     std::to_string(n) + " x " + std::to_string(n));
  if (n == 0) throw InputError(Where(kFile, 0) + "the model has no degree of freedom");
  if (static_cast<Eigen::Index>(model.dofs.size()) != n)
    throw InputError(Where(dofsFile, 0) + std::to_string(model.dofs.size()) +
                     " degrees of freedom for matrices of " + std::to_string(n) + " rows");
  std::unordered_map<int, long> nodes;
  for (const NodeRow& node : model.nodes) nodes.emplace(node.label, node.line);
  std::map<std::pair<int, int>, long> seen;
  for (const DofRow& d : model.dofs) {
    if (nodes.find(d.node) == nodes.end())
      throw InputError(Where(dofsFile, d.line) + "node " + std::to_string(d.node) + " is not in " +
                       nodesFile);
    auto [it, inserted] = seen.emplace(std::make_pair(d.node, d.ldof), d.line);
    if (!inserted)
      throw InputError(Where(dofsFile, d.line) + "node " + std::to_string(d.node) + " dof " +
                       std::to_string(d.ldof) + " is given again (first on line " +
                       std::to_string(it->second) + ")");
  }
  if (model.loads.cols() > 0 && model.loads.rows() != n)
    throw InputError(Where(NameOr(f.loads, "loads"), 0) + "load vectors of " +
                     std::to_string(model.loads.rows()) + " rows for matrices of " +
                     std::to_string(n) + " rows");
}

FullModel ReadFullModel(const FullModelFiles& files) {
  FullModel model;
  model.files = files;
  model.stiffness = ToSymmetric(ReadMatrixMarket(files.stiffness), "stiffness");
  model.mass = ToSymmetric(ReadMatrixMarket(files.mass), "mass");
  model.nodes = ReadNodes(files.nodes);
  model.dofs = ReadDofs(files.dofs);
  if (!files.loads.empty()) {
    // Checked before the load vectors are made dense, so that no size a file claims is allocated.
    MatrixFile loads = ReadMatrixMarket(files.loads);
    if (loads.rows != model.stiffness.rows())
      throw InputError(Where(files.loads, 0) + "load vectors of " + std::to_string(loads.rows) +
                       " rows for matrices of " + std::to_string(model.stiffness.rows()) + " rows");
    if (loads.columns > kMaxLoads)
      throw InputError(Where(files.loads, 0) + std::to_string(loads.columns) +
                       " load vectors; at most " + std::to_string(kMaxLoads) + " are read");
    model.loads = ToDense(loads);
  }
  CheckFullModel(model);
  return model;
}

void WriteFullModel(const FullModel& model, const FullModelFiles& files) {
  WriteSymmetric(files.stiffness, model.stiffness);
  WriteSymmetric(files.mass, model.mass);
  WriteDofs(files.dofs, model.dofs);
  WriteNodes(files.nodes, model.nodes);
  if (!files.loads.empty() && model.loads.cols() > 0) WriteDense(files.loads, model.loads);
}

}  // namespace uma::reduce
