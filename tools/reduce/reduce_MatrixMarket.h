// A strict reader and a plain writer of Matrix Market files (coordinate or array, real or
// integer, general or symmetric). The reader refuses anything it cannot read exactly (a bad
// banner, an index outside the matrix, an entry given twice, a count that disagrees) with an
// InputError that names the file and the line.
#pragma once

#include <Eigen/Dense>
#include <Eigen/SparseCore>
#include <string>
#include <vector>

namespace reduce {

using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

struct MatrixEntry {
  int row = 0;  // from 0
  int column = 0;
  double value = 0.0;
  long line = 0;  // where the file gave it
};

struct MatrixFile {
  std::string path;
  int rows = 0;
  int columns = 0;
  bool symmetric = false;            // the file stores one triangle of a symmetric matrix
  std::vector<MatrixEntry> entries;  // as the file gives them (array files: nonzeros only)
};

// Reads `path`; throws InputError naming the file and line of the first fault.
MatrixFile ReadMatrixMarket(const std::string& path);

// A square symmetric matrix, both triangles stored. A general file must hold the same value
// at (i, j) and (j, i) to a relative 1e-9; `what` says what the matrix is for in messages.
SparseMatrix ToSymmetric(const MatrixFile& file, const std::string& what);

// The matrix as dense columns (for load vectors: few columns).
Eigen::MatrixXd ToDense(const MatrixFile& file);

// Writes the lower triangle of a symmetric matrix as "coordinate real symmetric".
void WriteSymmetric(const std::string& path, const SparseMatrix& matrix);
// Writes a dense matrix as "array real general".
void WriteDense(const std::string& path, const Eigen::MatrixXd& matrix);

}  // namespace reduce
