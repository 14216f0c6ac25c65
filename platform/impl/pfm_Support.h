// The platform's public support API: what a tool or a host may ask of the model store beyond
// the library itself. It lists what a model stores and which models are open, tells why the
// last open or the last commit failed, and saves models made with the builder
// (pfm_ModelBuilder.h) as model files. It is installed with the package beside the platform's
// declarations; nothing here exposes the store's sessions or files. Nothing here throws but
// SaveModel.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "pfm_ModelBuilder.h"

namespace pfm {

// One matrix a model stores, by the key a host asks for it with.
struct StoredMatrix {
  enum class Key {
    Type,        // by type index (node coordinates included, under their own type index)
    UserMatrix,  // by name, a user matrix
    Name,        // by name, a named distribution that is not a user matrix
  };
  Key key = Key::Type;
  int type = 0;      // the type index, for Key::Type
  std::string name;  // the name, for the two other keys
  int rows = 0;
  int columns = 0;
  bool dense = true;  // a matrix of another kind exists but the library hands out none
};

// What a model stores: its system's counts, its matrices and its sets by type.
struct ModelContents {
  int systemType = 0;
  int numLoads = 0;
  int numStaticModes = 0;
  std::vector<StoredMatrix> matrices;  // by type ascending, then user matrices, then names
  std::map<int, int> setSizes;         // component-set type index -> number of members
  std::map<std::string, std::string> attributes;  // the model's attributes, by name (may be none)
  std::vector<MeshElement> mesh;  // the mesh the model was reduced from, by label (may be none)
};

// Opens `model` for reading in a session of its own, lists what it stores and closes it again.
// Answers false when the model cannot be opened or holds no system; LastOpenFailure() then says
// why. Reads the structure only, never a value.
bool ReadContents(const std::string& model, ModelContents& out);

// Why the last open of a model failed ("no such file: PATH", "the model is being edited by
// another session: PATH", ...); "" after an open that succeeded. An open before
// QOBSspUmaCore_initialize (or after the finalise that took the library down) fails with
// kNotInitialised.
const std::string& LastOpenFailure();
constexpr const char* kNotInitialised = "the library is not initialised";

// What kind of failure a reason reports: LastOpenFailure(), or the message of a QOBBasError that
// a read of a model file's values threw. Each kind but Other is a fixed phrase at the start of
// the reason ("no such file: PATH", "a damaged file: PATH (detail)", ...).
enum class FailureKind {
  Other,           // any other text, "" included
  NotInitialised,  // "the library is not initialised"
  NoSuchFile,      // "no such file"
  NotAModel,       // "not a model file"
  NewerVersion,    // "a newer format version"
  Damaged,         // "a damaged file"
  Unreadable,      // "cannot open the file" (permissions, a read-only file or folder opened
                   // for editing)
  IoError,         // "an I/O error" (the system failed to read the file)
  DiskFull,        // "the disk is full"
  BeingEdited,     // "the model is being edited by another session" (an open for editing)
  Changed,         // "the model file changed since it was opened" (a read of an open model)
};
FailureKind KindOfFailure(const std::string& reason);

// One model open now: a handle that has not been destroyed yet, or one whose open yielded no
// system, which stays open until the library is finalised.
struct OpenModel {
  std::string name;
  bool editable = false;
  bool holdsSystem = false;  // its open reached a system that does not report itself null
};
// The models open now, oldest first.
std::vector<OpenModel> OpenModels();

// Why the edits of the last edit session that closed were not saved ("the edits of PATH were
// not saved: REASON", the line the failed commit also wrote on the error stream); "" when they
// were (or when there was nothing to save).
const std::string& LastCloseFailure();

// Writes the model the builder holds to a model file at `path`, replacing a file that is there;
// the file appears whole or not at all. Throws QOBBasError with a plain message when the model
// is not valid or the file cannot be written.
void SaveModel(const ModelBuilder& builder, const std::string& path);
// The same for a model assembled by hand, e.g. with values that a ValueStore makes as they are
// read, so that a large model never sits in memory whole.
void SaveModel(const Model& model, const std::string& path);

}  // namespace pfm
