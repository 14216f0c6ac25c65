// A strict reader and a plain writer of Matrix Market files (coordinate or array, real or
// integer, general or symmetric). The reader refuses anything it cannot read exactly (a bad
// banner, an index outside the matrix, an entry given twice, a count that disagrees) with an
// InputError that names the file and the line.
//
// Reading is lean: the file is read in blocks and parsed in place, each entry kept in 16 bytes,
// and the compressed columns of a symmetric matrix are built from them directly, so that reading
// a stiffness file holds at most about 40 bytes per stored entry at its peak. Line numbers are
// not kept: a refusal that needs one after the file was read finds it by reading the file again.
#pragma once

#include <Eigen/Dense>
#include <Eigen/SparseCore>
#include <cstdint>
#include <string>
#include <vector>

namespace uma::reduce {

using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

struct MatrixFile {
  std::string path;
  int rows = 0;
  int columns = 0;
  bool symmetric = false;  // the file stores one triangle of a symmetric matrix
  bool array = false;      // an array file: every cell given, column by column
  // The entries as compressed columns: those of column c at columnStart[c] .. columnStart[c + 1]
  // - 1 of rowIndex (from 0, ascending) and values. A symmetric file's entries lie in the lower
  // triangle (row >= column), whichever triangle the file gave them in. Array files: nonzeros.
  std::vector<std::int64_t> columnStart;
  std::vector<int> rowIndex;
  std::vector<double> values;
};

// Reads `path`; throws InputError naming the file and line of the first fault.
MatrixFile ReadMatrixMarket(const std::string& path);

// A square symmetric matrix, both triangles stored, rows sorted in each column. A general file
// must hold the same value at (i, j) and (j, i) to a relative 1e-9; `what` says what the matrix
// is for in messages. The overload that takes the file releases its entries as it goes.
SparseMatrix ToSymmetric(MatrixFile&& file, const std::string& what);
SparseMatrix ToSymmetric(const MatrixFile& file, const std::string& what);

// The matrix as dense columns (for load vectors: few columns).
Eigen::MatrixXd ToDense(const MatrixFile& file);

// Writes the lower triangle of a symmetric matrix as "coordinate real symmetric".
void WriteSymmetric(const std::string& path, const SparseMatrix& matrix);
// Writes a dense matrix as "array real general".
void WriteDense(const std::string& path, const Eigen::MatrixXd& matrix);

}  // namespace uma::reduce
