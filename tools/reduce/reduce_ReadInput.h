// What uma-reduce reduces, from the files a user gives: a full model read from Matrix Market
// files or a CalculiX job, the node lists resolved against it, and the interface nodes and held
// dofs applied to it as an exact transformation. After the reduction it builds the model file
// with a row for every original dof (and each expanded deck node), generated nodes internal,
// their lumped mass at their deck nodes, and the deck's mesh.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "pfm_ModelBuilder.h"
#include "reduce_CalculixJob.h"
#include "reduce_CraigBampton.h"
#include "reduce_Interface.h"
#include "reduce_ModelOutput.h"

namespace uma::reduce {

// The lists as the user gave them.
struct NodeLists {
  std::string boundary, internal, fixed;
  std::vector<InterfaceText> interfaces;
};

struct Input {
  FullModel matrices;                     // read from Matrix Market files (no CalculiX job)
  std::unique_ptr<CalculixJob> calculix;  // or the CalculiX job
  std::vector<InterfaceNode> interfaces;
  std::vector<HeldDofs> held;
  Transformation transformation;
  std::vector<int> boundary;  // labels of the boundary nodes of the reduced model
  std::vector<int> internal;  // labels the user marked internal

  const FullModel& Original() const;
  const FullModel& Reduced() const;  // the model the reduction takes

  // The model file of `reduction` (a reduction of Reduced()). The builder views the basis where
  // it lies: in `reduction`, or (for transformed input) in this Input's expansion of it, so both
  // must outlive the builder; a second Build replaces the expansion.
  pfm::ModelBuilder Build(const std::string& name, const Reduction& reduction,
                          OutputOptions options);
  // Lines for the summary: the CalculiX job, the interfaces and held dofs ("" for plain input).
  std::string Describe() const;

 private:
  FullModel m_outputModel;      // the original dofs and those the expansion adds
  Reduction m_outputReduction;  // the reduction expanded onto m_outputModel
};

// Reads the model (`calculix` empty: from `files`) and resolves the lists; warnings go to `err`.
// Throws InputError for input that cannot be reduced.
Input ReadInput(const FullModelFiles& files, const std::string& calculix, const NodeLists& lists,
                std::FILE* err);

}  // namespace uma::reduce
