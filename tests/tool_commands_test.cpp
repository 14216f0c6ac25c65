// The tools as users run them: the shared command-line manners (--version, --key=value, exit
// code 2 for a usage error) and one matrix key that every listing prints and --matrix takes.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common_MatrixKey.h"
#include "inspect_MatrixExport.h"
#include "inspect_Report.h"
#include "pfm_Support.h"
#include "uma_FlexibleBodySample.h"
#include "uma_ReduceRun.h"
#include "uma_TempDir.h"
#include "uma_TestSupport.h"

extern char** environ;

namespace {

using uma::common::MatrixKey;

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a built program in a process of its own, its output kept in files of `dir`.
ProgramRun RunProgram(const uma::sample::TempDir& dir, const std::string& program,
                      const std::vector<std::string>& args) {
  const std::string out = dir.File("out.txt"), err = dir.File("err.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ProgramRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = Slurp(out);
  run.err = Slurp(err);
  return run;
}

class ToolCommands : public UmaTest {
 protected:
  uma::sample::TempDir m_dir;
};

const char* const kTools[] = {UMA_INSPECT, UMA_CHECK, UMA_REDUCE};

std::string NameOf(const std::string& program) { return program.substr(program.rfind('/') + 1); }

TEST_F(ToolCommands, EveryToolPrintsItsVersionAndItsHelpWithTheExitCodes) {
  for (const std::string program : kTools) {
    ProgramRun version = RunProgram(m_dir, program, {"--version"});
    EXPECT_EQ(version.status, 0) << program;
    EXPECT_EQ(version.out, NameOf(program) + " " + UMA_VERSION + "\n");
    for (const char* help : {"-h", "--help"}) {
      ProgramRun run = RunProgram(m_dir, program, {help});
      EXPECT_EQ(run.status, 0) << program;
      EXPECT_EQ(run.out.rfind("usage: " + NameOf(program), 0), 0u) << run.out;
      EXPECT_NE(run.out.find("Exit status: 0 "), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(", 2 for a usage error.\n"), std::string::npos) << run.out;
    }
  }
}

TEST_F(ToolCommands, EveryToolAnswersAUsageErrorWithTwoAndOneLineSayingWhy) {
  const std::string model = m_dir.File("beam.uma");
  pfm::SaveModelFile(*pfm::BuildModel(uma::sample::FlexibleBeam("beam")), model);
  const std::vector<std::vector<std::string>> wrong = {{"--no-such-option", model}, {}};
  for (const std::string program : kTools)
    for (const auto& args : wrong) {
      ProgramRun run = RunProgram(m_dir, program, args);
      EXPECT_EQ(run.status, 2) << program;
      EXPECT_EQ(run.err.rfind(NameOf(program) + ": ", 0), 0u) << run.err;
      EXPECT_TRUE(run.out.empty()) << run.out;
    }
  // Options that the parser takes but that do not go together.
  ProgramRun both = RunProgram(m_dir, UMA_INSPECT, {"--json", "--matrix", "20068", model});
  EXPECT_EQ(both.status, 2);
  EXPECT_EQ(both.err.rfind("uma-inspect: --json, --matrix and --vtu do not go together\n", 0), 0u);
  EXPECT_EQ(RunProgram(m_dir, UMA_INSPECT, {"--options", "8", "--matrix", "20068", model}).status,
            2);
  EXPECT_EQ(RunProgram(m_dir, UMA_CHECK, {model, model}).status, 2);
}

TEST_F(ToolCommands, OptionsTakeTheirValueAfterAnEqualsSignToo) {
  const std::string model = m_dir.File("beam.uma");
  pfm::SaveModelFile(*pfm::BuildModel(uma::sample::FlexibleBeam("beam")), model);
  ProgramRun spaced = RunProgram(m_dir, UMA_INSPECT,
                                 {"--matrix", "xGFAA", "--format", "csv", "--options", "1", model});
  ProgramRun joined =
      RunProgram(m_dir, UMA_INSPECT, {"--matrix=xGFAA", "--format=csv", "--options=1", model});
  EXPECT_EQ(spaced.status, 0) << spaced.err;
  EXPECT_EQ(joined.status, 0) << joined.err;
  EXPECT_EQ(joined.out, spaced.out);
  EXPECT_EQ(joined.out.rfind("\"\",", 0), 0u) << joined.out;

  // uma-reduce's values, interface nodes included, the same way.
  CommandRun run = RunReduce({"--stiffness=" + m_dir.File("K.mtx"), "--rigid=9001@0,0,0:1-2",
                              "--modes=-1", "-o", m_dir.File("out.uma")});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("uma-reduce: --mass is required (or --calculix)\n", 0), 0u) << run.err;
}

// Other options take their last value, but every interface node given is kept, in order.
TEST_F(ToolCommands, EveryInterfaceNodeGivenIsKept) {
  const std::vector<std::string> files = {"--stiffness", m_dir.File("K.mtx"),
                                          "--mass",      m_dir.File("M.mtx"),
                                          "--dofs",      m_dir.File("d.csv"),
                                          "--nodes",     m_dir.File("n.csv"),
                                          "--boundary",  "9001",
                                          "-o",          m_dir.File("out.uma")};
  std::vector<std::string> args = files;
  for (const char* more : {"--rigid", "nonsense", "--distributing=9002@0,0,0:1", "--rigid",
                           "9001@0,0,0:2", "--modes", "3", "--modes", "x"})
    args.push_back(more);
  CommandRun run = RunReduce(args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("uma-reduce: --modes: \"x\" is not a count\n", 0), 0u) << run.err;
  args.resize(args.size() - 2);
  run = RunReduce(args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("uma-reduce: --rigid", 0), 0u) << run.err;
}

TEST(MatrixKey, ReadsBackWhatItPrints) {
  EXPECT_EQ(MatrixKey::Parse("20068").type, 20068);
  EXPECT_EQ(MatrixKey::Parse("-3").type, -3);
  for (const char* name : {"xGFAA", "name:7", "+12", " 12", "12a", "", "99999999999", "name:"}) {
    const MatrixKey key = MatrixKey::OfName(name);
    const MatrixKey back = MatrixKey::Parse(key.Text());
    EXPECT_FALSE(back.type) << name;
    EXPECT_EQ(back.name, name) << key.Text();
  }
  EXPECT_EQ(MatrixKey::OfName("123").Text(), "name:123");
  EXPECT_EQ(MatrixKey::OfName("xGFAA").Text(), "xGFAA");
  EXPECT_EQ(MatrixKey::OfType(31037).Text(), "31037");
}

// A model holding matrices of every kind of key: type indices, a user matrix, named
// distributions, and names that read as numbers.
std::string SaveEveryKind(const std::string& path) {
  pfm::ModelBuilder b = uma::sample::FlexibleBeam("beam");
  int rows = b.AddSet(pfm::MemberKind::Node, {1, 2});
  b.UserMatrix("20068", b.AddDistribution(2, 2, rows, rows, {1, 2, 3, 4}));
  b.DistributionName("name:odd", b.AddDistribution(2, 2, rows, rows, {5, 6, 7, 8}));
  pfm::SaveModelFile(*pfm::BuildModel(b), path);
  return path;
}

TEST_F(ToolCommands, EveryKeyTheListingShowsIsTakenByMatrix) {
  const std::string model = SaveEveryKind(m_dir.File("keys.uma"));
  uma::inspect::Report report = uma::inspect::Gather(model);
  ASSERT_TRUE(report.opened) << report.failure;
  ASSERT_EQ(report.matrices.size(), 7u);
  for (const uma::inspect::MatrixEntry& m : report.matrices) {
    std::ostringstream out;
    EXPECT_EQ(uma::inspect::WriteMatrix(model, {m.key, 0, uma::inspect::MatrixFormat::Csv}, out),
              "")
        << m.key;
    // The matrix written is the one listed.
    const std::string csv = out.str();
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), m.rows + 1) << m.key;
    EXPECT_NE(uma::inspect::AsText(report).find("  " + m.key + " ("), std::string::npos);
  }
  // The user matrix named like a type index is listed with its prefix, and the command line
  // takes that key.
  ProgramRun run = RunProgram(m_dir, UMA_INSPECT, {"--matrix=name:20068", model});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\n2 2\n1\n2\n3\n4\n"), std::string::npos) << run.out;
  EXPECT_NE(uma::inspect::AsJson(report).find("{\"key\":\"name:name:odd\",\"storedAs\":\"named "
                                              "matrix\""),
            std::string::npos);
}

}  // namespace
