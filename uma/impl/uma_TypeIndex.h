// The type-index pairs the library uses, each asked of the platform afresh at every use.
#pragma once

#include "QOBSimAPI.h"

namespace uma_TypeIndex {

// What the members of a component set are.
inline int DofPosition() { return ads_CoreFragmentTypeIndex(31, 3); }
inline int ModePosition() { return ads_CoreFragmentTypeIndex(10, 14); }
inline int NodePosition() { return ads_CoreFragmentTypeIndex(31, 58); }
inline int ElementPosition() { return ads_CoreFragmentTypeIndex(31, 15); }

// Matrix and component-set types.
inline int NodeCoordinates() { return ads_CoreFragmentTypeIndex(31, 37); }
inline int RecoveryMatrix() { return ads_CoreFragmentTypeIndex(20, 68); }
inline int ASetCSet() { return ads_CoreFragmentTypeIndex(20, 72); }
inline int ASetNodeCSet() { return ads_CoreFragmentTypeIndex(20, 73); }
inline int ModeMatrix() { return ads_CoreFragmentTypeIndex(20, 74); }

// The steps from an opened model to its system.
inline int SubstructureStep() { return ads_CoreFragmentTypeIndex(24, 9); }
inline int SystemStep() { return ads_CoreFragmentTypeIndex(20, 8); }

}  // namespace uma_TypeIndex
