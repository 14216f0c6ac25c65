#include "reduce_Command.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common_Pencil.h"
#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "reduce_CalculixJob.h"
#include "reduce_CraigBampton.h"
#include "reduce_InputError.h"
#include "reduce_Interface.h"
#include "reduce_ModelOutput.h"
#include "reduce_ReadInput.h"

namespace uma::reduce {

namespace {

const char kUsage[] =
    "usage: uma-reduce --stiffness K.mtx --mass M.mtx --dofs dofs.csv --nodes nodes.csv\n"
    "                  --boundary NODES [--internal NODES] [--modes N | --cutoff HZ]\n"
    "                  [--loads F.mtx] [--units LENGTH,MASS,TIME,FORCE] -o MODEL\n"
    "       uma-reduce --calculix JOB.inp --boundary NODES [options as above] -o MODEL\n"
    "       either with [--rigid NODE:NODES]... [--distributing NODE:NODES[:WEIGHTS]]...\n"
    "                   [--fixed NODES[:DOFS]]\n"
    "\n"
    "Reduces a full finite-element model to a model file that the library reads: the boundary\n"
    "nodes' degrees of freedom are kept, each with its constraint mode, and the interior is\n"
    "represented by its lowest fixed-interface modes (boundary held), mass-normalised.\n"
    "\n"
    "  --stiffness, --mass  the symmetric stiffness and mass matrices (Matrix Market, coordinate\n"
    "                       or array, real or integer, general or symmetric), of one size\n"
    "  --dofs               one line \"node,ldof\" per matrix row: its node label and local\n"
    "                       degree of freedom (1-3 translations, 4-6 rotations)\n"
    "  --nodes              one line \"label,x,y,z\" per node\n"
    "  --calculix JOB.inp   a CalculiX deck instead: *NODE, *ELEMENT, *NSET, *ELSET, *INCLUDE,\n"
    "                       *BOUNDARY, *RIGID BODY, with the files of its matrix storage step\n"
    "                       beside it (JOB.sti, JOB.mas, JOB.dof; JOB.frd for shells and beams).\n"
    "                       When they are missing or older than the deck and ccx is on the PATH,\n"
    "                       CalculiX runs on a copy of the deck in a temporary folder. Nodes\n"
    "                       CalculiX generates (expanded shells and beams, knots, incompatible\n"
    "                       modes) are internal; a rigid body's rotation node gives its\n"
    "                       reference node dofs 4-6\n"
    "  --boundary           the boundary nodes; all their degrees of freedom are kept. NODES is\n"
    "                       a comma list of labels, ranges (100-140), node sets of the deck and\n"
    "                       @FILE (labels one a line or comma-separated); a deck node takes the\n"
    "                       nodes generated for it\n"
    "  --internal           nodes marked internal in the model (hidden from hosts that filter\n"
    "                       internal nodes); never boundary nodes\n"
    "  --rigid NODE:NODES   ties the nodes' dofs rigidly to NODE's six (an exact transformation:\n"
    "                       NODE's dofs replace theirs). NODE is a node of the model or a new\n"
    "                       label with a position, 9001@X,Y,Z; give it as the boundary for a\n"
    "                       6-dof interface\n"
    "  --distributing NODE:NODES[:WEIGHTS]\n"
    "                       makes NODE's six dofs the weighted average motion of the nodes (a\n"
    "                       least-squares rigid fit of their translations); the face stays\n"
    "                       flexible. WEIGHTS: LABEL=W,... or @FILE of \"label,weight\" lines\n"
    "                       (1 where none is given)\n"
    "  --fixed NODES[:DOFS] holds dofs at zero (DOFS as digits, e.g. 123; all when left out),\n"
    "                       for inputs that keep constrained rows\n"
    "  --modes N            keep the N lowest fixed-interface modes (default 10; 0 keeps none)\n"
    "  --cutoff HZ          keep every fixed-interface mode below HZ instead (cycles per time\n"
    "                       unit), counted exactly before they are computed\n"
    "  --loads F.mtx        load vectors, one column each, as long as the matrices. The recovery\n"
    "                       matrix's load columns hold the full model's static response to each\n"
    "                       load with the boundary held (zero at the boundary); with no loads\n"
    "                       it has no load columns\n"
    "  --units L,M,T,F      the units of the matrices, e.g. m,kg,s,N, kept in the model (a\n"
    "                       CalculiX deck does not say them: give them)\n"
    "  -o MODEL             the model file to write (replaced whole, or left as it was)\n"
    "\n"
    "The model holds: node coordinates; the mode matrix (every dof x the static then dynamic\n"
    "modes); the recovery matrix (every dof, then one row per static mode, x the loads, static\n"
    "and dynamic modes); the reduced stiffness and mass; the A-set (the boundary dofs) and its\n"
    "nodes; \"LumpedMass\" (each node's share of the mass); \"xGFAA\" (the stiffness condensed on\n"
    "the A-set); with loads, \"Loads\" (as given) and \"ReducedLoads\" (on the reduced\n"
    "coordinates, boundary parts included); the units and provenance.\n"
    "\n"
    "Input that cannot be reduced is refused with a reason naming the file and line, and\n"
    "nothing is written: a stiffness that contradicts the nodes' rigid motions (coordinates,\n"
    "dof order, rotation units), a boundary that leaves a rigid motion free, an interior that\n"
    "is not positive definite. Every mode is checked after it is computed (residual and\n"
    "M-orthogonality below 1e-8, in any unit system); a reduction that misses it is refused.\n"
    "Stages that take longer than a second report on standard error; a summary goes to\n"
    "standard output.\n"
    "\n"
    "Exit status: 0 written, 1 refused or failed, 2 usage error.\n";

struct Arguments {
  FullModelFiles files;
  ReductionOptions reduction;
  OutputOptions output;
  std::string units;
  std::string outputPath;
  bool modesGiven = false, cutoffGiven = false;
  std::string calculix;                   // the deck, for --calculix
  std::string boundary, internal, fixed;  // node lists, resolved once the model is read
  std::vector<InterfaceText> interfaces;  // --rigid and --distributing, in order
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Arguments Parse(int argc, const char* const* argv) {
  Arguments a;
  auto value = [&](int& i) -> std::string {
    if (i + 1 >= argc) throw UsageError(std::string(argv[i]) + " needs a value");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--stiffness") {
      a.files.stiffness = value(i);
    } else if (arg == "--mass") {
      a.files.mass = value(i);
    } else if (arg == "--dofs") {
      a.files.dofs = value(i);
    } else if (arg == "--nodes") {
      a.files.nodes = value(i);
    } else if (arg == "--loads") {
      a.files.loads = value(i);
    } else if (arg == "--calculix") {
      a.calculix = value(i);
    } else if (arg == "--boundary") {
      a.boundary = value(i);
    } else if (arg == "--internal") {
      a.internal = value(i);
    } else if (arg == "--fixed") {
      a.fixed = value(i);
    } else if (arg == "--rigid" || arg == "--distributing") {
      try {
        a.interfaces.push_back(ParseInterface(
            arg == "--rigid" ? InterfaceNode::Kind::Rigid : InterfaceNode::Kind::Distributing, arg,
            value(i)));
      } catch (const InputError& e) {
        throw UsageError(e.what());
      }
    } else if (arg == "--modes") {
      std::string v = value(i);
      char* end = nullptr;
      long modes = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || modes < 0 || modes > INT32_MAX)
        throw UsageError("--modes: \"" + v + "\" is not a count");
      a.reduction.modes = static_cast<int>(modes);
      a.modesGiven = true;
    } else if (arg == "--cutoff") {
      std::string v = value(i);
      char* end = nullptr;
      double hz = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || !(hz > 0) || !std::isfinite(hz))
        throw UsageError("--cutoff: \"" + v + "\" is not a frequency above 0");
      a.reduction.cutoffHz = hz;
      a.cutoffGiven = true;
    } else if (arg == "--units") {
      a.units = value(i);
    } else if (arg == "-o" || arg == "--output") {
      a.outputPath = value(i);
    } else {
      throw UsageError("unknown argument " + arg);
    }
  }
  const std::pair<const char*, const std::string*> matrixFiles[] = {
      {"--stiffness", &a.files.stiffness},
      {"--mass", &a.files.mass},
      {"--dofs", &a.files.dofs},
      {"--nodes", &a.files.nodes}};
  for (const auto& [name, field] : matrixFiles) {
    if (a.calculix.empty() && field->empty())
      throw UsageError(std::string(name) + " is required (or --calculix)");
    if (!a.calculix.empty() && !field->empty())
      throw UsageError(std::string(name) + " and --calculix name two models: give one");
  }
  if (a.outputPath.empty()) throw UsageError("-o is required");
  if (a.boundary.empty()) throw UsageError("--boundary is required");
  if (a.modesGiven && a.cutoffGiven) throw UsageError("give --modes or --cutoff, not both");

