// What the tools say of a model on top of the library (see common_Model.h).
#include "common_Model.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_ArrayInt.h"

namespace uma::common {

std::optional<std::vector<int>> TakeLabels(uma_ArrayInt* array) {
  std::unique_ptr<uma_ArrayInt> owned(array);
  if (!owned) return std::nullopt;
  std::vector<int> out(static_cast<std::size_t>(std::max(0, owned->Size())));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = (*owned)[static_cast<int>(i)];
  return out;
}

std::string OpenFailure() {
  const std::string& reason = pfm::LastOpenFailure();
  return reason.empty() ? "the model holds no substructure system" : reason;
}

std::string TypeMeaning(int type) {
  namespace types = pfm::types;
  if (type == types::NodeCoordinates()) return "node coordinates";
  if (type == types::ReducedStiffness()) return "reduced stiffness";
  if (type == types::ReducedMass()) return "reduced mass";
  if (type == types::RecoveryMatrix()) return "recovery matrix";
  if (type == types::ModeMatrix()) return "mode matrix";
  return "";
}

const char* MapKindName(uma_Enum::uma_MapTypeEnum kind) {
  switch (kind) {
    case uma_Enum::uma_MapDof:
      return "dofs";
    case uma_Enum::uma_MapMode:
      return "modes";
    case uma_Enum::uma_MapNode:
      return "nodes";
    case uma_Enum::uma_MapElement:
      return "elements";
    case uma_Enum::uma_MapInternal:
      break;
  }
  return "other";
}

std::string FormatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace uma::common
