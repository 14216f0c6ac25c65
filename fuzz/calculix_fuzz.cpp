// libFuzzer entry point for the CalculiX readers: the first byte chooses what the rest is (a
// deck, a .dof file, a matrix file of .sti/.mas, a .frd file, or a whole job: deck, .dof, .sti
// and .frd separated by lines "%%"). Any answer is fine, and so is an InputError whose reason
// names the file; any other exception, a crash, a sanitizer report or a reason without the
// file is a finding, and aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "reduce_CalculixDeck.h"
#include "reduce_CalculixFrd.h"
#include "reduce_CalculixMatrices.h"
#include "reduce_CalculixModel.h"
#include "reduce_InputError.h"

namespace {

[[noreturn]] void Finding(const std::string& what) {
  std::fprintf(stderr, "calculix_fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// The parts of a whole job, split at lines "%%".
std::vector<std::string> Parts(const std::string& text) {
  std::vector<std::string> parts(1);
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line == "%%")
      parts.emplace_back();
    else
      parts.back() += line + "\n";
  parts.resize(4);
  return parts;
}

void Job(const std::string& text) {
  const std::vector<std::string> p = Parts(text);
  const uma::reduce::CalculixDeck deck = uma::reduce::ParseCalculixDeck("job.inp", p[0]);
  std::istringstream dof(p[1]), sti(p[2]), frdText(p[3]);
  const std::vector<uma::reduce::CalculixRow> rows = uma::reduce::ReadCalculixDofs("job.dof", dof);
  // Matrices no larger than their files could describe: a row needs a line.
  if (rows.size() > 100000) return;
  const int n = static_cast<int>(rows.size());
  uma::reduce::SparseMatrix k = uma::reduce::ReadCalculixMatrix("job.sti", sti, n, "stiffness");
  const uma::reduce::FrdMesh frd =
      uma::reduce::ReadFrdMesh("job.frd", frdText, static_cast<long long>(p[3].size()));
  uma::reduce::AssembleCalculixModel(deck, {"job.sti", "job.mas", "job.dof", "job.frd"}, rows, k, k,
                                &frd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int what = data[0] % 5;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  static const char* const kNames[] = {"fuzz.inp", "fuzz.dof", "fuzz.sti", "fuzz.frd", "job."};
  try {
    std::istringstream in(text);
    switch (what) {
      case 0:
        uma::reduce::ParseCalculixDeck(kNames[0], text);
        break;
      case 1:
        uma::reduce::ReadCalculixDofs(kNames[1], in);
        break;
      case 2:
        uma::reduce::ReadCalculixMatrix(kNames[2], in, 1 + data[0] / 5 % 40, "stiffness");
        break;
      case 3:
        uma::reduce::ReadFrdMesh(kNames[3], in, static_cast<long long>(text.size()));
        break;
      default:
        Job(text);
    }
  } catch (const uma::reduce::InputError& e) {
    if (std::string(e.what()).find(kNames[what]) == std::string::npos)
      Finding(std::string("a reason that names no file: ") + e.what());
  } catch (const std::exception& e) {
    Finding(std::string("an unexpected exception: ") + e.what());
  }
  return 0;
}
