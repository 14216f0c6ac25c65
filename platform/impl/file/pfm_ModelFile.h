// Models stored as files. A model file is one SQLite database (schema: docs/model-format.md)
// marked by an application id and a format version. Saving writes a whole model; opening reads
// its structure (tables, sets, distributions) but no values: a distribution's values are read
// from the file when a block is asked for, and an edit session's values reach the file in one
// transaction when the session closes.
//
// Opening for reading opens the file read-only and never writes to it; the open then shows the
// version of the file it opened, or fails a read with "the model file changed since it was
// opened". Opening for editing opens it read-write and locks out other editors (of this process
// or another) until the commit; the file changes only at the commit, which either writes every
// changed column or, on any failure or crash, leaves the file as it was. Every connection waits
// for another's commit rather than fail at once. Names are always file paths, never URIs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pfm_Model.h"

namespace pfm {

// The format's identity: PRAGMA application_id and PRAGMA user_version.
constexpr std::int32_t kModelFileApplicationId = 0x514D4446;  // "QMDF"
constexpr int kModelFileVersion = 1;
// The SQL that creates a model file's tables.
const char* ModelFileSchema();
// The SQL that creates the tables a model file may lack (files written before they existed);
// when present they are checked like the others. Saving always writes them.
const char* ModelFileOptionalSchema();

// Writes `model` (structure and values as its value stores hold them) to `path`, replacing a
// file that is there. The file appears whole or not at all: it is written beside the target
// and renamed over it. Throws QOBBasError with a plain message when it cannot.
void SaveModelFile(const Model& model, const std::string& path);

// Opens the model file at `path`. Answers null and sets `reason` (see ModelFileMessage) when
// it cannot; the model's name is `path`.
std::shared_ptr<Model> LoadModelFile(const std::string& path, bool editable, std::string& reason);

// Makes LoadModelFile the model registry's loader, so that models are opened by file path.
void RegisterModelFiles();

// Why a model file could not be opened. A reason reads "<phrase>: <path>" or
// "<phrase>: <path> (<detail>)", one line, with the phrases below; tools print it as it is.
enum class ModelFileProblem {
  None,          // ""
  NoSuchFile,    // "no such file"
  NotAModel,     // "not a model file"
  NewerVersion,  // "a newer format version"
  Damaged,       // "a damaged file"
  Unreadable,    // "cannot open the file" (permissions, a read-only file or folder opened for
                 // editing)
  IoError,       // "an I/O error" (the system failed to read or write the file)
  DiskFull,      // "the disk is full"
  BeingEdited,   // "the model is being edited by another session" (an open for editing)
  Changed,       // "the model file changed since it was opened" (a read of an open model)
};
const char* ModelFileProblemPhrase(ModelFileProblem problem);
std::string ModelFileMessage(ModelFileProblem problem, const std::string& path,
                             const std::string& detail = "");
// The problem a reason reports, from its phrase; None for any other text.
ModelFileProblem ModelFileProblemOf(const std::string& reason);

// For tests: called during every commit after each column is written, so that a test can
// fail the commit (throw) or end the process in the middle of it. An empty function removes it.
void SetModelFileCommitProbe(std::function<void()> probe);

}  // namespace pfm
