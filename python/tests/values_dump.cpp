// Prints a matrix of a model as the library's GetValues gives it, exactly (hexadecimal
// floating point), for the Python tests to compare the binding's values with, bit for bit.
//   uma-values-dump MODEL KEY OPTIONS    KEY: a type index, or a name
// Output: "ROWS COLUMNS", then one value per line, column by column.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "QOBSspUmaCore.h"
#include "uma_IncoreMatrix.h"
#include "uma_Matrix.h"
#include "uma_System.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: uma-values-dump MODEL KEY OPTIONS\n");
    return 2;
  }
  const std::string key = argv[2];
  const bool byType = key.find_first_not_of("0123456789") == std::string::npos;
  const int options = std::atoi(argv[3]);
  int count = 0;
  QOBSspUmaCore_initialize(count);
  int status = 0;
  {
    uma_System system(argv[1], false);
    std::unique_ptr<const uma_Matrix> matrix(byType ? system.Matrix(std::atoi(key.c_str()), options)
                                                    : system.Matrix(key.c_str(), options));
    if (!matrix) {
      std::fprintf(stderr, "uma-values-dump: no matrix %s\n", key.c_str());
      status = 1;
    } else {
      const int rows = matrix->NumRows(), columns = matrix->NumColumns();
      std::printf("%d %d\n", rows, columns);
      if (rows > 0 && columns > 0) {
        uma_IncoreMatrix values(rows, columns, nullptr);
        matrix->GetValues(0, rows - 1, 0, columns - 1, values);
        for (int c = 0; c < columns; ++c)
          for (int r = 0; r < rows; ++r) std::printf("%a\n", values.value(r, c));
      }
    }
  }
  QOBSspUmaCore_finalize(count);
  return status;
}
