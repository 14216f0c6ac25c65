// Model registry, model sessions and the encoding of ids and positions.
#include "pfm_Session.h"

#include <algorithm>
#include <map>

#include "QOBBasCoreUtils.h"
#include "pfm_Observe.h"
#include "pfm_Support.h"

namespace pfm {

namespace {

std::map<std::string, std::shared_ptr<Model>>& Registered() {
  static std::map<std::string, std::shared_ptr<Model>> models;
  return models;
}

ModelRegistry::Loader& FileLoader() {
  static ModelRegistry::Loader loader;
  return loader;
}

std::string& LastFailure() {
  static std::string reason;
  return reason;
}

FailureKind& LastFailureKind() {
  static FailureKind kind = FailureKind::None;
  return kind;
}

std::map<int, Session>& Open() {
  static std::map<int, Session> sessions;
  return sessions;
}

int g_nextSession = 1;

std::string& CloseFailure() {
  static std::string reason;
  return reason;
}

FailureKind& CloseFailureKind() {
  static FailureKind kind = FailureKind::None;
  return kind;
}

}  // namespace

void ModelRegistry::Add(std::shared_ptr<Model> model) {
  Registered()[model->name] = std::move(model);
}
void ModelRegistry::Remove(const std::string& name) { Registered().erase(name); }
void ModelRegistry::Clear() { Registered().clear(); }

std::shared_ptr<Model> ModelRegistry::Find(const std::string& name) {
  auto it = Registered().find(name);
  return it == Registered().end() ? nullptr : it->second;
}

void ModelRegistry::SetLoader(Loader loader) { FileLoader() = std::move(loader); }

const std::string& ModelRegistry::LastOpenFailure() { return LastFailure(); }
FailureKind ModelRegistry::LastOpenFailureKind() { return LastFailureKind(); }

std::shared_ptr<Model> ModelRegistry::Open(const std::string& name, bool editable) {
  LastFailure().clear();
  LastFailureKind() = FailureKind::None;
  // Database access is up only between the library's initialise and its finalise.
  if (ModuleUsers("DDB_AnalysisSupport") <= 0) {
    LastFailure() = kNotInitialised;
    LastFailureKind() = FailureKind::NotInitialised;
    return nullptr;
  }
  if (auto model = Find(name)) return model;
  if (FileLoader()) {
    std::string reason;
    FailureKind kind = FailureKind::Other;
    auto model = FileLoader()(name, editable, reason, kind);
    if (!model) {
      LastFailure() = reason.empty() ? "cannot open the model" : reason;
      LastFailureKind() = reason.empty() || kind == FailureKind::None ? FailureKind::Other : kind;
    }
    return model;
  }
  LastFailure() = "no such model";
  LastFailureKind() = FailureKind::Other;
  return nullptr;
}

const ComponentSet* Session::Set(int set) const {
  if (set < 0) return nullptr;
  const auto& own = model->system.sets;
  if (static_cast<std::size_t>(set) < own.size()) return &own[static_cast<std::size_t>(set)];
  std::size_t k = static_cast<std::size_t>(set) - own.size();
  if (k >= derived.slots.size() || derived.slots[k].users == 0) return nullptr;
  return &derived.slots[k].set;
}

int Session::Generation(int set) const {
  std::size_t own = model->system.sets.size();
  if (set < 0 || static_cast<std::size_t>(set) < own) return 0;
  std::size_t k = static_cast<std::size_t>(set) - own;
  return k < derived.slots.size() ? derived.slots[k].generation : 0;
}

const ComponentSet* Session::SetOf(const QOBSimCSetID& id) const {
  const ComponentSet* set = Set(id.w[2]);
  if (!set || set->collection != id.w[3] || Generation(id.w[2]) != id.w[4]) return nullptr;
  return set;
}

int Session::DeriveSet(int collection, std::vector<int> members) {
  std::size_t h = std::hash<int>()(collection);
  for (int m : members) h = h * 1000003u ^ std::hash<int>()(m);
  int base = static_cast<int>(model->system.sets.size());
  std::vector<int>& candidates = derived.byHash[h];
  for (int k : candidates) {
    DerivedSet& d = derived.slots[static_cast<std::size_t>(k)];
    if (d.set.collection == collection && d.set.members == members) {
      ++d.users;
      return base + k;
    }
  }
  int k;
  if (derived.freeSlots.empty()) {
    derived.slots.emplace_back();
    k = static_cast<int>(derived.slots.size()) - 1;
  } else {
    k = derived.freeSlots.back();
    derived.freeSlots.pop_back();
  }
  DerivedSet& d = derived.slots[static_cast<std::size_t>(k)];
  d.set = {collection, std::move(members)};
  d.hash = h;
  d.users = 1;
  candidates.push_back(k);
  return base + k;
}

void Session::ReleaseSet(int set) {
  std::size_t own = model->system.sets.size();
  if (set < 0 || static_cast<std::size_t>(set) < own) return;
  std::size_t k = static_cast<std::size_t>(set) - own;
  if (k >= derived.slots.size() || derived.slots[k].users == 0) return;
  DerivedSet& d = derived.slots[k];
  if (--d.users > 0) return;
  std::vector<int>& candidates = derived.byHash[d.hash];
  candidates.erase(std::find(candidates.begin(), candidates.end(), static_cast<int>(k)));
  if (candidates.empty()) derived.byHash.erase(d.hash);
  d.set = ComponentSet();
  ++d.generation;
  derived.freeSlots.push_back(static_cast<int>(k));
}

namespace {
void CheckStoredBlock(const Distribution& d, int r0, int nr, int c0, int nc) {
  if (r0 < 0 || nr < 0 || c0 < 0 || nc < 0 || std::int64_t{r0} + nr > d.rows ||
      std::int64_t{c0} + nc > d.columns)
    throw QOBBasError("stored values: block outside the matrix");
}
}  // namespace

void Session::ReadStored(int distribution, int r0, int nr, int c0, int nc, double* out,
                         std::int64_t ld) const {
  const Distribution& d = model->system.distributions.at(static_cast<std::size_t>(distribution));
  auto it = overlay.find(distribution);
  if (it == overlay.end()) {
    d.values->Read(r0, nr, c0, nc, out, ld);
    return;
  }
  CheckStoredBlock(d, r0, nr, c0, nc);
  // Edited columns from the session, runs of the others from the store.
  const EditedColumns& edited = it->second;
  for (int c = 0; c < nc;) {
    auto e = edited.find(c0 + c);
    if (e != edited.end()) {
      MemoryValues::CopyBlock(e->second.data(), d.rows, r0, nr, 0, 1, out + c * ld, ld);
      ++c;
      continue;
    }
    int run = 1;
    while (c + run < nc && !edited.count(c0 + c + run)) ++run;
    d.values->Read(r0, nr, c0 + c, run, out + c * ld, ld);
    c += run;
  }
}

void Session::WriteStored(int distribution, int r0, int nr, int c0, int nc, const double* in,
                          std::int64_t ld) {
  if (!editable) throw QOBBasError("the model is open for reading: its matrices cannot be written");
  const Distribution& d = model->system.distributions.at(static_cast<std::size_t>(distribution));
  CheckStoredBlock(d, r0, nr, c0, nc);
  DetachViews(distribution);
  EditedColumns& edited = overlay[distribution];
  for (int c = 0; c < nc; ++c) {
    auto e = edited.find(c0 + c);
    if (e == edited.end()) {
      // A column is taken whole from the store the first time it is written.
      std::vector<double> column(static_cast<std::size_t>(d.rows));
      d.values->Read(0, d.rows, c0 + c, 1, column.data(), d.rows);
      e = edited.emplace(c0 + c, std::move(column)).first;
    }
    MemoryValues::PutBlock(e->second.data(), d.rows, r0, nr, 0, 1, in + c * ld, ld);
  }
}

void Session::DetachViews(int distribution) {
  auto viewsOf = views.find(distribution);
  if (viewsOf == views.end()) return;
  std::set<DenseView*> detaching = std::move(viewsOf->second);
  views.erase(viewsOf);
  for (DenseView* v : detaching) v->Detach();
}

const double* Session::ContiguousStored(int distribution) const {
  // Edited columns lie apart from the stored ones.
  if (overlay.count(distribution)) return nullptr;
  return model->system.distributions.at(static_cast<std::size_t>(distribution))
      .values->Contiguous();
}

Session& Sessions::Open(std::shared_ptr<Model> model, bool editable) {
  int id = g_nextSession++;
  Session& s = pfm::Open()[id];
  s.id = id;
  s.model = std::move(model);
  s.editable = editable;
  return s;
}

void Sessions::Close(int id) {
  auto it = pfm::Open().find(id);
  if (it == pfm::Open().end()) return;
  Session s = std::move(it->second);
  pfm::Open().erase(it);
  CloseFailure().clear();
  CloseFailureKind() = FailureKind::None;
  if (!s.editable) return;
  // Closing runs in destructors and cannot throw: a failed commit leaves the model as it was;
  // its reason goes to the error stream, one line, and stays for hosts to read.
  try {
    // Derived matrices of other sessions on the model must not see the commit.
    for (auto& [other, session] : pfm::Open())
      if (session.model == s.model)
        for (const auto& [distribution, values] : s.overlay) session.DetachViews(distribution);
    s.model->backing->Commit(*s.model, s.overlay);
  } catch (const std::exception& e) {
    CloseFailure() = e.what();
    const auto* store = dynamic_cast<const StoreError*>(&e);
    CloseFailureKind() = store                                        ? store->kind()
                         : dynamic_cast<const QOBBasOutOfMemory*>(&e) ? FailureKind::OutOfMemory
                         : dynamic_cast<const std::bad_alloc*>(&e)    ? FailureKind::OutOfMemory
                                                                      : FailureKind::Other;
    aio_cerr.print(e.what()).put('\n').flush();
  }
}

void Sessions::Discard(int id) {
  auto it = pfm::Open().find(id);
  if (it == pfm::Open().end()) return;
  // The session's edits go with it; a model file's edit transaction is rolled back and its
  // lock released when the last holder of the model lets it go.
  Session s = std::move(it->second);
  pfm::Open().erase(it);
  CloseFailure().clear();
  CloseFailureKind() = FailureKind::None;
}

const std::string& Sessions::LastCloseFailure() { return CloseFailure(); }
FailureKind Sessions::LastCloseFailureKind() { return CloseFailureKind(); }

void Sessions::CloseAll() {
  while (!pfm::Open().empty()) Close(pfm::Open().begin()->first);
}

Session* Sessions::Find(int id) {
  auto it = pfm::Open().find(id);
  return it == pfm::Open().end() ? nullptr : &it->second;
}

int Sessions::OpenCount() { return static_cast<int>(pfm::Open().size()); }

std::vector<int> Sessions::OpenIds() {
  std::vector<int> ids;
  for (const auto& entry : pfm::Open()) ids.push_back(entry.first);
  return ids;
}

int Sessions::LastOpened() { return g_nextSession - 1; }

namespace ids {

QOBSimDistributionID Distribution(int session, int index) {
  return QOBSimDistributionID(session, kDistribution, index, 0, 0);
}

QOBSimCSetID Set(int session, const Session& s, int set) {
  const ComponentSet* cs = s.Set(set);
  if (!cs) return QOBSimCSetID();
  return QOBSimCSetID(session, kSet, set, cs->collection, s.Generation(set));
}

QOBSimPosition Position(int session, PositionKind kind, int index) {
  return QOBSimPosition(session, kind, index, 0, 0, 0);
}

Session* SessionOf(const QOBSimIdWords& id, Tag tag) {
  if (id.IsNull() || id.w[1] != tag) return nullptr;
  return Sessions::Find(id.w[0]);
}

Session* SessionOf(const QOBSimPosition& position) {
  if (position.IsNull()) return nullptr;
  return Sessions::Find(position.w[0]);
}

}  // namespace ids

}  // namespace pfm
