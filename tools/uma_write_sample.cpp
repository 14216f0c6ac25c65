// Writes the sample flexible beam to a model file.
#include <cstdio>
#include <exception>

#include "pfm_Support.h"
#include "uma_FlexibleBodySample.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: uma-write-sample FILE\n");
    return 2;
  }
  try {
    pfm::SaveModel(sample::FlexibleBeam(argv[1]), argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "uma-write-sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
