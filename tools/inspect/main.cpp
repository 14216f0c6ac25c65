// uma-inspect: prints what a host sees of a stored model through the library, writes one of its
// matrices out for other programs, or writes the model for a viewer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "QOBSspUmaCore.h"
#include "pfm_Support.h"
#include "inspect_Report.h"
#include "inspect_MatrixExport.h"
#include "inspect_VtuExport.h"

namespace {

const char kUsage[] =
    "usage: uma-inspect [--json] MODEL\n"
    "       uma-inspect --matrix KEY [--format mtx|csv] [--options N] MODEL\n"
    "       uma-inspect --vtu FILE MODEL\n"
    "\n"
    "Opens the model file MODEL for reading, as a host program would through the library, and\n"
    "prints its system (type, loads, static modes), its attributes (units, provenance; absent\n"
    "ones are shown as absent), the matrices it holds (type index or name, dimensions, what\n"
    "their rows and columns are) and its flexible-body view (FE nodes, A-set nodes and degrees\n"
    "of freedom followed by the dynamic modes, recovery set, the labels of the columns of\n"
    "\"xGFAA\").\n"
    "\n"
    "  --json         print the same as one JSON object, for scripts\n"
    "  --matrix KEY   write one matrix instead: KEY is a type index (20068) or a name (xGFAA;\n"
    "                 name:KEY for a name made of digits); its row and column labels are in\n"
    "                 the comments (mtx) or the header row and first column (csv)\n"
    "  --format F     mtx (Matrix Market, the default) or csv\n"
    "  --options N    the library's retrieval options for --matrix: 1 filters internal nodes,\n"
    "                 2 trims the static-mode rows, 4 trims the load columns; default 0\n"
    "  --vtu FILE     write the model for a viewer (ParaView) to FILE, a VTK XML unstructured\n"
    "                 grid: the nodes (internal ones flagged) and the stored mesh, each mode of\n"
    "                 the mode matrix as a displacement field named by its kind, number and\n"
    "                 frequency, the units and frequencies as field data; prints what it wrote\n"
    "  --help         print this help\n"
    "\n"
    "Exit status: 0 when the model opens (and the matrix or file is written), 1 when it cannot be\n"
    "opened or the matrix or file cannot be written (the reason is printed on one line; no file\n"
    "is left), 2 for a usage error.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "uma-inspect: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

// Prints why `model` could not be opened or written; file reasons name the file already.
int Failed(const std::string& model, const std::string& failure) {
  if (failure.find(model) == std::string::npos)
    std::fprintf(stderr, "uma-inspect: %s: %s\n", model.c_str(), failure.c_str());
  else
    std::fprintf(stderr, "uma-inspect: %s\n", failure.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  const char* model = nullptr;
  const char* matrix = nullptr;
  const char* vtu = nullptr;
  uma::inspect::MatrixRequest request;
  bool formatGiven = false, optionsGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--json") {
      json = true;
    } else if (arg == "--matrix" || arg == "--format" || arg == "--options" || arg == "--vtu") {
      if (!hasValue) return Usage(arg + " needs a value");
      std::string value = argv[++i];
      if (arg == "--vtu") {
        vtu = argv[i];
      } else if (arg == "--matrix") {
        matrix = argv[i];
        request.key = value;
      } else if (arg == "--format") {
        formatGiven = true;
        if (value == "mtx")
          request.format = uma::inspect::MatrixFormat::MatrixMarket;
        else if (value == "csv")
          request.format = uma::inspect::MatrixFormat::Csv;
        else
          return Usage("unknown format " + value + " (mtx or csv)");
      } else {
        optionsGiven = true;
        char* end = nullptr;
        long n = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || n < 0 || n > 7)
          return Usage("--options takes a number from 0 to 7");
        request.options = static_cast<int>(n);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (model) {
      return Usage("one model at a time");
    } else {
      model = argv[i];
    }
  }
  if (!model) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if ((matrix != nullptr) + (vtu != nullptr) + json > 1)
    return Usage("--json, --matrix and --vtu do not go together");
  if (!matrix && (formatGiven || optionsGiven))
    return Usage("--format and --options need --matrix");

  int count = 0;
  QOBSspUmaCore_initialize(count);
  if (vtu) {
    // Each column is read once: pages kept for reading again would hold the whole mode matrix.
    pfm::StoreSettings settings = pfm::GetStoreSettings();
    settings.readerCacheKiB = 1024;
    pfm::SetStoreSettings(settings);
    uma::inspect::VtuSummary summary;
    std::string failure = uma::inspect::WriteVtu(model, vtu, summary);
    QOBSspUmaCore_finalize(count);
    if (!failure.empty()) return Failed(model, failure);
    std::fputs(uma::inspect::AsText(summary, vtu).c_str(), stdout);
    if (summary.elementsLeftOut > 0)
      std::fprintf(stderr, "uma-inspect: warning: %d elements are not drawn: %s\n",
                   summary.elementsLeftOut, summary.leftOutReason.c_str());
    return 0;
  }
  if (matrix) {
    std::string failure = uma::inspect::WriteMatrix(model, request, std::cout);
    QOBSspUmaCore_finalize(count);
    std::cout.flush();
    return failure.empty() ? 0 : Failed(model, failure);
  }
  uma::inspect::Report report = uma::inspect::Gather(model);
  QOBSspUmaCore_finalize(count);

  if (json) {
    std::fputs(uma::inspect::AsJson(report).c_str(), stdout);
  } else if (report.opened) {
    std::fputs(uma::inspect::AsText(report).c_str(), stdout);
  }
  if (!report.opened) return Failed(model, report.failure);
  return 0;
}
