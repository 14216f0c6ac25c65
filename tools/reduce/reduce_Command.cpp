// The uma-reduce command (see reduce_Command.h).
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

#include "common_Command.h"
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

const char kSynopsis[] =
    "usage: uma-reduce --stiffness K.mtx --mass M.mtx --dofs dofs.csv --nodes nodes.csv\n"
    "                  --boundary NODES [--internal NODES] [--modes N | --cutoff HZ]\n"
    "                  [--loads F.mtx] [--units LENGTH,MASS,TIME,FORCE] -o MODEL\n"
    "       uma-reduce --calculix JOB.inp --boundary NODES [options as above] -o MODEL\n"
    "       either with [--rigid NODE:NODES]... [--distributing NODE:NODES[:WEIGHTS]]...\n"
    "                   [--fixed NODES[:DOFS]]\n";

const char kDescription[] =
    "Reduces a full finite-element model to a model file that the library reads: the boundary\n"
    "nodes' degrees of freedom are kept, each with its constraint mode, and the interior is\n"
    "represented by its lowest fixed-interface modes (boundary held), mass-normalised.\n"
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
    "standard output.\n";

struct Arguments {
  FullModelFiles files;
  ReductionOptions reduction;
  OutputOptions output;
  std::string units;
  std::string outputPath;
  std::string calculix;                   // the deck, for --calculix
  std::string boundary, internal, fixed;  // node lists, resolved once the model is read
  std::vector<InterfaceText> interfaces;  // --rigid and --distributing, in order
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options as the command line gives them, before they are checked.
struct Given {
  std::string modes, cutoff;
  std::vector<std::string> rigid, distributing;
  CLI::Option *modesOption = nullptr, *cutoffOption = nullptr, *rigidOption = nullptr,
              *distributingOption = nullptr;
};

void Declare(CLI::App& app, Arguments& a, Given& g) {
  uma::common::SetUpCommand(app, kSynopsis, kDescription, "written", "refused or failed");
  app.add_option("--stiffness", a.files.stiffness,
                 "the symmetric stiffness matrix (Matrix Market, coordinate or array, real or\n"
                 "integer, general or symmetric)")
      ->type_name("K.mtx");
  app.add_option("--mass", a.files.mass, "the symmetric mass matrix, of the stiffness's size")
      ->type_name("M.mtx");
  app.add_option("--dofs", a.files.dofs,
                 "one line \"node,ldof\" per matrix row: its node label and local degree of\n"
                 "freedom (1-3 translations, 4-6 rotations)")
      ->type_name("dofs.csv");
  app.add_option("--nodes", a.files.nodes, "one line \"label,x,y,z\" per node")
      ->type_name("nodes.csv");
  app.add_option("--calculix", a.calculix,
                 "a CalculiX deck instead: *NODE, *ELEMENT, *NSET, *ELSET, *INCLUDE,\n"
                 "*BOUNDARY, *RIGID BODY, with the files of its matrix storage step beside it\n"
                 "(JOB.sti, JOB.mas, JOB.dof; JOB.frd for shells and beams). When they are\n"
                 "missing or older than the deck and ccx is on the PATH, CalculiX runs on a\n"
                 "copy of the deck in a temporary folder. Nodes CalculiX generates (expanded\n"
                 "shells and beams, knots, incompatible modes) are internal; a rigid body's\n"
                 "rotation node gives its reference node dofs 4-6")
      ->type_name("JOB.inp");
  app.add_option("--boundary", a.boundary,
                 "the boundary nodes; all their degrees of freedom are kept. NODES is a comma\n"
                 "list of labels, ranges (100-140), node sets of the deck and @FILE (labels one\n"
                 "a line or comma-separated); a deck node takes the nodes generated for it")
      ->type_name("NODES");
  app.add_option("--internal", a.internal,
                 "nodes marked internal in the model (hidden from hosts that filter internal\n"
                 "nodes); never boundary nodes")
      ->type_name("NODES");
  g.rigidOption =
      app.add_option("--rigid", g.rigid,
                     "ties the nodes' dofs rigidly to NODE's six (an exact transformation:\n"
                     "NODE's dofs replace theirs). NODE is a node of the model or a new\n"
                     "label with a position, 9001@X,Y,Z; give it as the boundary for a\n"
                     "6-dof interface")
          ->type_name("NODE:NODES")
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  g.distributingOption =
      app.add_option("--distributing", g.distributing,
                     "makes NODE's six dofs the weighted average motion of the nodes (a\n"
                     "least-squares rigid fit of their translations); the face stays flexible.\n"
                     "WEIGHTS: LABEL=W,... or @FILE of \"label,weight\" lines (1 where none is\n"
                     "given)")
          ->type_name("NODE:NODES[:WEIGHTS]")
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--fixed", a.fixed,
                 "holds dofs at zero (DOFS as digits, e.g. 123; all when left out), for inputs\n"
                 "that keep constrained rows")
      ->type_name("NODES[:DOFS]");
  g.modesOption =
      app.add_option("--modes", g.modes,
                     "keep the N lowest fixed-interface modes (default 10; 0 keeps none)")
          ->type_name("N");
  g.cutoffOption =
      app.add_option("--cutoff", g.cutoff,
                     "keep every fixed-interface mode below HZ instead (cycles per time\n"
                     "unit), counted exactly before they are computed")
          ->type_name("HZ");
  app.add_option("--loads", a.files.loads,
                 "load vectors, one column each, as long as the matrices. The recovery\n"
                 "matrix's load columns hold the full model's static response to each load with\n"
                 "the boundary held (zero at the boundary); with no loads it has no load\n"
                 "columns")
      ->type_name("F.mtx");
  app.add_option("--units", a.units,
                 "the units of the matrices, e.g. m,kg,s,N, kept in the model (a CalculiX\n"
                 "deck does not say them: give them)")
      ->type_name("L,M,T,F");
  app.add_option("-o,--output", a.outputPath,
                 "the model file to write (replaced whole, or left as it was)")
      ->type_name("MODEL");
}

