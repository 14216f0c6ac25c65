// One matrix of a model written out for other programs: Matrix Market (array, real, general:
// what scipy's mmread reads) or CSV, with the labels of its rows and columns, values printed so
// that they read back bit for bit.
#pragma once

#include <ostream>
#include <string>

namespace uma::inspect {

enum class MatrixFormat { MatrixMarket, Csv };

struct MatrixRequest {
  // The key as uma-inspect lists it (common_MatrixKey.h): a type index ("20068"), or a name,
  // a user matrix before a named matrix ("xGFAA"; "name:123" for a name made of digits).
  std::string key;
  int options = 0;  // the library's retrieval options (1 filter, 2 static-mode rows, 4 loads)
  MatrixFormat format = MatrixFormat::MatrixMarket;
};

// Opens `model` for reading and writes the matrix to `out`. Answers "" when it did, or why it
// could not (no such model or matrix, a value that cannot be read), having written nothing.
// The library must be initialised.
std::string WriteMatrix(const std::string& model, const MatrixRequest& request, std::ostream& out);

}  // namespace uma::inspect
