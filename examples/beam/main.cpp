// uma-write-beam: writes the example full model that examples/beam ships, a steel beam of 3-D
// Euler-Bernoulli elements, as the files uma-reduce reads.
#include <cstdio>
#include <exception>
#include <string>

#include "reduce_Frame.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: uma-write-beam DIR\n"
                 "Writes K.mtx, M.mtx, F.mtx, dofs.csv and nodes.csv of the example beam (1 m,\n"
                 "20 elements, steel 40 x 20 mm, nodes 1001..1021; the load is 1 N along z at\n"
                 "node 1011) into DIR.\n");
    return 2;
  }
  try {
    const std::string dir = argv[1];
    uma::reduce::FullModel beam =
        uma::reduce::StraightBeam(1.0, 20, uma::reduce::BeamSection::SteelRectangle(0.04, 0.02), 1001)
            .Assemble();
    beam.loads = Eigen::MatrixXd::Zero(beam.size(), 1);
    beam.loads(10 * 6 + 2, 0) = 1.0;  // node 1011, z
    uma::reduce::WriteFullModel(beam, {dir + "/K.mtx", dir + "/M.mtx", dir + "/dofs.csv",
                                  dir + "/nodes.csv", dir + "/F.mtx"});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "uma-write-beam: %s\n", e.what());
    return 1;
  }
  return 0;
}
