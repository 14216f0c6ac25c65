// Writes the model-file fuzzer's seeds into a directory: the sample models and the damaged
// models of the tests, and any model files named on the command line, each repacked into small
// pages so that the fuzzer's inputs stay small.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "pfm_ModelTypes.h"
#include "pfm_Support.h"
#include "uma_DamagedModels.h"
#include "uma_FlexibleBodySample.h"
#include "uma_SampleModels.h"
#include "uma_StoredSamples.h"

namespace {

constexpr int kSeedPageSize = 512;

void Copy(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = std::fopen(to.c_str(), "wb");
  if (!in || !out) throw std::runtime_error("cannot copy " + from + " to " + to);
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
    std::fwrite(buffer, 1, n, out);
  std::fclose(in);
  if (std::fclose(out) != 0) throw std::runtime_error("cannot write " + to);
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Columns of two chunks, and a matrix whose columns share their first rows with another's.
pfm::ModelBuilder SharedRows() {
  constexpr int kRows = 1100, kColumns = 2;
  pfm::ModelBuilder b("shared-rows");
  std::vector<double> basis, recovery;
  for (int c = 0; c < kColumns; ++c)
    for (int r = 0; r < kRows; ++r) basis.push_back(r + 0.5 * c);
  for (int c = 0; c <= kColumns; ++c)
    for (int r = 0; r < kRows + 1; ++r)
      recovery.push_back(c > 0 && r < kRows ? basis[static_cast<std::size_t>((c - 1) * kRows + r)]
                                            : -1.0);
  b.AddDistribution(kRows, kColumns, -1, -1, basis);
  b.ShareRows(b.AddDistribution(kRows + 1, kColumns + 1, -1, -1, recovery), {0, 1, kColumns, 0});
  b.DistributionForType(pfm::types::ModeMatrix(), 0)
      .DistributionForType(pfm::types::RecoveryMatrix(), 1);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: uma-write-seeds DIR [MODEL...]\n");
    return 2;
  }
  const std::string dir = argv[1];
  try {
    std::vector<std::string> written;
    // Each sample in the current format and in format version 1.
    auto save = [&](const pfm::ModelBuilder& builder, const std::string& name) {
      written.push_back(dir + "/" + name + ".uma");
      pfm::SaveModel(builder, written.back());
      written.push_back(dir + "/" + name + "-v1.uma");
      pfm::SaveModel(builder, written.back(), 1);
    };
    save(uma::sample::FlexibleBeam("beam"), "beam");
    save(uma::sample::EveryFeature("every-feature"), "every-feature");
    save(uma::sample::SmallSystem("small-system"), "small-system");
    save(SharedRows(), "shared-rows");
    for (const uma::sample::DamagedModel& model : uma::sample::DamagedModels()) {
      written.push_back(dir + "/damaged-" + model.name + ".uma");
      uma::sample::WriteDamagedModel(model, written.back());
    }
    for (int i = 2; i < argc; ++i) {
      written.push_back(dir + "/" + BaseName(argv[i]));
      Copy(argv[i], written.back());
    }
    for (const std::string& path : written) uma::sample::RepackModelFile(path, kSeedPageSize);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "uma-write-seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
