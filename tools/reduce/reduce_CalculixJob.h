// A CalculiX job as uma-reduce takes it: the deck JOB.inp and the files of its matrix storage
// step beside it (JOB.sti, JOB.mas, JOB.dof, and JOB.frd when the deck has shells or beams).
// When they are missing or older than the deck, and CalculiX (ccx) is on the PATH, it runs
// CalculiX on a copy of the deck's model definition in a temporary folder with the steps that
// write them; otherwise it says which files it needs and how to make them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "reduce_CalculixModel.h"

namespace uma::reduce {

struct CalculixJob {
  CalculixModel model;
  bool ranCalculix = false;
  double calculixSeconds = 0.0;  // the run of ccx, when there was one
};

// The steps a deck needs after its model definition for a reduction: one that writes the
// generated nodes (only when `expanded`) and the matrix storage step.
std::string CalculixRecipe(bool expanded);

// Reads the job of the deck at `deckPath`, running CalculiX when it must; tells on `err` that
// it does. Throws InputError with the reason when the job cannot be read or CalculiX fails.
CalculixJob ReadCalculixJob(const std::string& deckPath, std::FILE* err);

}  // namespace uma::reduce
