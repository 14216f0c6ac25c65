// The model file a reduction makes: the builder's model of the reduced system, laid out as the
// library reads it (see docs/model-format.md).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "pfm_ModelBuilder.h"
#include "reduce_CraigBampton.h"

namespace uma::reduce {

struct OutputOptions {
  std::vector<int> internal;  // labels of the nodes marked internal (never boundary nodes)
  // Model attributes: units and provenance, by their names in pfm::attributes.
  std::vector<std::pair<std::string, std::string>> attributes;
  // Each node's lumped mass, in the order of the model's nodes; empty: LumpedNodeMass.
  std::vector<double> lumpedMass;
  // The mesh the model was reduced from, kept in the model file.
  std::vector<pfm::MeshElement> mesh;
};

// Throws InputError when an internal node does not exist, is given twice or is a boundary node.
void CheckInternalNodes(const FullModel& model, const std::vector<int>& boundary,
                        const std::vector<int>& internal);

// Each node's mass: the mean over its translational dofs of the mass that a rigid translation
// in that direction puts there (a row sum of M over the dofs of that direction); the node
// masses add up to the structure's mass.
std::vector<double> LumpedNodeMass(const FullModel& model);

// The model of `reduction` under `name`: nodes (internal ones marked), dofs, modes (the loads,
// then a static mode per boundary dof, then the dynamic modes), node coordinates, mode matrix,
// recovery matrix, reduced stiffness and mass, A-set and its nodes, lumped mass, "xGFAA" (the
// stiffness condensed on the A-set) and the attributes. The basis, the load responses and the
// loads stay where `reduction` and `model` hold them (the builder views them, and saving streams
// them into the file, the basis once), so both must outlive the builder.
pfm::ModelBuilder BuildReducedModel(const std::string& name, const FullModel& model,
                                    const Reduction& reduction, const OutputOptions& options);

}  // namespace uma::reduce
