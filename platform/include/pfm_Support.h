// The platform's public support API: what a tool or a host may ask of the model store beyond
// the library itself. It lists what a model stores and which models are open, tells why the
// last open or the last commit failed (as text and as a kind), ends an edit session without
// saving it, sets how long the store waits for other processes and how much it caches, and
// saves models made with the builder (pfm_ModelBuilder.h) as model files. It is installed with
// the package beside the platform's declarations; nothing here exposes the store's sessions or
// files. Nothing here throws but SaveModel.
//
// Threads: the library and its platform keep process-wide state (the allocator's accounting,
// the open sessions, the last failures, these settings) without locks of their own. A host may
// use them from several threads, but one thread at a time: every call of the library and of
// this API, constructors and destructors of handles, matrices and arrays included, must be
// serialised by the host (one mutex around each call, say). Processes need nothing: model
// files are shared between processes safely.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "QOBBasCoreUtils.h"
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

// What kind of failure a reason reports. Each kind but None and Other is a fixed phrase at the
// start of the reason ("no such file: PATH", "a damaged file: PATH (detail)", ...), so that
// tools may print the reason as it is and programs may still tell the kinds apart.
enum class FailureKind {
  None,             // no failure (LastOpenFailureKind() after an open that succeeded)
  Other,            // any other failure; any other text, "" included (KindOfFailure)
  NotInitialised,   // "the library is not initialised"
  NoSuchFile,       // "no such file"
  NotAModel,        // "not a model file" (what was found and what a model file has, in the
                    // detail)
  NewerVersion,     // "a newer format version"
  Damaged,          // "a damaged file"
  InterruptedEdit,  // "an edit of PATH was interrupted; open it once where the file can be
                    // written to recover it" (a reader found an editor's journal and could not
                    // roll it back: neither the file nor its folder may be written here)
  Unreadable,       // "cannot open the file" (permissions, a path that cannot be opened)
  ReadOnly,         // "cannot open the file: PATH (the file is read-only; ...)" or "(its folder
                    // cannot be written; ...)": an open for editing of what cannot be written;
                    // for a commit, the file or its folder could not be written
  IoError,          // "an I/O error" (the system failed to read or write the file)
  DiskFull,         // "the disk is full"
  OutOfMemory,      // "out of memory"
  BeingEdited,      // "the model is being edited by another session" (an open for editing)
  Locked,           // "the model file is locked by another program" (a lock held longer than
                    // the busy timeout, see StoreSettings)
  Changed,          // "the model file changed since it was opened" (a read of an open model)
};

// Why the last open of a model failed ("no such file: PATH", "the model is being edited by
// another session: PATH", ...); "" after an open that succeeded. An open before
// QOBSspUmaCore_initialize (or after the finalise that took the library down) fails with
// kNotInitialised. LastOpenFailureKind() is its kind (None after an open that succeeded, also
// when the model holds no system).
const std::string& LastOpenFailure();
FailureKind LastOpenFailureKind();
constexpr const char* kNotInitialised = "the library is not initialised";

// The kind a reason reports, read from its phrase: LastOpenFailure(), or the message of a
// QOBBasError that a read of a model file's values threw. For text of any origin, older
// programs' included; a program that has the failure itself asks LastOpenFailureKind(),
// LastCloseFailureKind() or StoreError::kind() instead.
FailureKind KindOfFailure(const std::string& reason);

// What a read of an open model's values throws when the model file fails it: a QOBBasError
// (so that hosts catching QOBBasError catch it) that carries the kind (Damaged, Changed,
// IoError, InterruptedEdit, Locked, OutOfMemory, ...). Running out of the platform's own memory
// still throws QOBBasOutOfMemory.
class StoreError : public QOBBasError {
 public:
  StoreError(FailureKind kind, const std::string& message);
  ~StoreError() override;
  FailureKind kind() const { return m_kind; }

 private:
  FailureKind m_kind;
};

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
// were (or when there was nothing to save, or they were discarded). LastCloseFailureKind() is
// its kind: IoError, DiskFull, Locked, ReadOnly, Changed, OutOfMemory, Other; None for "".
const std::string& LastCloseFailure();
FailureKind LastCloseFailureKind();

// Ends every edit session open on the model named `model` (for a model file there is at most
// one: the file's write lock) without saving its changes: the file stays exactly as it was and
// its lock is released at once. Its handle stays to be destroyed and is null from now on (its
// matrices' values can no longer be read, as after a close); destroying it saves nothing.
// Answers whether there was such a session.
bool DiscardEdits(const std::string& model);

// How the store deals with other processes and how much it caches. The defaults are the values
// the store always had.
struct StoreSettings {
  // How long an open, a read or a commit waits for a lock another connection holds (another
  // process committing, a reader inside a read) before it fails, in milliseconds; 0 fails at
  // once. A second open for editing never waits: it is refused at once.
  int busyTimeoutMs = 10000;
  // The most each connection opened for reading keeps of the pages it read, in KiB; only pages
  // read take memory. 0 keeps none between reads (SQLite keeps a few pages all the same).
  int readerCacheKiB = 128 * 1024;
};
StoreSettings GetStoreSettings();
// Takes effect at the next open, read or commit (the reader cache: at the next open for
// reading). Negative values count as 0.
void SetStoreSettings(const StoreSettings& settings);

// Writes the model the builder holds to a model file at `path`, replacing a file that is there;
// the file appears whole or not at all, also when several processes save to one path at once
// (each writes a temporary file of its own beside the target, "PATH.saving-XXXXXX", and renames
// it over the target when it is complete; the last rename wins). Values that a caller's
// ValueStore gives are read as they are written, so that a large model never sits in memory
// whole. Throws QOBBasError with a plain message ("cannot save the model to PATH: REASON") when
// the model is not valid or the file cannot be written; the target is then as it was, and no
// file is left behind.
void SaveModel(const ModelBuilder& builder, const std::string& path);
// The model file format version SaveModel writes. Version 2 keeps values in chunks and rows that
// matrices share once; version 1 is read by older programs (shared rows are written in full).
constexpr int kModelFormatVersion = 2;
// SaveModel writing format version `formatVersion`, 1 or kModelFormatVersion; another throws.
void SaveModel(const ModelBuilder& builder, const std::string& path, int formatVersion);

}  // namespace pfm
