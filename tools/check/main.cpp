// uma-check: reads every value and every set of a model through the library and reports what
// breaks the model format's rules (errors) and what looks wrong physically (warnings).
#include <cstdio>
#include <string>

#include "QOBSspUmaCore.h"
#include "check_Report.h"
#include "common_Command.h"

namespace {

const char kSynopsis[] = "usage: uma-check [--json] MODEL\n";

const char kDescription[] =
    "Opens the model file MODEL for reading, as a host program would through the library, reads\n"
    "every value and every set, and reports:\n"
    "  errors    values that cannot be read or are not finite, columns of the wrong length, and\n"
    "            layouts that break the format's rules (load columns first, static-mode rows\n"
    "            last, one static mode per A-set degree of freedom, sets that do not match);\n"
    "  warnings  physical findings on the reduced stiffness and mass: asymmetry, a mass that is\n"
    "            not positive definite, dynamic modes that are not mass-normalised;\n"
    "and measures the rigid-body modes, the natural frequencies and the rigid-body mass\n"
    "properties (mass, centre of gravity, inertia about it). Matrices are named by the keys\n"
    "uma-inspect lists and takes.\n";

}  // namespace

int main(int argc, char** argv) {
  namespace common = uma::common;
  CLI::App app("", "uma-check");
  common::SetUpCommand(app, kSynopsis, kDescription, "without errors (warnings allowed)",
                       "with errors or when the model cannot be opened");
  std::string model;
  bool json = false;
  app.add_option("MODEL", model, "the model file")->type_name("")->required();
  app.add_flag("--json", json, "print the same as one JSON object, for scripts");
  if (auto exit = common::ParseCommand(app, argc, argv, stdout, stderr)) return *exit;

  int count = 0;
  QOBSspUmaCore_initialize(count);
  uma::check::Report report = uma::check::Check(model);
  QOBSspUmaCore_finalize(count);

  std::fputs((json ? uma::check::AsJson(report) : uma::check::AsText(report)).c_str(), stdout);
  return report.Errors() > 0 ? common::kExitFailed : common::kExitDone;
}
