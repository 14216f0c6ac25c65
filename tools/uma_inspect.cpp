// uma-inspect: prints what a host sees of a stored model through the library.
#include <cstdio>
#include <cstring>
#include <string>

#include "QOBSspUmaCore.h"
#include "uma_InspectReport.h"

namespace {

const char kUsage[] =
    "usage: uma-inspect [--json] MODEL\n"
    "\n"
    "Opens the model file MODEL for reading, as a host program would through the library, and\n"
    "prints its system (type, loads, static modes), the matrices it holds (type index or name,\n"
    "dimensions, what their rows and columns are) and its flexible-body view (FE nodes, A-set\n"
    "nodes and degrees of freedom followed by the dynamic modes, recovery set, the labels of the\n"
    "columns of \"xGFAA\").\n"
    "\n"
    "  --json   print the same as one JSON object, for scripts\n"
    "  --help   print this help\n"
    "\n"
    "Exit status: 0 when the model opens, 1 when it cannot be opened (the reason is printed on\n"
    "one line), 2 for a usage error.\n";

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
      std::fprintf(stderr, "uma-inspect: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else if (model) {
      std::fprintf(stderr, "uma-inspect: one model at a time\n%s", kUsage);
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
  inspect::Report report = inspect::Gather(model);
  QOBSspUmaCore_finalize(count);

  if (json) {
    std::fputs(inspect::AsJson(report).c_str(), stdout);
  } else if (report.opened) {
    std::fputs(inspect::AsText(report).c_str(), stdout);
  }
  if (!report.opened) {
    // File reasons name the file already; others get the model's name in front.
    if (report.failure.find(model) == std::string::npos)
      std::fprintf(stderr, "uma-inspect: %s: %s\n", model, report.failure.c_str());
    else
      std::fprintf(stderr, "uma-inspect: %s\n", report.failure.c_str());
    return 1;
  }
  return 0;
}
