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
// changed column or, on any failure or crash, leaves the file as it was; the next open that
// can write the file and its folder rolls an interrupted commit back, whether it reads or
// edits. Every connection waits for another's commit (up to the busy timeout of the store's
// settings) rather than fail at once. Names are always file paths, never URIs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "pfm_Model.h"
#include "pfm_Support.h"

namespace pfm {

// The format's identity: PRAGMA application_id and PRAGMA user_version.
constexpr std::int32_t kModelFileApplicationId = 0x514D4446;  // "QMDF"
// Version 1 keeps a BLOB per column; version 2 (written now) keeps columns in chunks and rows
// that one matrix shares with another once. Both are read.
constexpr int kModelFileVersion = kModelFormatVersion;
// The SQL that creates the tables of a model file of format `version` (1 or 2).
std::string ModelFileSchema(int version = kModelFileVersion);
// The SQL that creates the tables a model file may lack (files written before they existed);
// when present they are checked like the others. Saving always writes them.
const char* ModelFileOptionalSchema();

// Writes `model` (structure and values as its value stores hold them) to `path`, replacing a
// file that is there. The file appears whole or not at all: it is written to a temporary file
// of its own beside the target (created exclusively, so that saves to one path at once never
// share one), synced, and renamed over the target. Throws QOBBasError with a plain message when
// it cannot; the target is then as it was. Removes no file but its own temporary one.
// Writes format `version` (1 for programs and tests that need the older layout; shared rows
// are then stored in full).
void SaveModelFile(const Model& model, const std::string& path, int version = kModelFileVersion);

// Opens the model file at `path`. Answers null and sets `reason` (see ModelFileMessage) and
// `kind` when it cannot; the model's name is `path`. An open for editing of a model that yields
// no system (no substructure, no system, or a record that reports null) holds no lock: there
// is nothing to edit.
std::shared_ptr<Model> LoadModelFile(const std::string& path, bool editable, std::string& reason,
                                     FailureKind& kind);
std::shared_ptr<Model> LoadModelFile(const std::string& path, bool editable, std::string& reason);

// Makes LoadModelFile the model registry's loader, so that models are opened by file path.
void RegisterModelFiles();

// Why a model file could not be opened: the support API's kinds. A reason reads
// "<phrase>: <path>" or "<phrase>: <path> (<detail>)", one line, with the phrases of
// FailureKind (pfm_Support.h); tools print it as it is. An interrupted edit reads "an edit of
// <path> was interrupted; open it once where the file can be written to recover it".
using ModelFileProblem = FailureKind;
const char* ModelFileProblemPhrase(ModelFileProblem problem);
std::string ModelFileMessage(ModelFileProblem problem, const std::string& path,
                             const std::string& detail = "");
// The problem a reason reports, from its phrase; None for any other text.
ModelFileProblem ModelFileProblemOf(const std::string& reason);

// The details of an open for editing refused because the file, or its folder, cannot be written.
constexpr const char* kReadOnlyFileDetail =
    "the file is read-only; it cannot be opened for editing";
constexpr const char* kReadOnlyFolderDetail =
    "its folder cannot be written; an edit needs to make its journal there";

// The store's settings as the model files use them (SetStoreSettings sets them).
StoreSettings& ModelFileSettings();

// For tests: called during every commit after each column is written, so that a test can
// fail the commit (throw) or end the process in the middle of it. An empty function removes it.
void SetModelFileCommitProbe(std::function<void()> probe);

}  // namespace pfm
