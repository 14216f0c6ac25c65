// The type indices a model file gives a meaning to, by name, for tools and hosts that write or
// read models. Each is ads_CoreFragmentTypeIndex(major, minor) of the pair in its comment.
#pragma once

#include "QOBSimAPI.h"

namespace pfm::types {

// What the members of a component set are (a collection's position type).
inline int DofPosition() { return ads_CoreFragmentTypeIndex(31, 3); }       // degrees of freedom
inline int ModePosition() { return ads_CoreFragmentTypeIndex(10, 14); }     // modes
inline int NodePosition() { return ads_CoreFragmentTypeIndex(31, 58); }     // nodes
inline int ElementPosition() { return ads_CoreFragmentTypeIndex(31, 15); }  // elements

// Matrix types.
inline int NodeCoordinates() { return ads_CoreFragmentTypeIndex(31, 37); }  // nodes x 3
inline int ReducedStiffness() { return ads_CoreFragmentTypeIndex(20, 61); }
inline int ReducedMass() { return ads_CoreFragmentTypeIndex(20, 62); }
inline int RecoveryMatrix() { return ads_CoreFragmentTypeIndex(20, 68); }
inline int ModeMatrix() { return ads_CoreFragmentTypeIndex(20, 74); }

// Component-set types.
inline int ASet() { return ads_CoreFragmentTypeIndex(20, 72); }       // the A-set's dofs
inline int ASetNodes() { return ads_CoreFragmentTypeIndex(20, 73); }  // the A-set's nodes

// Names of the named matrices the flexible-body view reads.
constexpr const char* kLumpedMass = "LumpedMass";  // a distribution name
constexpr const char* kGFAA = "xGFAA";             // a user matrix
// The loads: each load vector over the dofs ("Loads", dofs x loads) and projected onto the
// reduced coordinates ("ReducedLoads", mode matrix columns x loads: Phi^T F), both distribution
// names, their columns labelled by the loads' modes.
constexpr const char* kLoads = "Loads";
constexpr const char* kReducedLoads = "ReducedLoads";

}  // namespace pfm::types

// Names of a model's optional attributes (ModelBuilder::Attribute, ModelContents::attributes).
// Units are written as a user writes them ("m", "kg", "s", "N"); a model may hold any other
// name too, and any of these may be absent.
namespace pfm::attributes {
constexpr const char* kUnitLength = "unit.length";
constexpr const char* kUnitMass = "unit.mass";
constexpr const char* kUnitTime = "unit.time";
constexpr const char* kUnitForce = "unit.force";
constexpr const char* kProgram = "provenance.program";  // the program that wrote the model
constexpr const char* kDate = "provenance.date";        // when, preferably ISO 8601
constexpr const char* kSource = "provenance.source";    // the file the model was reduced from
}  // namespace pfm::attributes
