// A CalculiX job as uma-reduce takes it: the deck and its matrix storage step's files.
#include "reduce_CalculixJob.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "reduce_InputError.h"

namespace uma::reduce {

namespace {

// Modification time in nanoseconds, or -1 when the file is not there.
long long ModifiedAt(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::string Stem(const std::string& path) {
  const std::size_t slash = path.rfind('/'), dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".inp") return path.substr(0, dot);
  }
  return path;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

CalculixFiles FilesOf(const std::string& stem, bool expanded) {
  return {stem + ".sti", stem + ".mas", stem + ".dof", expanded ? stem + ".frd" : ""};
}

// The first executable `name` on the PATH, or "".
std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0 && ModifiedAt(candidate) >= 0) return candidate;
  }
  return "";
}

// A folder of its own under TMPDIR, removed with what is in it when the guard goes.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/uma-reduce-ccx-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
      throw InputError("cannot make a temporary folder for CalculiX: " +
                       std::string(std::strerror(errno)));
    m_path = buffer.data();
  }
  ~TemporaryFolder() {
    if (DIR* dir = ::opendir(m_path.c_str())) {
      while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") ::unlink((m_path + "/" + name).c_str());
      }
      ::closedir(dir);
    }
    ::rmdir(m_path.c_str());
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

std::string LastLines(const std::string& path, int count) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
  std::string out;
  for (std::size_t i = lines.size() > static_cast<std::size_t>(count) ? lines.size() - count : 0;
       i < lines.size(); ++i)
    out += "\n  " + lines[i];
  return out;
}

// Runs `ccx -i JOB` in `folder` with its output in ccx.log; answers the exit status.
int RunIn(const std::string& ccx, const std::string& folder, const std::string& job) {
  const pid_t pid = ::fork();
  if (pid < 0) throw InputError("cannot start CalculiX: " + std::string(std::strerror(errno)));
  if (pid == 0) {
    // Only calls that are safe between fork and exec.
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    const int log = ::open("ccx.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = ::open("/dev/null", O_RDONLY);
    if (log < 0 || none < 0) ::_exit(126);
    ::dup2(none, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    const char* argv[] = {ccx.c_str(), "-i", job.c_str(), nullptr};
    ::execv(ccx.c_str(), const_cast<char* const*>(argv));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) throw InputError("lost CalculiX: " + std::string(std::strerror(errno)));
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::string CalculixRecipe(bool expanded) {
  std::string steps;
  if (expanded)
    steps +=
        "*STEP\n*STATIC\n*NODE OUTPUT, OUTPUT=3D\nU\n*END STEP\n";  // writes the generated nodes
  return steps + "*STEP\n*FREQUENCY, SOLVER=MATRIXSTORAGE\n*END STEP\n";
}

CalculixJob ReadCalculixJob(const std::string& deckPath, std::FILE* err) {
  CalculixDeck deck = ReadCalculixDeck(deckPath);
  const bool expanded = deck.HasExpandedElements();
  const std::string stem = Stem(deckPath);
  const CalculixFiles files = FilesOf(stem, expanded);

  long long deckTime = 0;
  for (const std::string& f : deck.files) deckTime = std::max(deckTime, ModifiedAt(f));
  std::string stale;
  for (const std::string* f : {&files.sti, &files.mas, &files.dof, &files.frd}) {
    if (f->empty()) continue;
    const long long at = ModifiedAt(*f);
    if (at < 0 || at < deckTime) {
      stale = *f + (at < 0 ? " is missing" : " is older than the deck");
      break;
    }
  }
  CalculixJob job;
  const std::string ccx = OnPath("ccx");
  FrdMesh frd;
  if (stale.empty() && expanded) {
    // *NODE FILE writes coordinates to 6 digits, too few for the reduction's checks of rigid
    // motions; *NODE OUTPUT writes them whole.
    frd = ReadFrdMesh(files.frd);
    if (!frd.fullPrecision && !ccx.empty())
      stale = files.frd + " holds coordinates to 6 digits only (*NODE FILE)";
  }
  if (stale.empty()) {
    std::vector<CalculixRow> rows = ReadCalculixDofs(files.dof);
    const int n = static_cast<int>(rows.size());
    SparseMatrix k = ReadCalculixMatrix(files.sti, n, "stiffness");
    SparseMatrix m = ReadCalculixMatrix(files.mas, n, "mass");
    job.model = AssembleCalculixModel(std::move(deck), files, rows, std::move(k), std::move(m),
                                      expanded ? &frd : nullptr);
    if (expanded && !frd.fullPrecision)
      job.model.warnings.push_back(files.frd +
                                   " holds coordinates to 6 digits only: write it with *NODE "
                                   "OUTPUT, OUTPUT=3D (binary, exact) if the reduction refuses "
                                   "the generated nodes' positions");
    return job;
  }

  if (ccx.empty())
    throw InputError(stale +
                     ", and CalculiX (ccx) is not on the PATH to make it: run CalculiX "
                     "on the deck with these steps after its model definition (in place of its "
                     "own steps), or install CalculiX (Debian: calculix-ccx):\n" +
                     CalculixRecipe(expanded));
  TemporaryFolder folder;
  const std::string jobName = BaseName(stem);
  std::fprintf(err, "uma-reduce: %s; running CalculiX (%s) on a copy of the deck in %s\n",
               stale.c_str(), ccx.c_str(), folder.path().c_str());
  std::fflush(err);
  {
    std::ofstream copy(folder.path() + "/" + jobName + ".inp");
    for (const std::string& line : deck.modelLines) copy << line << '\n';
    copy << "** uma-reduce: the steps that write what a reduction reads\n"
         << CalculixRecipe(expanded);
    if (!copy.flush()) throw InputError("cannot write the copy of the deck in " + folder.path());
  }
  const auto start = std::chrono::steady_clock::now();
  const int status = RunIn(ccx, folder.path(), jobName);
  job.calculixSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  job.ranCalculix = true;
  const CalculixFiles made = FilesOf(folder.path() + "/" + jobName, expanded);
  for (const std::string* f : {&made.sti, &made.mas, &made.dof, &made.frd})
    if (!f->empty() && ModifiedAt(*f) < 0)
      throw InputError("CalculiX (" + ccx + ") did not write " + BaseName(*f) + " (exit status " +
                       std::to_string(status) +
                       "); the end of its output:" + LastLines(folder.path() + "/ccx.log", 12));
  std::fprintf(err, "uma-reduce: CalculiX wrote the matrices in %.2f s\n", job.calculixSeconds);
  job.model = AssembleCalculixModel(std::move(deck), made);
  return job;
}

}  // namespace uma::reduce
