// uma-inspect: prints what a host sees of a stored model through the library, writes one of its
// matrices out for other programs, or writes the model for a viewer.
#include <cstdio>
#include <iostream>
#include <string>

#include "QOBSspUmaCore.h"
#include "common_Command.h"
#include "inspect_MatrixExport.h"
#include "inspect_Report.h"
#include "inspect_VtuExport.h"
#include "pfm_Support.h"

namespace {

namespace common = uma::common;
namespace inspect = uma::inspect;

const char kSynopsis[] =
    "usage: uma-inspect [--json] MODEL\n"
    "       uma-inspect --matrix KEY [--format mtx|csv] [--options N] MODEL\n"
    "       uma-inspect --vtu FILE MODEL\n";

const char kDescription[] =
    "Opens the model file MODEL for reading, as a host program would through the library, and\n"
    "prints its system (type, loads, static modes), its attributes (units, provenance; absent\n"
    "ones are shown as absent), the matrices it holds (their keys, what they are, dimensions,\n"
    "what their rows and columns are) and its flexible-body view (FE nodes, A-set nodes and\n"
    "degrees of freedom followed by the dynamic modes, recovery set, the labels of the columns\n"
    "of \"xGFAA\").\n";

// Prints why `model` could not be opened or written; file reasons name the file already.
int Failed(const std::string& model, const std::string& failure) {
  if (failure.find(model) == std::string::npos)
    std::fprintf(stderr, "uma-inspect: %s: %s\n", model.c_str(), failure.c_str());
  else
    std::fprintf(stderr, "uma-inspect: %s\n", failure.c_str());
  return common::kExitFailed;
}

int WriteVtu(const std::string& model, const std::string& vtu) {
  // Each column is read once: pages kept for reading again would hold the whole mode matrix.
  pfm::StoreSettings settings = pfm::GetStoreSettings();
  settings.readerCacheKiB = 1024;
  pfm::SetStoreSettings(settings);
  inspect::VtuSummary summary;
  std::string failure = inspect::WriteVtu(model, vtu, summary);
  if (!failure.empty()) return Failed(model, failure);
  std::fputs(inspect::AsText(summary, vtu).c_str(), stdout);
  if (summary.elementsLeftOut > 0)
    std::fprintf(stderr, "uma-inspect: warning: %d elements are not drawn: %s\n",
                 summary.elementsLeftOut, summary.leftOutReason.c_str());
  return common::kExitDone;
}

int Report(const std::string& model, bool json) {
  inspect::Report report = inspect::Gather(model);
  if (json)
    std::fputs(inspect::AsJson(report).c_str(), stdout);
  else if (report.opened)
    std::fputs(inspect::AsText(report).c_str(), stdout);
  return report.opened ? common::kExitDone : Failed(model, report.failure);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("", "uma-inspect");
  common::SetUpCommand(app, kSynopsis, kDescription,
                       "when the model opens (and the matrix or file is written)",
                       "when it cannot be opened or the matrix or file cannot be written (the "
                       "reason is printed on one line; no file is left)");
  std::string model, vtu, format = "mtx";
  bool json = false;
  inspect::MatrixRequest request;
  app.add_option("MODEL", model, "the model file")->type_name("")->required();
  CLI::Option* jsonOption =
      app.add_flag("--json", json, "print the same as one JSON object, for scripts");
  CLI::Option* matrixOption =
      app.add_option("--matrix", request.key,
                     "write one matrix instead: KEY as the listing shows it, a type index\n"
                     "(20068) or a name (xGFAA; name:KEY for a name made of digits); its row\n"
                     "and column labels are in the comments (mtx) or the header row and first\n"
                     "column (csv)")
          ->type_name("KEY");
  CLI::Option* formatOption =
      app.add_option("--format", format, "mtx (Matrix Market, the default) or csv")
          ->type_name("F")
          ->check(CLI::IsMember({"mtx", "csv"}));
  CLI::Option* optionsOption =
      app.add_option("--options", request.options,
                     "the library's retrieval options for --matrix: 1 filters internal nodes,\n"
                     "2 trims the static-mode rows, 4 trims the load columns; default 0")
          ->type_name("N")
          ->check(CLI::Range(0, 7));
  CLI::Option* vtuOption =
      app.add_option("--vtu", vtu,
                     "write the model for a viewer (ParaView) to FILE, a VTK XML unstructured\n"
                     "grid: the nodes (internal ones flagged) and the stored mesh, each mode of\n"
                     "the mode matrix as a displacement field named by its kind, number and\n"
                     "frequency, the units and frequencies as field data; prints what it wrote")
          ->type_name("FILE");
  if (auto exit = common::ParseCommand(app, argc, argv, stdout, stderr)) return *exit;
  const bool matrix = matrixOption->count() > 0, toVtu = vtuOption->count() > 0;
  if (matrix + toVtu + (jsonOption->count() > 0) > 1)
    return common::UsageError(app, stderr, "--json, --matrix and --vtu do not go together");
  if (!matrix && (formatOption->count() > 0 || optionsOption->count() > 0))
    return common::UsageError(app, stderr, "--format and --options need --matrix");
  request.format =
      format == "csv" ? inspect::MatrixFormat::Csv : inspect::MatrixFormat::MatrixMarket;

  int count = 0;
  QOBSspUmaCore_initialize(count);
  int status = common::kExitDone;
  if (toVtu) {
    status = WriteVtu(model, vtu);
  } else if (matrix) {
    std::string failure = inspect::WriteMatrix(model, request, std::cout);
    std::cout.flush();
    if (!failure.empty()) status = Failed(model, failure);
  } else {
    status = Report(model, json);
  }
  QOBSspUmaCore_finalize(count);
  return status;
}