  const char* names[] = {pfm::attributes::kUnitLength, pfm::attributes::kUnitMass,
                         pfm::attributes::kUnitTime, pfm::attributes::kUnitForce};
  if (!a.units.empty()) {
    std::vector<std::string> units;
    std::size_t start = 0;
    for (;;) {
      std::size_t comma = a.units.find(',', start);
      units.push_back(a.units.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    if (units.size() != 4)
      throw UsageError("--units: give four units, LENGTH,MASS,TIME,FORCE (e.g. m,kg,s,N)");
    for (std::size_t k = 0; k < 4; ++k) {
      if (units[k].empty()) throw UsageError("--units: a unit is empty");
      a.output.attributes.emplace_back(names[k], units[k]);
    }
  }
  return a;
}

std::string Now() {
  std::time_t t = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// Reports a stage on standard error once it has run for a second, and keeps each stage's time
// and the run's.
class Progress : public StageObserver {
 public:
  explicit Progress(std::FILE* err) : m_err(err), m_run(Clock::now()) {}

  void Begin(const std::string& stage) override {
    m_stage = stage;
    m_start = Clock::now();
    m_done = false;
    m_announced = false;
    m_watch = std::thread([this] {
      std::unique_lock<std::mutex> lock(m_mutex);
      if (!m_cv.wait_for(lock, std::chrono::seconds(1), [this] { return m_done; })) {
        std::fprintf(m_err, "uma-reduce: %s...\n", m_stage.c_str());
        std::fflush(m_err);
        m_announced = true;
      }
    });
  }

  void End() override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_done = true;
    }
    m_cv.notify_all();
    m_watch.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
    if (m_announced)
      std::fprintf(m_err, "uma-reduce: %s done in %.1f s\n", m_stage.c_str(), seconds);
    m_times.emplace_back(m_stage, seconds);
  }

  void Note(const std::string& text) override {
    std::fprintf(m_err, "uma-reduce: %s\n", text.c_str());
    std::fflush(m_err);
  }

  const std::vector<std::pair<std::string, double>>& times() const { return m_times; }
  double Elapsed() const { return std::chrono::duration<double>(Clock::now() - m_run).count(); }

 private:
  using Clock = std::chrono::steady_clock;
  std::FILE* m_err;
  Clock::time_point m_run;
  std::string m_stage;
  Clock::time_point m_start;
  std::thread m_watch;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false, m_announced = false;
  std::vector<std::pair<std::string, double>> m_times;
};

void PrintFrequencies(std::FILE* out, const std::vector<double>& f, std::size_t most) {
  for (std::size_t k = 0; k < f.size() && k < most; ++k) std::fprintf(out, " %.6g", f[k]);
  if (f.size() > most) std::fprintf(out, " ... (%zu in all)", f.size());
  std::fprintf(out, "\n");
}

// What the summary prints the frequencies in: Hz when the time unit is the second.
std::string FrequencyUnit(const Arguments& a) {
  for (const auto& [name, value] : a.output.attributes)
    if (name == pfm::attributes::kUnitTime) return value == "s" ? "Hz" : "cycles per " + value;
  return "cycles per time unit";
}

// The reduced model's frequencies, as uma-check computes them from the file.
struct SummaryNumbers {
  uma::common::PencilSpectrum spectrum;
};

SummaryNumbers Compute(const Reduction& r) {
  SummaryNumbers s;
  const int n = static_cast<int>(r.stiffness.rows());
  if (n > uma::common::kLargestPencil) {
    s.spectrum.failure = "more than " + std::to_string(uma::common::kLargestPencil) +
                         " coordinates: not solved densely";
    return s;
  }
  s.spectrum = uma::common::SolvePencil(
      std::vector<double>(r.stiffness.data(), r.stiffness.data() + r.stiffness.size()),
      std::vector<double>(r.mass.data(), r.mass.data() + r.mass.size()), n);
  return s;
}

void Summary(std::FILE* out, const Arguments& a, const FullModel& model, const Reduction& r,
             const SummaryNumbers& numbers, const Progress& progress) {
  const std::string unit = FrequencyUnit(a);
  std::fprintf(out, "uma-reduce: wrote %s\n", a.outputPath.c_str());
  std::fprintf(out, "  full model      %d dofs, %zu nodes, load vectors: %lld\n", model.size(),
               model.nodes.size(), static_cast<long long>(model.loads.cols()));
  if (r.rigidBody.held)
    std::fprintf(out, "  rigid motions   held: the stiffness restrains them at %d nodes\n",
                 r.rigidBody.heldNodes);
  else
    std::fprintf(out, "  rigid motions   free: ||K r|| / (||K|| ||r||) at most %.2g\n",
                 *std::max_element(r.rigidBody.residual.begin(), r.rigidBody.residual.end()));
  std::fprintf(out, "  boundary        %d dofs (static modes), nodes:", r.staticModes());
  const std::size_t shown = std::min<std::size_t>(a.reduction.boundary.size(), 12);
  for (std::size_t i = 0; i < shown; ++i) std::fprintf(out, " %d", a.reduction.boundary[i]);
  if (a.reduction.boundary.size() > shown)
    std::fprintf(out, " ... (%zu nodes)", a.reduction.boundary.size());
  std::fprintf(out, "\n");
  std::fprintf(out, "  interior        %zu dofs; factor %.0f nonzeros, %.1f MB\n",
               r.interior.size(), r.factor.nonzeros, r.factor.bytes / 1e6);
  std::fprintf(out, "  dynamic modes   %d", r.dynamicModes());
  if (r.plan.belowCutoff >= 0)
    std::fprintf(out, " (counted below the cutoff: %ld)", r.plan.belowCutoff);
  std::fprintf(out,
               "%s, fixed-interface frequencies (%s):", r.plan.dense ? " by a dense solve" : "",
               unit.c_str());
  PrintFrequencies(out, ToHertz(r.eigenvalues), 20);
  std::fprintf(out,
               "  verified        mode residuals at most %.2g (tolerance %.2g), M-orthogonality "
               "%.2g, constraint modes %.2g (tolerance %.0e)\n",
               r.quality.residual, std::max(r.quality.tolerance, kModeTolerance),
               r.quality.orthogonality, r.constraintResidual, kModeTolerance);
  if (r.reducedLoads.cols() > 0)
    std::fprintf(out, "  reduced loads   %lld on the %d coordinates (%s)\n",
                 static_cast<long long>(r.reducedLoads.cols()), r.staticModes() + r.dynamicModes(),
                 pfm::types::kReducedLoads);
  const uma::common::PencilSpectrum& s = numbers.spectrum;
  std::fprintf(out, "  reduced model   %d coordinates", r.staticModes() + r.dynamicModes());
  if (s.solved) {
    std::fprintf(out, ", %d rigid-body modes", s.rigidBodyModes);
    if (s.infinite > 0) std::fprintf(out, ", %d massless", s.infinite);
    std::fprintf(out, ", frequencies (%s):", unit.c_str());
    PrintFrequencies(out, uma::common::Frequencies(s), 20);
  } else {
    std::fprintf(out, ", frequencies not computed (%s)\n", s.failure.c_str());
  }
  std::fprintf(out, "  stages         ");
  for (const auto& [stage, seconds] : progress.times())
    std::fprintf(out, " %s %.3f s,", stage.c_str(), seconds);
  std::fprintf(out, " total %.3f s\n", progress.Elapsed());
}

}  // namespace

int RunCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, out);
      return 0;
    }
  Arguments a;
  try {
    a = Parse(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(err, "uma-reduce: %s\n%s", e.what(), kUsage);
    return 2;
  }
  try {
    Progress progress(err);
    Input input;
    {
      Stage reading(&progress, "reading");
      input = ReadInput(a.files, a.calculix, {a.boundary, a.internal, a.fixed, a.interfaces}, err);
      if (!a.calculix.empty() && a.units.empty())
        std::fprintf(err,
                     "uma-reduce: warning: a CalculiX deck does not say its units; give them with "
                     "--units (e.g. --units mm,t,s,N) so that the model file records them\n");
      a.reduction.boundary = input.boundary;
      a.output.internal = input.internal;
    }
    const FullModel& model = input.Reduced();

    Reduction reduction = Reduce(model, a.reduction, &progress);

    {
      Stage writing(&progress, "writing");
      a.output.attributes.emplace_back(pfm::attributes::kProgram, "uma-reduce");
      a.output.attributes.emplace_back(pfm::attributes::kDate, Now());
      a.output.attributes.emplace_back(pfm::attributes::kSource,
                                       a.calculix.empty() ? a.files.stiffness : a.calculix);
      pfm::SaveModel(input.Build(a.outputPath, reduction, a.output), a.outputPath);
    }
    SummaryNumbers numbers;
    {
      Stage summary(&progress, "summary");
      numbers = Compute(reduction);
    }
    Summary(out, a, model, reduction, numbers, progress);
    std::fputs(input.Describe().c_str(), out);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(err, "uma-reduce: %s\n", e.what());
    return 1;
  }
}

}  // namespace uma::reduce
