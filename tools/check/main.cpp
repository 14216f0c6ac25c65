// uma-check: reads every value and every set of a model through the library and reports what
// breaks the model format's rules (errors) and what looks wrong physically (warnings).
#include <cstdio>
#include <cstring>
#include <string>

#include "QOBSspUmaCore.h"
#include "check_Report.h"

namespace {

const char kUsage[] =
    "usage: uma-check [--json] MODEL\n"
    "\n"
    "Opens the model file MODEL for reading, as a host program would through the library, reads\n"
    "every value and every set, and reports:\n"
    "  errors    values that cannot be read or are not finite, columns of the wrong length, and\n"
    "            layouts that break the format's rules (load columns first, static-mode rows\n"
    "            last, one static mode per A-set degree of freedom, sets that do not match);\n"
    "  warnings  physical findings on the reduced stiffness and mass: asymmetry, a mass that is\n"
    "            not positive definite, dynamic modes that are not mass-normalised;\n"
    "and measures the rigid-body modes, the natural frequencies and the rigid-body mass\n"
    "properties (mass, centre of gravity, inertia about it).\n"
    "\n"
    "  --json   print the same as one JSON object, for scripts\n"
    "  --help   print this help\n"
    "\n"
    "Exit status: 0 without errors (warnings allowed), 1 with errors or when the model cannot be\n"
    "opened, 2 for a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  const char* model = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "uma-check: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else if (model) {
      std::fprintf(stderr, "uma-check: one model at a time\n%s", kUsage);
      return 2;
    } else {
      model = argv[i];
    }
  }
  if (!model) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  int count = 0;
  QOBSspUmaCore_initialize(count);
  uma::check::Report report = uma::check::Check(model);
  QOBSspUmaCore_finalize(count);

  std::fputs((json ? uma::check::AsJson(report) : uma::check::AsText(report)).c_str(), stdout);
  return report.Errors() > 0 ? 1 : 0;
}
