// What the tools share on top of the library: labels taken out of a mapping's answer, and why
// a model gave no system.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pfm_Support.h"
#include "uma_ArrayInt.h"

namespace uma::common {

// The members of a mapping's answer, which it releases; none for a null answer.
inline std::optional<std::vector<int>> TakeLabels(uma_ArrayInt* array) {
  std::unique_ptr<uma_ArrayInt> owned(array);
  if (!owned) return std::nullopt;
  std::vector<int> out(static_cast<std::size_t>(owned->Size()));
  for (int i = 0; i < owned->Size(); ++i) out[static_cast<std::size_t>(i)] = (*owned)[i];
  return out;
}

// Why the last open gave a null system: the platform's reason, or that the model holds none.
inline std::string OpenFailure() {
  const std::string& reason = pfm::LastOpenFailure();
  return reason.empty() ? "the model holds no substructure system" : reason;
}

}  // namespace uma::common
