// One matrix of a model written out for other programs: Matrix Market (array, real, general:
// what scipy's mmread reads) or CSV, with the labels of its rows and columns, values printed so
// that they read back bit for bit.
#pragma once

#include <ostream>
#include <string>

namespace uma::inspect {

enum class MatrixFormat { MatrixMarket, Csv };

struct MatrixRequest {
  // A type index ("20068"), or a name: a user matrix, else a named matrix. "name:" in front
  // makes a name of anything, digits included.
  std::string key;
  int options = 0;  // the library's retrieval options (1 filter, 2 static-mode rows, 4 loads)
  MatrixFormat format = MatrixFormat::MatrixMarket;
};

// Opens `model` for reading and writes the matrix to `out`. Answers "" when it did, or why it
// could not (no such model or matrix, a value that cannot be read), having written nothing.
// The library must be initialised.
std::string WriteMatrix(const std::string& model, const MatrixRequest& request, std::ostream& out);

}  // namespace uma::inspect
