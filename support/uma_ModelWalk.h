// Everything a host can reach of a stored model, each question asked once with bounded work:
// counts, every matrix the model stores (with options 0 and 7), dimensions, row and column
// mappings of every kind, small blocks of values, products, set mappings and the flexible-body
// views, then an edit of one value. The fuzzer and the damaged-file tests run it on hostile
// files, where any answer is fine but a crash, a leak or a huge allocation is not.
#pragma once

#include <string>
#include <vector>

namespace uma::sample {

struct WalkResult {
  bool opened = false;              // the model opened for reading as a flexible body
  std::string failure;              // why it did not, when it did not
  int answers = 0;                  // non-null answers and values read
  std::vector<std::string> errors;  // QOBBasError messages met on the way (each step goes on)
  std::string editFailure;          // why the edit was not saved, when it was not
};

// The library must be initialised. `model` is opened for reading; when it opens and `edit` is
// set, once more for editing, and the first value of each writable matrix is written.
WalkResult Walk(const std::string& model, bool edit);

}  // namespace uma::sample
