// What the tools say of a model on top of the library: labels taken out of a mapping's answer,
// why a model gave no system, what a type index means, the names of mapping kinds and numbers
// as the reports print them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "uma_Enum.h"

class uma_ArrayInt;

namespace uma::common {

// The members of a mapping's answer, which it releases; none for a null answer.
std::optional<std::vector<int>> TakeLabels(uma_ArrayInt* array);

// Why the last open gave a null system: the platform's reason, or that the model holds none.
std::string OpenFailure();

// What a stored matrix of the type index is for ("node coordinates", "mode matrix", ...), or ""
// for a type index without a known meaning.
std::string TypeMeaning(int type);

// What a mapping kind labels, plural: "dofs", "modes", "nodes", "elements"; "other" for the
// set's own member numbers.
const char* MapKindName(uma_Enum::uma_MapTypeEnum kind);

// A number as the reports print it: six significant digits.
std::string FormatNumber(double value);

}  // namespace uma::common