// Checks what the parser could not and turns the texts into their values.
void Complete(const CLI::App& app, const Given& g, Arguments& a) {
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
  if (g.modesOption->count() > 0 && g.cutoffOption->count() > 0)
    throw UsageError("give --modes or --cutoff, not both");
  if (g.modesOption->count() > 0) {
    char* end = nullptr;
    errno = 0;
    long long modes = std::strtoll(g.modes.c_str(), &end, 10);
    if (g.modes.empty() || *end != '\0' || errno == ERANGE || modes < 0 || modes > INT32_MAX)
      throw UsageError("--modes: \"" + g.modes + "\" is not a count");
    a.reduction.modes = static_cast<int>(modes);
  }
  if (g.cutoffOption->count() > 0) {
    char* end = nullptr;
    double hz = std::strtod(g.cutoff.c_str(), &end);
    if (g.cutoff.empty() || *end != '\0' || !(hz > 0) || !std::isfinite(hz))
      throw UsageError("--cutoff: \"" + g.cutoff + "\" is not a frequency above 0");
    a.reduction.cutoffHz = hz;
  }
  // Interface nodes in the order given, rigid and distributing ones mixed.
  std::size_t rigid = 0, distributing = 0;
  for (const CLI::Option* option : app.parse_order()) {
    const bool isRigid = option == g.rigidOption;
    if (!isRigid && option != g.distributingOption) continue;
    const std::string& text = isRigid ? g.rigid.at(rigid++) : g.distributing.at(distributing++);
    try {
      a.interfaces.push_back(
          ParseInterface(isRigid ? InterfaceNode::Kind::Rigid : InterfaceNode::Kind::Distributing,
                         isRigid ? "--rigid" : "--distributing", text));
    } catch (const InputError& e) {
      throw UsageError(e.what());
    }
  }

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
  Arguments a;
  Given given;
  CLI::App app("", "uma-reduce");
  Declare(app, a, given);
  if (auto exit = uma::common::ParseCommand(app, argc, argv, out, err)) return *exit;
  try {
    Complete(app, given, a);
  } catch (const UsageError& e) {
    return uma::common::UsageError(app, err, e.what());
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
    return uma::common::kExitDone;
  } catch (const std::exception& e) {
    std::fprintf(err, "uma-reduce: %s\n", e.what());
    return uma::common::kExitFailed;
  }
}

}  // namespace uma::reduce
