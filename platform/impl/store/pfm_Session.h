// Model registry and model sessions. A session is one open of a model; the ids and positions
// handed out while it is open carry its number in their first word. Sessions are numbered
// from 1 and numbers are never reused, so the ids of a closed session stay dead.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "QOBSimAPI.h"
#include "pfm_Model.h"
#include "pfm_Support.h"

namespace pfm {

// Models openable by name. Models added here take precedence over the file loader.
class ModelRegistry {
 public:
  static void Add(std::shared_ptr<Model> model);
  static void Remove(const std::string& name);
  static void Clear();
  static std::shared_ptr<Model> Find(const std::string& name);
  // Loads a model that is not registered (from a file); answers null and sets `reason` and
  // `kind` when it cannot.
  using Loader = std::function<std::shared_ptr<Model>(const std::string& name, bool editable,
                                                      std::string& reason, FailureKind& kind)>;
  static void SetLoader(Loader loader);
  // Why the last open of a model failed ("" after a successful open), and its kind.
  static const std::string& LastOpenFailure();
  static FailureKind LastOpenFailureKind();
  static std::shared_ptr<Model> Open(const std::string& name, bool editable);
};

// A component set made for derived matrices, shared by those with the same members and freed
// with the last of them. Its slot may then hold another set under a new generation, which ids
// carry, so that an id of the freed set reads as an empty set.
struct DerivedSet {
  ComponentSet set;
  std::size_t hash = 0;
  int users = 0;
  int generation = 0;
};

struct DerivedSets {
  std::vector<DerivedSet> slots;
  std::vector<int> freeSlots;
  std::unordered_map<std::size_t, std::vector<int>> byHash;  // content hash -> live slots
};

// A derived matrix that still shows a stored distribution's values; it takes a copy of its own
// before the distribution is written, so that it stays detached from later edits.
class DenseView {
 public:
  virtual void Detach() = 0;

 protected:
  ~DenseView() = default;
};

struct Session {
  int id = 0;
  std::shared_ptr<Model> model;
  bool editable = false;
  Overlay overlay;  // values written in this session, by distribution
  DerivedSets derived;
  std::map<int, std::set<DenseView*>> views;  // by distribution

  // Reads a block of a stored distribution's values as this session sees them.
  void ReadStored(int distribution, int r0, int nr, int c0, int nc, double* out,
                  std::int64_t ld) const;
  // Writes a block of a stored distribution (editing sessions only; throws otherwise). The
  // views of the distribution are detached first.
  void WriteStored(int distribution, int r0, int nr, int c0, int nc, const double* in,
                   std::int64_t ld);
  // All values of a stored distribution when they lie contiguously in memory; null otherwise.
  const double* ContiguousStored(int distribution) const;
  // Makes the derived matrices that still show a stored distribution take their own copy.
  void DetachViews(int distribution);

  SystemData& system() { return model->system; }
  // The set of number `set` (the model's sets first, then derived ones); null if none.
  const ComponentSet* Set(int set) const;
  // Generation of set number `set`: 0 for the model's own sets.
  int Generation(int set) const;
  // The set an id names, when it is live and of the id's collection and generation.
  const ComponentSet* SetOf(const QOBSimCSetID& id) const;
  // Number of a derived set with these members in `collection`, with one more user (sets of
  // one content are shared); ReleaseSet drops a user. The model's own sets are not counted.
  int DeriveSet(int collection, std::vector<int> members);
  void ReleaseSet(int set);
};

class Sessions {
 public:
  static Session& Open(std::shared_ptr<Model> model, bool editable);
  // Commits the edits of the session and ends it; unknown numbers do nothing. Never throws: a
  // commit that fails leaves the model unchanged, writes its reason as one line on aio_cerr and
  // keeps it in LastCloseFailure(), its kind in LastCloseFailureKind().
  static void Close(int id);
  // Ends the session without committing its edits (LastCloseFailure() is "" then).
  static void Discard(int id);
  static const std::string& LastCloseFailure();
  static FailureKind LastCloseFailureKind();
  static void CloseAll();
  static Session* Find(int id);
  static int OpenCount();
  // Numbers of the sessions open now, ascending.
  static std::vector<int> OpenIds();
  // Number of the session opened last (0 before any open), for tests and tools.
  static int LastOpened();
};

// The encoding of ids and positions: the first word is the session, the second a tag.
namespace ids {
enum Tag { kDistribution = 1, kSet = 2, kCollection = 3, kDofSet = 4 };
enum PositionKind { kModel = 1, kSubstructure = 2, kSystem = 3, kFocus = 4, kCollectionPos = 5 };

QOBSimDistributionID Distribution(int session, int index);
QOBSimCSetID Set(int session, const Session& s, int set);
QOBSimPosition Position(int session, PositionKind kind, int index = 0);

// The session an id belongs to, when it is of the tag given and the session is open.
Session* SessionOf(const QOBSimIdWords& id, Tag tag);
Session* SessionOf(const QOBSimPosition& position);
}  // namespace ids

}  // namespace pfm
